#include "recorder/RecorderLoop.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

namespace {

sigset_t LoopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

void ArmTimer(int fd, std::chrono::seconds period) {
    itimerspec timing{};
    timing.it_value.tv_sec = period.count();
    timing.it_interval.tv_sec = period.count();
    timerfd_settime(fd, 0, &timing, nullptr);
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
    }
    fd = -1;
}

// Reads the timer's or event's counter; false when there was nothing to read.
bool Drain(int fd) {
    uint64_t count = 0;
    return ::read(fd, &count, sizeof count) == sizeof count;
}

}  // namespace

struct CRecorderLoop::Impl {
    int signalFd = -1;
    int tickFd = -1;
    int housekeepingFd = -1;
    int cycleFd = -1;
};

CRecorderLoop::CRecorderLoop() : impl(std::make_unique<Impl>()) {}

CRecorderLoop::~CRecorderLoop() {
    for (int* fd : {&impl->signalFd, &impl->tickFd, &impl->housekeepingFd, &impl->cycleFd}) {
        CloseFd(*fd);
    }
}

std::string CRecorderLoop::Open() {
    const sigset_t set = LoopSignals();
    impl->signalFd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    impl->tickFd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    impl->housekeepingFd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    impl->cycleFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (impl->signalFd < 0 || impl->tickFd < 0 || impl->housekeepingFd < 0 || impl->cycleFd < 0) {
        return std::strerror(errno);
    }
    return {};
}

void CRecorderLoop::ArmTick(std::chrono::seconds period) {
    ArmTimer(impl->tickFd, period);
}

void CRecorderLoop::ArmHousekeeping(std::chrono::seconds period) {
    ArmTimer(impl->housekeepingFd, period);
}

void CRecorderLoop::PostCycle() {
    eventfd_write(impl->cycleFd, 1);
}

bool CRecorderLoop::Wait(Wakes& wakes, std::string& error) {
    wakes = {};
    std::array<pollfd, 4> fds{{{impl->signalFd, POLLIN, 0},
                               {impl->tickFd, POLLIN, 0},
                               {impl->housekeepingFd, POLLIN, 0},
                               {impl->cycleFd, POLLIN, 0}}};
    for (;;) {
        if (::poll(fds.data(), fds.size(), -1) >= 0) {
            break;
        }
        if (errno != EINTR) {
            error = std::strerror(errno);
            return false;
        }
    }
    if (fds[0].revents & POLLIN) {
        signalfd_siginfo info{};
        while (::read(impl->signalFd, &info, sizeof info) == sizeof info) {
            if (info.ssi_signo == SIGHUP) {
                wakes.reload = true;
            } else if (!wakes.stop) {
                wakes.stop = true;
                wakes.stopReason = info.ssi_signo == SIGINT ? "SIGINT" : "SIGTERM";
            }
        }
    }
    wakes.tick = (fds[1].revents & POLLIN) && Drain(impl->tickFd);
    wakes.housekeeping = (fds[2].revents & POLLIN) && Drain(impl->housekeepingFd);
    wakes.cycle = (fds[3].revents & POLLIN) && Drain(impl->cycleFd);
    return true;
}

std::string CRecorderLoop::ReloadHint() const {
    return {};
}

void CRecorderLoop::PrepareProcess() {
    // A full file system or a file size limit must come back as a failed write, never end the
    // program: the records wait in memory.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    // Before any thread starts, so that only the loop's signalfd receives them.
    const sigset_t set = LoopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void CRecorderLoop::ProcessDone() {}

std::string CRecorderLoop::RequestReload(unsigned long) {
    return "--reload is for Windows; here send SIGHUP (kill -HUP PID, or systemctl reload "
           "orvex-recorder)";
}

const char* CRecorderLoop::SignalsHelp() {
    return "Signals: SIGTERM or SIGINT stop it; SIGHUP reopens the files and rereads orvex.ini.\n";
}
