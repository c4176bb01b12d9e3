#pragma once
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// orvex-recorder as a child process: its standard error collected line by line by a reader
// thread, its exit waited for with a bound. The destructor ends a process still running.
class RecorderProcess {
public:
    RecorderProcess(const std::vector<std::string>& args,
                    const std::vector<std::string>& extraEnv = {});
    ~RecorderProcess();
    RecorderProcess(const RecorderProcess&) = delete;
    RecorderProcess& operator=(const RecorderProcess&) = delete;

    pid_t Pid() const { return pid_; }
    void Signal(int signal) const;
    // Waits until some line contains text; false after the timeout.
    bool WaitForLine(const std::string& text, std::chrono::milliseconds timeout);
    std::size_t CountLines(const std::string& text);
    std::string Output();
    // The exit status (or 128 + the signal) once the process has ended, nothing after the
    // timeout.
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout);

private:
    void ReadOutput(int fd);

    pid_t pid_ = -1;
    int pidFd_ = -1;
    std::optional<int> status_;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

// A bound AF_UNIX datagram socket for NOTIFY_SOCKET: what a service manager would receive.
class NotifySocket {
public:
    explicit NotifySocket(const std::filesystem::path& path);
    ~NotifySocket();
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    std::string EnvEntry() const { return "NOTIFY_SOCKET=" + path_.string(); }
    // Receives messages until one satisfies pred (returned) or the timeout passes (empty).
    std::optional<std::string> WaitFor(const std::function<bool(const std::string&)>& pred,
                                       std::chrono::milliseconds timeout);
    // Every message received so far, in order.
    const std::vector<std::string>& Received() const { return received_; }

private:
    std::filesystem::path path_;
    int fd_ = -1;
    std::vector<std::string> received_;
};
