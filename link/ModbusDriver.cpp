#include "link/ModbusDriver.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "link/LinkTrace.h"
#include "link/ModbusCrc.h"
#include "link/SerialPort.h"

namespace {

constexpr uint8_t kReadHolding = 3;
constexpr uint8_t kReadInput = 4;
constexpr uint8_t kWriteSingle = 6;
// A reply must be complete within 5 to 6 seconds of the request.
constexpr auto kReplyWait = std::chrono::milliseconds(5500);

void PutCrc(uint8_t* frame, int length) {
    uint16_t crc = ModbusCrc(frame, static_cast<size_t>(length));
    frame[length] = static_cast<uint8_t>(crc & 0xFF);
    frame[length + 1] = static_cast<uint8_t>(crc >> 8);
}

// The device's float rule: the leading 1 is always added (no subnormals), exponent 255 stays
// finite, and two patterns stand for zero.
double DecodeFloat(uint32_t bits) {
    if (bits == 0x00000000u || bits == 0x7FFFFFFFu)
        return 0.0;
    const uint32_t mantissa = bits & 0x7FFFFFu;
    const int exponent = static_cast<int>((bits >> 23) & 0xFFu);
    const double value = std::ldexp(static_cast<double>(mantissa + 8388608u), exponent - 150);
    return (bits & 0x80000000u) ? -value : value;
}

void TraceReply(const uint8_t* reply, int count, int result,
                std::chrono::steady_clock::time_point start) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    char note[64];
    snprintf(note, sizeof note, "result %d after %lld ms", result, static_cast<long long>(ms));
    linktrace::Frame("RX", reply, count, note);
}

}  // namespace

// One caller's turn at the master, from its arrival to the end of its transaction.
class CModbusDriver::CTurn {
public:
    CTurn(CModbusDriver& master, const std::atomic<bool>* abandon) : master(master) {
        std::unique_lock guard(master.turnMutex);
        const uint64_t mine = master.nextTurn++;
        master.turnDone.wait(
            guard, [&] { return master.servingTurn == mine || (abandon && abandon->load()); });
        held = master.servingTurn == mine;
        if (!held) {
            master.leftTurns.insert(mine);  // skipped when its number comes up
        }
    }
    ~CTurn() {
        if (!held) {
            return;
        }
        {
            std::lock_guard guard(master.turnMutex);
            ++master.servingTurn;
            while (master.leftTurns.erase(master.servingTurn) != 0) {
                ++master.servingTurn;
            }
        }
        master.turnDone.notify_all();
    }
    CTurn(const CTurn&) = delete;
    CTurn& operator=(const CTurn&) = delete;
    // False when the caller gave up before its turn came.
    bool Held() const { return held; }

private:
    CModbusDriver& master;
    bool held = false;
};

CModbusDriver::CModbusDriver() = default;

CModbusDriver::~CModbusDriver() {
    ClosePort();
}

uint16_t CModbusDriver::CrcUpdate(uint8_t byte, uint16_t crc) {
    return ::CrcUpdate(byte, crc);
}

bool CModbusDriver::OpenPort(int portNumber, int baud, char parity) {
    std::lock_guard guard(lock);
    ClosePort();
    port = std::make_unique<CSerialPort>();
    if (!port->Open(this, portNumber, baud, parity, 8, 1, kEventRxChar, 512)) {
        openError = port->LastOpenError();
        SetLink(false, false);
        return false;
    }
    openError = 0;
    {
        std::lock_guard rxGuard(rxMutex);
        lineEchoes = false;
    }
    // Before the thread starts: from then on the thread reports hang-ups and reopens.
    SetLink(true, false);
    return port->StartReceiveThread();
}

void CModbusDriver::ClosePort() {
    std::lock_guard guard(lock);
    if (!port)
        return;
    port->SuspendReceiveThread();
    port.reset();
    std::lock_guard rxGuard(rxMutex);
    if (linkUp) {
        ++linkDrops;
    }
    linkUp = false;
}

void CModbusDriver::SetLink(bool up, bool cancel) {
    {
        std::lock_guard rxGuard(rxMutex);
        if (linkUp && !up) {
            ++linkDrops;
        }
        linkUp = up;
        cancelled = cancel;
    }
    rxArrived.notify_all();
}

void CModbusDriver::Cancel() {
    {
        std::lock_guard rxGuard(rxMutex);
        cancelled = true;
    }
    rxArrived.notify_all();
}

void CModbusDriver::WakeAbandoned() {
    // Taking each mutex orders the caller's flag before the waiter's next look at it.
    { std::lock_guard guard(turnMutex); }
    turnDone.notify_all();
    { std::lock_guard rxGuard(rxMutex); }
    rxArrived.notify_all();
}

bool CModbusDriver::LinkUp() const {
    std::lock_guard rxGuard(rxMutex);
    return linkUp && !cancelled;
}

bool CModbusDriver::WaitForLink(std::chrono::milliseconds timeout) {
    std::unique_lock rxGuard(rxMutex);
    rxArrived.wait_for(rxGuard, timeout, [this] { return linkUp || cancelled; });
    return linkUp && !cancelled;
}

void CModbusDriver::OnLinkStateChanged(bool connected) {
    {
        std::lock_guard rxGuard(rxMutex);
        if (linkUp && !connected) {
            ++linkDrops;
        }
        linkUp = connected;
    }
    rxArrived.notify_all();
}

