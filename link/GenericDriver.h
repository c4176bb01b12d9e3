#pragma once
#include <cstdint>

// Common base of the drivers: the sink of a serial port's bytes and line state.
class CGenericDriver {
public:
    virtual void OnByteReceived(uint8_t /*byte*/) {}
    // The port's device went away (hang-up) or came back (reopened); on the receive thread.
    virtual void OnLinkStateChanged(bool /*connected*/) {}

protected:
    CGenericDriver() = default;
    // Drivers are owned and destroyed by their concrete type.
    ~CGenericDriver() = default;
};
