#include "tests/link/PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <utility>

#include "link/ComPortMap.h"
#include "tests/support/ReferenceCrc.h"

PtyPeer::PtyPeer() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128];
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    slavePath = name;
}

PtyPeer::~PtyPeer() {
    Close();
}

void PtyPeer::Close() {
    if (master >= 0)
        ::close(master);
    master = -1;
}

void PtyPeer::Write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd fd{master, POLLOUT, 0};
            poll(&fd, 1, 100);
        } else {
            throw std::runtime_error("pty write failed");
        }
    }
}

std::vector<uint8_t> PtyPeer::Read(size_t count, std::chrono::milliseconds timeout) {
    std::vector<uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (bytes.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd fd{master, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0)
            continue;
        uint8_t buffer[512];
        ssize_t n = ::read(master, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (n > 0) {
            bytes.insert(bytes.end(), buffer, buffer + n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        } else {
            break;  // EIO: nobody holds the slave side
        }
    }
    return bytes;
}

TempPortsFolder::TempPortsFolder() {
    static std::atomic<int> serial{0};
    dir = std::filesystem::temp_directory_path() /
          ("orvex-link-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    comport::SetPortsFolder(dir);
}

TempPortsFolder::~TempPortsFolder() {
    comport::SetPortsFolder({});
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

void TempPortsFolder::Link(int number, const std::filesystem::path& target) {
    std::filesystem::path link = dir / ("com" + std::to_string(number));
    std::filesystem::path temp = dir / ("com" + std::to_string(number) + ".new");
    std::filesystem::remove(temp);
    std::filesystem::create_symlink(target, temp);
    std::filesystem::rename(temp, link);
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> bytes) {
    return reference::WithCrc(std::move(bytes));
}
