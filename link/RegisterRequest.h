#pragma once
#include <atomic>
#include <cstdint>

// How many registers one value takes and how they are decoded.
enum ValueKind : int32_t {
    KindWord = 1,   // one 16-bit register
    KindDword = 2,  // 32-bit number, second register is the high word
    KindFloat = 3,  // 32-bit float, second register is the high word
};

// Result codes of every request; passed up unchanged by the device driver.
enum ModbusResult : int {
    ResultOk = 0,
    ResultBadKind = 1,  // also: input number out of range
    ResultTimeout = 2,
    ResultBadReply = 3,
};

// One value to read or write.
struct RegisterRequest {
    uint32_t reg = 0;
    ValueKind kind = KindWord;
    uint32_t value = 0;       // kinds 1 and 2; the value to write for a write
    double floatValue = 0.0;  // kind 3
    // Set by the caller when it gives up (with CModbusDriver::WakeAbandoned): the request, still
    // waiting for its turn or for the reply, ends at once with ResultTimeout.
    const std::atomic<bool>* abandon = nullptr;
};
