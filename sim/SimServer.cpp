#include "sim/SimServer.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iostream>

namespace {

constexpr int64_t kMs = 1'000'000;
constexpr int64_t kHangUpRecheckNs = 30 * kMs;

int64_t Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

// About 10 bits per byte on the line.
int64_t ByteNs(int baud) {
    return 10 * 1'000'000'000LL / baud;
}

timespec ToTimespec(int64_t ns) {
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

}  // namespace

void EmitLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

CSimServer::CSimServer(CSimDevice& device, CSimPort& port, const SimCommandLine& options)
    : device_(device), port_(port), options_(options) {
    // A frame ends after 3.5 character times of silence (10 bits each). Bytes reach us in bursts
    // (a USB adapter's latency timer, a busy scheduler for a pty), so the gap never goes below
    // 20 ms; noise is shed by the CRC search anyway, the gap only ends frames of unknown length.
    const int64_t charNs = 10 * 1'000'000'000LL / options.baud;
    gapNs_ = std::max(charNs * 7 / 2, 20 * kMs);

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    signalFd_ = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    signal(SIGPIPE, SIG_IGN);
    start_ = Now();
    if (port_.IsPty()) {
        // The slave was opened and closed once at creation, so a hang-up means nobody has it.
        // Probed before the pty is announced: a program may open it right after.
        pollfd probe{port_.Fd(), POLLIN, 0};
        hungUp_ = poll(&probe, 1, 0) == 1 && (probe.revents & POLLHUP) != 0;
    }
}

CSimServer::~CSimServer() {
    if (signalFd_ >= 0)
        close(signalFd_);
}

int CSimServer::TimeoutMs() const {
    int64_t deadline = INT64_MAX;
    if (!replies_.empty())
        deadline = replies_.front().due;
    if (assembler_.Pending())
        deadline = std::min(deadline, lastByte_ + gapNs_);
    if (hungUp_)
        deadline = std::min(deadline, Now() + kHangUpRecheckNs);
    if (deadline == INT64_MAX)
        return -1;
    const int64_t left = deadline - Now();
    return left <= 0 ? 0 : static_cast<int>((left + kMs - 1) / kMs);
}

int CSimServer::Run() {
    while (!quit_) {
        // While hung up the master reports POLLHUP at once, so it is left out and re-checked.
        pollfd fds[3] = {{hungUp_ ? -1 : port_.Fd(), POLLIN, 0},
                         {stdinOpen_ ? STDIN_FILENO : -1, POLLIN, 0},
                         {signalFd_, POLLIN, 0}};
        if (poll(fds, 3, TimeoutMs()) < 0 && errno != EINTR) {
            std::perror("orvex-sim: poll");
            return 1;
        }
        if (fds[2].revents & POLLIN) {
            signalfd_siginfo info{};
            [[maybe_unused]] ssize_t n = read(signalFd_, &info, sizeof info);
            break;
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR))
            ReadCommands();
        if (hungUp_) {
            CheckHangUp();
        } else if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            bool hungUpNow = false;
            const size_t queuedBefore = replies_.size();
            if (fds[0].revents & POLLIN)
                ReadLine(hungUpNow);
            const bool hangUp = hungUpNow || (fds[0].revents & (POLLHUP | POLLERR));
            if (hangUp && !port_.IsPty()) {
                std::cerr << "orvex-sim: " << port_.Path() << " has gone\n";
                return 1;
            }
            if (hangUp) {
                if (options_.log)
                    EmitLine("CLOSE");
                if (SlaveOpen()) {
                    // Reopened before we looked: what was just read is the new program's.
                    replies_.erase(replies_.begin(), replies_.begin() + queuedBefore);
                    if (options_.log)
                        EmitLine("OPEN");
                } else {
                    // Nobody listens any more: stale replies would reach the next program.
                    hungUp_ = true;
                    replies_.clear();
                    std::vector<std::vector<uint8_t>> frames;
                    assembler_.Flush(frames);
                    Dispatch(frames, false);
                    ReleaseLine();
                }
            }
        }
        if (assembler_.Pending() && Now() - lastByte_ >= gapNs_) {
            std::vector<std::vector<uint8_t>> frames;
            assembler_.Flush(frames);
            Dispatch(frames, !hungUp_);
        }
        SendDueReplies();
    }
    return 0;
}

bool CSimServer::SlaveOpen() const {
    pollfd probe{port_.Fd(), POLLIN, 0};
    return poll(&probe, 1, 0) >= 0 && !(probe.revents & POLLHUP);
}

