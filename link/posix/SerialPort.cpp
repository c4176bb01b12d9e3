#include "link/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "link/ComPortMap.h"
#include "link/GenericDriver.h"
#include "link/LinkTrace.h"
#include "link/SerialPortCore.h"
#include "os/posix/BaudRate.h"

namespace {

// A write that cannot get rid of its bytes within this time is abandoned.
constexpr auto kWriteTimeout = std::chrono::milliseconds(2000);

bool IsHangUpError(int error) {
    return error != EAGAIN && error != EWOULDBLOCK && error != EINTR;
}

void Signal(int eventFd) {
    if (eventFd >= 0)
        eventfd_write(eventFd, 1);
}

void Drain(int eventFd) {
    eventfd_t value;
    if (eventFd >= 0)
        eventfd_read(eventFd, &value);
}

int NewEvent() {
    return eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

void CloseEvent(int& eventFd) {
    if (eventFd >= 0)
        ::close(eventFd);
    eventFd = -1;
}

}  // namespace

// termios and two eventfds: the receive thread waits in one poll() on the device, the
// shutdown event and the write event, with no periodic wake-ups while idle.
class CSerialPort::CBackend : public CSerialPortCore {
public:
    CBackend() = default;
    ~CBackend() override;

private:
    bool PrepareEvents(int& error) override;
    bool ResolvePath() override;
    int NotFoundError() const override { return ENOENT; }
    std::string PathText() const override { return path.string(); }
    std::string ErrorText(int error) const override { return std::strerror(error); }
    int OpenDevice() override;
    void CloseDevice() override;
    void ReleaseLines() override;
    void SignalWrite() override { Signal(writeEvent); }
    void SignalShutdown() override { Signal(shutdownEvent); }
    void ClearShutdown() override { Drain(shutdownEvent); }
    void PurgeDevice() override;
    bool DeviceOpen() const override { return device >= 0; }
    Wake WaitForWake(bool idle, bool up, int timeoutMs) override;
    void SendQueued() override;
    void OnLineEvent() override { Receive(); }
    void OnLineGone() override { HangUp(); }

    void Receive();
    void Send();
    bool WriteAll(const uint8_t* bytes, int length);
    void ApplyLineSettings(int fd);
    void HangUp();
    static void SetModemLines(int fd, bool raised);

    int shutdownEvent = -1;  // eventfd
    int device = -1;
    int writeEvent = -1;  // eventfd
    std::filesystem::path path;
};

CSerialPort::CSerialPort() : backend(std::make_unique<CBackend>()) {}

CSerialPort::CBackend::~CBackend() {
    Close();
    CloseEvent(writeEvent);
    CloseEvent(shutdownEvent);
}

bool CSerialPort::CBackend::PrepareEvents(int& error) {
    if (shutdownEvent < 0)
        shutdownEvent = NewEvent();
    if (writeEvent < 0)
        writeEvent = NewEvent();
    error = errno;
    Drain(shutdownEvent);
    Drain(writeEvent);
    return shutdownEvent >= 0 && writeEvent >= 0;
}

bool CSerialPort::CBackend::ResolvePath() {
    path = comport::ResolvePath(portNumber, comport::PortsFolder());
    return !path.empty();
}

void CSerialPort::CBackend::ReleaseLines() {
    if (device >= 0)
        SetModemLines(device, false);
}

int CSerialPort::CBackend::OpenDevice() {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // Exclusive access, so that a port in use by another program fails to open.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return error;
    }
    // Also refuses what is not a terminal (ENOTTY).
    if (ioctl(fd, TIOCEXCL) != 0) {
        int error = errno;
        ::close(fd);
        return error;
    }
    // From here on failures are silent: a pseudo-terminal has no modem lines and must work.
    ApplyLineSettings(fd);
    SetModemLines(fd, true);
    tcflush(fd, TCIOFLUSH);
    device = fd;
    return 0;
}

