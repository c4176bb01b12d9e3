#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The far end of a serial line for tests: the master side of a pseudo-terminal whose
// slave path a CSerialPort opens.
class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& SlavePath() const { return slavePath; }
    int MasterFd() const { return master; }
    void Write(const std::vector<uint8_t>& bytes);
    // Up to count bytes, returning early only at the timeout or when the slave side is gone.
    std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds timeout);
    // Hangs up the line: the slave side sees the hang-up.
    void Close();

private:
    int master = -1;
    std::string slavePath;
};

// A temporary ports/ folder made the process-wide one; its comN links attach ptys to numbers.
class TempPortsFolder {
public:
    TempPortsFolder();
    ~TempPortsFolder();
    // (Re)points comN at target in one step.
    void Link(int number, const std::filesystem::path& target);
    const std::filesystem::path& Dir() const { return dir; }

private:
    std::filesystem::path dir;
};

// Modbus reply helpers: bytes followed by their CRC, low byte first.
std::vector<uint8_t> WithCrc(std::vector<uint8_t> bytes);
