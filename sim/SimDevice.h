#pragma once
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// How the simulated concentrator misbehaves when it answers. Echo is the line's doing: every
// request comes back to the master before the reply, as on many two-wire RS-485 adapters.
enum class FaultMode { None, Silence, Slow, BadCrc, WrongAddr, Exception, Truncated, Noise, Echo };

std::optional<FaultMode> ParseFaultMode(std::string_view name);
const char* FaultModeName(FaultMode mode);

// What the device does with one received frame.
struct SimOutcome {
    std::string log;                     // "REQ ..." when the frame was for this device, else empty
    std::vector<uint8_t> reply;          // bytes to send; empty when nothing is answered
    std::chrono::milliseconds delay{0};  // how long to wait before sending the reply
};

// The register space and behaviour of one simulated concentrator (no I/O).
class CSimDevice {
public:
    static constexpr int kInputs = 8;
    static constexpr int kValuesPerInput = 8;  // floats at 100n+40 .. 100n+55

    CSimDevice();

    uint16_t Register(uint16_t reg) const { return registers_[reg]; }
    void SetRegister(uint16_t reg, uint16_t value) { registers_[reg] = value; }
    float Float(uint16_t reg) const;  // low word at reg, high word at reg+1
    void SetFloat(uint16_t reg, float value);

    uint8_t Address() const { return address_; }
    void SetAddress(uint8_t address) { address_ = address; }
    FaultMode Fault() const { return fault_; }
    void SetFault(FaultMode mode) { fault_ = mode; }
    bool Silent() const { return silent_; }
    void SetSilent(bool silent) { silent_ = silent; }
    void SetSlowDelay(std::chrono::milliseconds delay) { slowDelay_ = delay; }
    // The concentrator takes the value of function 6 low byte first (its register address high
    // byte first); false makes it a standard slave that takes the value high byte first.
    void SetWriteLowFirst(bool lowFirst) { writeLowFirst_ = lowFirst; }
    bool Drift() const { return drift_; }
    void SetDrift(bool drift) { drift_ = drift; }

    // One config line or runtime command. Blank lines and comments are accepted.
    // Returns false with a reason for anything it does not understand (nothing is changed then).
    bool Apply(std::string_view line, std::string& error);

    // Eight lively mixed sensors.
    void LoadDemo();

    // Moves the drifting values to their state at `seconds` since start (no-op without drift).
    void UpdateDrift(double seconds);

    // Handles one frame whose CRC is already known to be valid.
    SimOutcome Handle(const std::vector<uint8_t>& frame);

private:
    struct InputBase {
        std::array<float, kValuesPerInput> values{};
        int count = 0;  // how many values= were given (these drift)
    };

    bool ApplyDevice(const std::vector<std::string_view>& words, std::string& error);
    bool ApplyInput(const std::vector<std::string_view>& words, std::string& error);
    bool Touches(uint16_t first, unsigned count) const;
    uint16_t WriteValue(const std::vector<uint8_t>& frame) const;
    std::vector<uint8_t> Answer(const std::vector<uint8_t>& frame);
    void Disturb(std::vector<uint8_t>& reply);

    std::vector<uint16_t> registers_ = std::vector<uint16_t>(65536, 0);
    std::array<InputBase, kInputs> bases_{};
    std::set<uint16_t> failed_;
    uint8_t address_ = 1;
    FaultMode fault_ = FaultMode::None;
    bool silent_ = false;
    bool drift_ = false;
    bool writeLowFirst_ = true;
    std::chrono::milliseconds slowDelay_{2000};
    std::mt19937 random_{12345};
};

// Appends the CRC (low byte first) to a frame.
void AppendCrc(std::vector<uint8_t>& frame);
