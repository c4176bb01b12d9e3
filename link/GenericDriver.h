#pragma once
#include <cstdint>

// Common base of the drivers: the byte sink of a serial port.
class CGenericDriver {
public:
    virtual void OnByteReceived(uint8_t /*byte*/) {}

protected:
    CGenericDriver() = default;
    // Drivers are owned and destroyed by their concrete type.
    ~CGenericDriver() = default;
};