void CSerialPort::CBackend::ApplyLineSettings(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return;
    cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP | PARMRK | IGNPAR);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    switch (dataBits) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        default:
            tio.c_cflag |= CS8;
            break;
    }
    if (parity == 'E' || parity == 'e')
        tio.c_cflag |= PARENB;
    if (parity == 'O' || parity == 'o')
        tio.c_cflag |= PARENB | PARODD;
    if (stopBits == 2)
        tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    speed_t speed = SpeedFor(baud);
    if (speed != B0) {
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
    }
    tcsetattr(fd, TCSANOW, &tio);
}

void CSerialPort::CBackend::SetModemLines(int fd, bool raised) {
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, raised ? TIOCMBIS : TIOCMBIC, &lines);
}

void CSerialPort::CBackend::CloseDevice() {
    std::lock_guard guard(lock);
    if (device < 0)
        return;
    ioctl(device, TIOCNXCL);
    ::close(device);  // also releases the flock
    device = -1;
}

void CSerialPort::CBackend::PurgeDevice() {
    if (device >= 0)
        tcflush(device, TCIOFLUSH);
}

CSerialPortCore::Wake CSerialPort::CBackend::WaitForWake(bool idle, bool up, int timeoutMs) {
    int fd;
    {
        std::lock_guard guard(lock);
        fd = device;
    }
    pollfd fds[3] = {
        {shutdownEvent, POLLIN, 0},
        {idle ? -1 : writeEvent, POLLIN, 0},
        {idle || !up ? -1 : fd, static_cast<short>((eventMask & kEventRxChar) ? POLLIN : 0), 0},
    };
    const int ready = poll(fds, 3, timeoutMs);
    if (ready < 0)
        return errno == EINTR ? Wake::Again : Wake::Shutdown;
    if (fds[0].revents != 0)
        return Wake::Shutdown;
    if (fds[1].revents & POLLIN)
        return Wake::Write;
    if (fds[2].revents & POLLIN)
        return Wake::Line;
    if (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL))
        return Wake::LineGone;
    return ready == 0 ? Wake::Timeout : Wake::Again;
}

void CSerialPort::CBackend::SendQueued() {
    Drain(writeEvent);
    Send();
}

void CSerialPort::CBackend::Receive() {
    uint8_t bytes[256];
    ssize_t count;
    int error = 0;
    {
        std::lock_guard guard(lock);
        if (device < 0)
            return;
        count = ::read(device, bytes, sizeof bytes);
        if (count < 0)
            error = errno;
    }
    if (count == 0 || (count < 0 && IsHangUpError(error))) {
        HangUp();
        return;
    }
    if (count > 0)
        Deliver(bytes, static_cast<size_t>(count));
}

void CSerialPort::CBackend::Send() {
    uint8_t bytes[kWriteCapacity];
    const int length = TakeWrite(bytes);
    std::lock_guard guard(lock);
    // A hung-up device drops the write; the Modbus master sees a time-out.
    if (device < 0)
        return;
    // A reply must never mix with bytes left over from before.
    tcflush(device, TCIOFLUSH);
    if (!WriteAll(bytes, length))
        HangUp();
}

bool CSerialPort::CBackend::WriteAll(const uint8_t* bytes, int length) {
    const auto deadline = std::chrono::steady_clock::now() + kWriteTimeout;
    int done = 0;
    while (done < length) {
        ssize_t n = ::write(device, bytes + done, static_cast<size_t>(length - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline -
                                                                 std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return true;  // give up silently; the line is stuck, not gone
        pollfd fds[2] = {{device, POLLOUT, 0}, {shutdownEvent, POLLIN, 0}};
        if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR)
            return true;
        if (fds[1].revents != 0)
            return true;  // shutting down: the main loop sees it too
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
            return false;
    }
    return true;
}

void CSerialPort::CBackend::HangUp() {
    Trace("hang-up on " + path.string() + ", reopening about once a second");
    CloseDevice();
    ScheduleReopen();
}