void CSimServer::CheckHangUp() {
    pollfd probe{port_.Fd(), POLLIN, 0};
    if (poll(&probe, 1, 0) < 0)
        return;
    if (!(probe.revents & POLLHUP)) {
        hungUp_ = false;
        if (options_.log)
            EmitLine("OPEN");
        return;
    }
    if (probe.revents & POLLIN) {
        // A program opened the pty, wrote and closed it between two checks.
        if (options_.log)
            EmitLine("OPEN");
        // Once the slave is closed, reads return what it left and then fail: they never block.
        bool hungUpNow = false;
        for (int i = 0; i < 64 && !hungUpNow; ++i)
            ReadLine(hungUpNow);
        std::vector<std::vector<uint8_t>> frames;
        assembler_.Flush(frames);
        Dispatch(frames, false);
        replies_.clear();
        if (options_.log)
            EmitLine("CLOSE");
        ReleaseLine();
    }
}

void CSimServer::ReleaseLine() {
    std::string error;
    if (port_.ClearExclusive(error)) {
        exclusiveWarned_ = false;
        return;
    }
    // Opening the slave fails only while the flag is set (EBUSY) or the pty is going away.
    if (!exclusiveWarned_)
        std::cerr << "orvex-sim: the closed program left " << port_.Path()
                  << " exclusive and only a privileged simulator can clear that (" << error
                  << "); unprivileged programs get \"busy\" until the simulator restarts\n";
    exclusiveWarned_ = true;
}

void CSimServer::ReadLine(bool& hungUpNow) {
    uint8_t buffer[512];
    const ssize_t n = read(port_.Fd(), buffer, sizeof buffer);
    if (n <= 0) {
        // EIO on a pty master: the last slave descriptor was closed. EAGAIN: nothing after all.
        hungUpNow = n == 0 || (errno != EAGAIN && errno != EINTR);
        return;
    }
    const int64_t now = Now();
    std::vector<std::vector<uint8_t>> frames;
    if (assembler_.Pending() && now - lastByte_ >= gapNs_)
        assembler_.Flush(frames);
    lastByte_ = now;
    assembler_.Feed(buffer, static_cast<size_t>(n), frames);
    Dispatch(frames, !hungUp_);
}

void CSimServer::Dispatch(std::vector<std::vector<uint8_t>>& frames, bool answer) {
    for (const std::vector<uint8_t>& frame : frames) {
        device_.UpdateDrift(static_cast<double>(Now() - start_) / 1e9);
        SimOutcome outcome = device_.Handle(frame);
        if (options_.log && !outcome.log.empty())
            EmitLine(outcome.log);
        // The line gives every request back while it is being sent, before any reply.
        if (answer && device_.Fault() == FaultMode::Echo)
            replies_.push_back(Reply{Now(), frame});
        if (answer && !outcome.reply.empty()) {
            // A pty delivers the request at once; on a real line it would take its wire time.
            const int64_t requestNs =
                options_.wireSpeed ? static_cast<int64_t>(frame.size()) * ByteNs(options_.baud) : 0;
            replies_.push_back(
                Reply{Now() + outcome.delay.count() * kMs + requestNs, std::move(outcome.reply)});
        }
    }
    frames.clear();
    // Keep replies in due order even when the delay changed in between.
    std::stable_sort(replies_.begin(), replies_.end(),
                     [](const Reply& a, const Reply& b) { return a.due < b.due; });
}

void CSimServer::SendDueReplies() {
    while (!replies_.empty() && replies_.front().due <= Now()) {
        std::vector<uint8_t> bytes = std::move(replies_.front().bytes);
        replies_.pop_front();
        Send(bytes);
    }
}

void CSimServer::Send(const std::vector<uint8_t>& bytes) {
    // The line is non-blocking: a program that stops reading loses what does not fit.
    if (!options_.wireSpeed) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = write(port_.Fd(), bytes.data() + sent, bytes.size() - sent);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            sent += static_cast<size_t>(n);
        }
        return;
    }
    // About 10 bits per byte at the line speed; each byte waits for its own absolute time.
    const int64_t byteNs = ByteNs(options_.baud);
    const int64_t start = Now();
    for (size_t i = 0; i < bytes.size(); ++i) {
        const timespec at = ToTimespec(start + static_cast<int64_t>(i + 1) * byteNs);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
        }
        if (write(port_.Fd(), &bytes[i], 1) != 1)
            return;
    }
}

void CSimServer::ReadCommands() {
    char buffer[4096];
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        if (n < 0 && errno == EINTR)
            return;
        stdinOpen_ = false;
        if (options_.exitOnEof)
            quit_ = true;
        return;
    }
    commandBuffer_.append(buffer, static_cast<size_t>(n));
    size_t newline;
    while ((newline = commandBuffer_.find('\n')) != std::string::npos) {
        const std::string line = commandBuffer_.substr(0, newline);
        commandBuffer_.erase(0, newline + 1);
        std::string error;
        if (device_.Apply(line, error)) {
            EmitLine("OK");
        } else {
            EmitLine("ERR " + error);
            std::cerr << "orvex-sim: " << error << '\n';
        }
    }
}
