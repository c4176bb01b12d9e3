#include "sim/SimPort.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "os/posix/BaudRate.h"

namespace {

std::string Reason(const char* step) {
    return std::string(step) + ": " + std::strerror(errno);
}

bool MakeRaw(int fd, speed_t speed) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (speed != 0) {
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
    }
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

CSimPort::~CSimPort() {
    if (fd_ >= 0)
        close(fd_);
}

bool CSimPort::OpenPty(std::string& error) {
    // Non-blocking: a read after a stale readiness report must not hang the simulator.
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        error = Reason("posix_openpt");
        return false;
    }
    char name[128];
    if (grantpt(fd_) != 0 || unlockpt(fd_) != 0 || ptsname_r(fd_, name, sizeof name) != 0) {
        error = Reason("pseudo-terminal set-up");
        return false;
    }
    path_ = name;
    isPty_ = true;
    // On a pty the master's terminal settings are the slave's.
    if (!MakeRaw(fd_, B9600)) {
        error = Reason("tcsetattr");
        return false;
    }
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = Reason("open slave");
        return false;
    }
    close(slave);
    return true;
}

bool CSimPort::ClearExclusive(std::string& error) const {
    if (!isPty_)
        return true;
    const int slave = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        error = Reason(path_.c_str());
        return false;
    }
    const bool cleared = ioctl(slave, TIOCNXCL) == 0;
    if (!cleared)
        error = Reason("TIOCNXCL");
    close(slave);
    return cleared;
}

bool CSimPort::OpenDevice(const std::string& path, int baud, std::string& error) {
    const speed_t speed = SpeedFor(baud);
    if (speed == B0) {
        error = "unsupported baud rate " + std::to_string(baud);
        return false;
    }
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        error = Reason(path.c_str());
        return false;
    }
    if (!MakeRaw(fd_, speed)) {
        error = Reason("tcsetattr");
        return false;
    }
    path_ = path;
    return true;
}
