#include "tests/support/SimProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kCommandTimeout = std::chrono::seconds(10);
constexpr auto kEndTimeout = std::chrono::seconds(3);

std::runtime_error Failure(const std::string& what) {
    return std::runtime_error("SimProcess: " + what + ": " + std::strerror(errno));
}

fs::path NewConfigFile(const std::string& text) {
    static std::atomic<int> counter{0};
    fs::path path = fs::temp_directory_path() / ("orvex-sim-" + std::to_string(getpid()) + "-" +
                                                 std::to_string(counter++) + ".conf");
    std::ofstream file(path, std::ios::trunc);
    file << text << '\n';
    if (!file)
        throw std::runtime_error("SimProcess: cannot write " + path.string());
    return path;
}

}  // namespace

SimProcess::SimProcess(const SimOptions& options) {
    // A write to a simulator that has died must fail, not end the test program.
    signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> args{ORVEX_SIM_PATH, "--exit-on-eof"};
    if (!options.config.empty()) {
        configFile_ = NewConfigFile(options.config);
        args.insert(args.end(), {"--config", configFile_.string()});
    }
    args.insert(args.end(), options.args.begin(), options.args.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        throw Failure("pipe");
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        throw Failure("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    stdinFd_ = in[1];
    stdoutFd_ = out[0];
    if (spawned != 0) {
        close(stdinFd_);
        close(stdoutFd_);
        errno = spawned;
        throw Failure(std::string("cannot start ") + ORVEX_SIM_PATH);
    }
    reader_ = std::thread([this] { ReadOutput(); });

    std::unique_lock lock(mutex_);
    const bool announced =
        changed_.wait_for(lock, kStartTimeout, [this] { return !announcedPty_.empty() || ended_; });
    if (!announced || announcedPty_.empty()) {
        lock.unlock();
        Stop();
        std::error_code ec;
        if (!configFile_.empty())
            fs::remove(configFile_, ec);
        throw std::runtime_error("SimProcess: orvex-sim did not announce its pty");
    }
    ptyPath_ = announcedPty_;
}

SimProcess::~SimProcess() {
    Stop();
    std::error_code ec;
    for (const fs::path& link : links_) {
        if (fs::is_symlink(fs::symlink_status(link, ec)) &&
            fs::read_symlink(link, ec) == ptyPath_) {
            fs::remove(link, ec);
        }
    }
    if (!configFile_.empty())
        fs::remove(configFile_, ec);
}

void SimProcess::Stop() {
    if (pid_ < 0)
        return;
    // Closing stdin ends the simulator (--exit-on-eof); SIGTERM is the second way, SIGKILL the
    // last.
    if (stdinFd_ >= 0) {
        close(stdinFd_);
        stdinFd_ = -1;
    }
    kill(pid_, SIGTERM);
    {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, kEndTimeout, [this] { return ended_; }))
            kill(pid_, SIGKILL);
    }
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (reader_.joinable())
        reader_.join();
    close(stdoutFd_);
    stdoutFd_ = -1;
}

void SimProcess::ReadOutput() {
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(stdoutFd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<size_t>(n));
        size_t newline;
        std::lock_guard lock(mutex_);
        while ((newline = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, newline);
            pending.erase(0, newline + 1);
            if (announcedPty_.empty() && line.rfind("PTY ", 0) == 0) {
                announcedPty_ = line.substr(4);
            } else if (line == "OK" || line.rfind("ERR", 0) == 0) {
                ++acknowledged_;
                if (line != "OK")
                    lastError_ = line;
            } else {
                log_.push_back(std::move(line));
            }
        }
        changed_.notify_all();
    }
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

const std::string& SimProcess::PtyPath() const {
    return ptyPath_;
}

void SimProcess::LinkAs(const fs::path& portsFolder, int comNumber) {
    fs::create_directories(portsFolder);
    const fs::path link = portsFolder / ("com" + std::to_string(comNumber));
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(link, ec)))
        fs::remove(link);
    fs::create_symlink(ptyPath_, link);
    links_.push_back(link);
}

void SimProcess::Command(const std::string& line) {
    std::lock_guard commandLock(commandMutex_);
    long target;
    {
        std::lock_guard lock(mutex_);
        target = acknowledged_ + 1;
    }
    const std::string text = line + "\n";
    if (stdinFd_ < 0 ||
        write(stdinFd_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        throw Failure("cannot send '" + line + "' to orvex-sim");
    }
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, kCommandTimeout,
                           [&] { return acknowledged_ >= target || ended_; }) ||
        acknowledged_ < target) {
        throw std::runtime_error("SimProcess: orvex-sim did not take '" + line + "'");
    }
    if (!lastError_.empty()) {
        const std::string error = lastError_;
        lastError_.clear();
        throw std::runtime_error("SimProcess: orvex-sim refused '" + line + "': " + error);
    }
}

void SimProcess::Sync() {
    bool running;
    {
        std::lock_guard lock(mutex_);
        running = !ended_;
    }
    // orvex-sim answers commands in order with its log lines: once a no-op is acknowledged,
    // every line it wrote before has arrived.
    if (running && stdinFd_ >= 0)
        Command("#");
}

std::vector<std::string> SimProcess::Log() {
    Sync();
    std::lock_guard lock(mutex_);
    return log_;
}

bool SimProcess::WaitForLog(const std::function<bool(const std::vector<std::string>&)>& pred,
                            std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return pred(log_); });
}

void SimProcess::ClearLog() {
    Sync();
    std::lock_guard lock(mutex_);
    log_.clear();
}
