#pragma once
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/ReferenceCrc.h"

// A bare file descriptor on the simulator's pty, standing in for a Modbus master.
class RawLine {
public:
    explicit RawLine(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ >= 0) {
            termios tio{};
            tcgetattr(fd_, &tio);
            cfmakeraw(&tio);
            tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~RawLine() { Close(); }
    RawLine(const RawLine&) = delete;
    RawLine& operator=(const RawLine&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    void Close() {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }

    void Send(const std::vector<uint8_t>& bytes) {
        [[maybe_unused]] ssize_t n = write(fd_, bytes.data(), bytes.size());
    }

    // Collects bytes until `count` have arrived or nothing more comes within `quiet`.
    std::vector<uint8_t> Receive(
        size_t count, std::chrono::milliseconds quiet = std::chrono::milliseconds(3000)) {
        std::vector<uint8_t> bytes;
        while (bytes.size() < count) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0)
                break;
            uint8_t buffer[512];
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }

    std::vector<uint8_t> Transact(const std::vector<uint8_t>& request, size_t replyLength) {
        Send(request);
        return Receive(replyLength);
    }

private:
    int fd_ = -1;
};

// A request frame with its CRC appended.
inline std::vector<uint8_t> Frame(std::vector<uint8_t> bytes) {
    return reference::WithCrc(std::move(bytes));
}

inline std::vector<uint8_t> ReadRequest(uint8_t slave, uint8_t function, uint16_t reg,
                                        uint16_t count) {
    return Frame({slave, function, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg & 0xFF),
                  static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count & 0xFF)});
}
