#include "tests/recorder/RecorderProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int PollFor(int fd, Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(std::max<long long>(left, 0)));
}

}  // namespace

RecorderProcess::RecorderProcess(const std::vector<std::string>& args,
                                 const std::vector<std::string>& extraEnv) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    std::vector<std::string> argStore{ORVEX_RECORDER_PATH};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        // The test's own manager (if any) is not the child's: only what the test gives.
        if (!entry.starts_with("NOTIFY_SOCKET=") && !entry.starts_with("WATCHDOG_")) {
            envStore.push_back(entry);
        }
    }
    envStore.insert(envStore.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& e : envStore) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    const int rc = ::posix_spawn(&pid_, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        throw std::runtime_error("cannot start orvex-recorder");
    }
    pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    reader_ = std::thread([this, fd = pipeFds[0]] { ReadOutput(fd); });
}

RecorderProcess::~RecorderProcess() {
    if (!status_) {
        ::kill(pid_, SIGKILL);
        WaitForExit(std::chrono::seconds(10));
    }
    if (pidFd_ >= 0) {
        ::close(pidFd_);
    }
    reader_.join();  // the pipe ends with the process
}

void RecorderProcess::Signal(int signal) const {
    ::kill(pid_, signal);
}

void RecorderProcess::ReadOutput(int fd) {
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        std::lock_guard guard(mutex_);
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            lines_.push_back(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
        changed_.notify_all();
    }
    ::close(fd);
}

bool RecorderProcess::WaitForLine(const std::string& text, std::chrono::milliseconds timeout) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, timeout, [&] {
        return std::any_of(lines_.begin(), lines_.end(),
                           [&](const std::string& line) { return line.find(text) != line.npos; });
    });
}

std::size_t RecorderProcess::CountLines(const std::string& text) {
    std::lock_guard guard(mutex_);
    return static_cast<std::size_t>(
        std::count_if(lines_.begin(), lines_.end(),
                      [&](const std::string& line) { return line.find(text) != line.npos; }));
}

std::string RecorderProcess::Output() {
    std::lock_guard guard(mutex_);
    std::string all;
    for (const std::string& line : lines_) {
        all += line + "\n";
    }
    return all;
}

std::optional<int> RecorderProcess::WaitForExit(std::chrono::milliseconds timeout) {
    if (status_) {
        return status_;
    }
    if (pidFd_ >= 0 && PollFor(pidFd_, Clock::now() + timeout) <= 0) {
        return std::nullopt;
    }
    int raw = 0;
    if (::waitpid(pid_, &raw, 0) != pid_) {
        return std::nullopt;
    }
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return status_;
}

NotifySocket::NotifySocket(const std::filesystem::path& path) : path_(path) {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (fd_ < 0 || text.size() >= sizeof address.sun_path) {
        throw std::runtime_error("notify socket");
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("cannot bind the notify socket");
    }
}

NotifySocket::~NotifySocket() {
    ::close(fd_);
    ::unlink(path_.c_str());
}

std::optional<std::string> NotifySocket::WaitFor(
    const std::function<bool(const std::string&)>& pred, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (PollFor(fd_, deadline) > 0) {
        char buffer[4096];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            continue;
        }
        received_.emplace_back(buffer, static_cast<std::size_t>(n));
        if (pred(received_.back())) {
            return received_.back();
        }
    }
    return std::nullopt;
}
