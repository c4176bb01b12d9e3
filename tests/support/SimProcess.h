#pragma once
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Options of one simulated concentrator: config file text and extra command-line arguments.
struct SimOptions {
    std::string config;
    std::vector<std::string> args;
};

// Runs orvex-sim as a child process for the length of a test. The constructor returns once the
// simulator has announced its pseudo-terminal (it throws std::runtime_error when it does not).
// Log lines are collected by a reader thread; Command waits until the simulator has applied the
// command, so a request sent afterwards sees its effect.
class SimProcess {
public:
    explicit SimProcess(const SimOptions& options = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& PtyPath() const;  // e.g. /dev/pts/7
    // Places portsFolder/comN -> PtyPath(), creating the folder; removed again by the destructor.
    void LinkAs(const std::filesystem::path& portsFolder, int comNumber);
    // One runtime command on the simulator's stdin; returns once it has been applied.
    void Command(const std::string& line);
    // Log lines written so far (without "PTY ..."); waits until every line already written
    // by orvex-sim has arrived.
    std::vector<std::string> Log();
    // Waits until pred(log) holds or the timeout passes. pred runs under the log lock: it must not
    // call back into this object.
    bool WaitForLog(const std::function<bool(const std::vector<std::string>&)>& pred,
                    std::chrono::milliseconds timeout);
    void ClearLog();  // also forgets lines still on their way

private:
    void Sync();
    void ReadOutput();
    void Stop();

    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int stdoutFd_ = -1;
    std::filesystem::path configFile_;
    std::vector<std::filesystem::path> links_;
    std::string ptyPath_;
    std::thread reader_;
    std::mutex commandMutex_;  // one command at a time
    std::mutex mutex_;         // guards everything below
    std::condition_variable changed_;
    std::vector<std::string> log_;
    std::string announcedPty_;
    long acknowledged_ = 0;
    std::string lastError_;
    bool ended_ = false;  // the simulator's stdout reached its end
};
