#pragma once
#include <string>

// The simulator's end of the line: the master side of a fresh pseudo-terminal, or a serial device.
class CSimPort {
public:
    CSimPort() = default;
    ~CSimPort();
    CSimPort(const CSimPort&) = delete;
    CSimPort& operator=(const CSimPort&) = delete;

    // Creates a pseudo-terminal in raw mode. The slave side is opened once and closed again, so
    // that the master reports a hang-up until a program opens the slave; the simulator itself
    // never holds the slave open.
    bool OpenPty(std::string& error);
    // Opens a serial device in raw mode, 8N1 at `baud`.
    bool OpenDevice(const std::string& path, int baud, std::string& error);

    // A program that set the exclusive flag (TIOCEXCL) on the slave leaves it behind on a pty,
    // where a real adapter drops it at the last close: open the slave and clear it. Only a
    // privileged process can open an exclusive tty; false when that failed.
    bool ClearExclusive(std::string& error) const;

    int Fd() const { return fd_; }
    bool IsPty() const { return isPty_; }
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    bool isPty_ = false;
    std::string path_;
};