int CModbusDriver::ReadInputRegisters(uint8_t slave, RegisterRequest& request) {
    return ReadRegisters(slave, kReadInput, request);
}

int CModbusDriver::ReadHoldingRegisters(uint8_t slave, RegisterRequest& request) {
    return ReadRegisters(slave, kReadHolding, request);
}

int CModbusDriver::ReadRegisters(uint8_t slave, uint8_t function, RegisterRequest& request) {
    if (request.kind != KindWord && request.kind != KindDword && request.kind != KindFloat) {
        return ResultBadKind;
    }
    uint8_t frame[8] = {slave,
                        function,
                        static_cast<uint8_t>(request.reg >> 8),
                        static_cast<uint8_t>(request.reg),
                        0,
                        static_cast<uint8_t>(request.kind == KindWord ? 1 : 2)};
    PutCrc(frame, 6);
    return Transact(frame, 8, request);
}

int CModbusDriver::WriteRegister(uint8_t slave, RegisterRequest& request) {
    if (request.kind != KindWord)
        return ResultBadKind;
    // The device takes the written value low byte first, unlike the register address.
    uint8_t frame[8] = {slave,
                        kWriteSingle,
                        static_cast<uint8_t>(request.reg >> 8),
                        static_cast<uint8_t>(request.reg),
                        static_cast<uint8_t>(request.value),
                        static_cast<uint8_t>(request.value >> 8)};
    PutCrc(frame, 6);
    return Transact(frame, 8, request);
}

void CModbusDriver::OnByteReceived(uint8_t byte) {
    bool found;
    {
        std::lock_guard guard(rxMutex);
        int count = rxCount.load(std::memory_order_relaxed);
        if (count >= static_cast<int>(sizeof rxBuffer)) {
            count = 0;  // wrap: start over
            finder.Restart();
        }
        rxBuffer[count] = byte;
        rxCount.store(count + 1, std::memory_order_release);
        found = !finder.Found() && finder.Add(rxBuffer, count + 1);
    }
    // Wake the transaction once, when its reply is in, rather than for every byte.
    if (found)
        rxArrived.notify_all();
}

int CModbusDriver::Transact(const uint8_t* frame, int length, RegisterRequest& request) {
    CTurn turn(*this, request.abandon);
    if (!turn.Held()) {
        return ResultTimeout;
    }
    std::lock_guard guard(lock);
    const auto start = std::chrono::steady_clock::now();
    const bool trace = linktrace::Enabled();
    bool up;
    {
        std::lock_guard rxGuard(rxMutex);
        up = port && linkUp && !cancelled;
        // Bytes that arrive from here on belong to this transaction.
        rxCount.store(0, std::memory_order_relaxed);
        finder.Begin(frame, lineEchoes);
    }
    if (trace)
        linktrace::Frame("TX", frame, length, up ? nullptr : "no port");
    // No reply can come while the port is closed, hung up or being stopped: a time-out,
    // without the wait.
    if (!up)
        return ResultTimeout;
    port->QueueWrite(frame, length);

    uint8_t received[sizeof rxBuffer];
    int count;
    int replyStart = 0;
    int replyLength = 0;
    {
        std::unique_lock rxGuard(rxMutex);
        // Also ends when the device hangs up or a stop cancels the transaction.
        rxArrived.wait_until(rxGuard, start + kReplyWait, [&] {
            return finder.Found() || !linkUp || cancelled ||
                   (request.abandon && request.abandon->load());
        });
        // Bytes may keep arriving; judge a copy.
        count = rxCount.load(std::memory_order_acquire);
        std::memcpy(received, rxBuffer, static_cast<size_t>(count));
        if (finder.Found()) {
            replyStart = finder.Start();
            replyLength = finder.Length();
            lineEchoes = lineEchoes || finder.SawEcho();
        } else if (finder.DamagedReply(rxBuffer, count)) {
            replyLength = -1;
        }
    }

    const uint8_t function = frame[1];
    const uint8_t* reply = received + replyStart;
    int result = ResultOk;
    if (replyLength == 0) {
        result = ResultTimeout;
    } else if (replyLength < 0) {
        result = ResultBadReply;  // found only after the wait: it may have been noise
    } else if (reply[0] != frame[0] || reply[1] != function) {
        result = ResultBadReply;  // includes exception replies
    } else if (function == kWriteSingle) {
        if (std::memcmp(reply, frame, 8) != 0)
            result = ResultBadReply;
    } else {
        const int byteCount = reply[2];
        const int expected = request.kind == KindWord ? 2 : 4;
        // A byte count that does not fit the quantity asked would decode stale bytes.
        if (byteCount != expected) {
            result = ResultBadReply;
        } else {
            const uint32_t w0 = reply[3] * 256u + reply[4];
            const uint32_t w1 = byteCount >= 4 ? reply[5] * 256u + reply[6] : 0;
            switch (request.kind) {
                case KindWord:
                    request.value = w0;
                    break;
                case KindDword:
                    request.value = w1 * 65536u + w0;
                    break;
                case KindFloat:
                    request.floatValue = DecodeFloat(w1 * 65536u + w0);
                    break;
                default:
                    result = ResultBadKind;
                    break;
            }
        }
    }
    if (trace)
        TraceReply(received, count, result, start);
    return result;
}
