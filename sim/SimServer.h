#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/FrameAssembler.h"
#include "sim/SimDevice.h"
#include "sim/SimOptions.h"
#include "sim/SimPort.h"

// The simulator's event loop: one poll() on the line, stdin and a signalfd. It sleeps while idle;
// the only periodic wake-up is the hang-up re-check while no program has the pty open.
class CSimServer {
public:
    CSimServer(CSimDevice& device, CSimPort& port, const SimCommandLine& options);
    ~CSimServer();
    CSimServer(const CSimServer&) = delete;
    CSimServer& operator=(const CSimServer&) = delete;

    // Runs until SIGTERM/SIGINT/SIGHUP (or stdin's end with --exit-on-eof). Returns the exit code.
    int Run();

private:
    struct Reply {
        int64_t due;  // CLOCK_MONOTONIC nanoseconds
        std::vector<uint8_t> bytes;
    };

    void ReadCommands();
    void ReadLine(bool& hungUpNow);
    bool SlaveOpen() const;
    void CheckHangUp();
    void ReleaseLine();
    void Dispatch(std::vector<std::vector<uint8_t>>& frames, bool answer);
    void SendDueReplies();
    void Send(const std::vector<uint8_t>& bytes);
    int TimeoutMs() const;

    CSimDevice& device_;
    CSimPort& port_;
    const SimCommandLine& options_;
    CFrameAssembler assembler_;
    std::deque<Reply> replies_;
    std::string commandBuffer_;
    int64_t start_ = 0;
    int64_t lastByte_ = 0;
    int64_t gapNs_ = 0;
    int signalFd_ = -1;
    bool stdinOpen_ = true;
    bool hungUp_ = false;
    bool quit_ = false;
    bool exclusiveWarned_ = false;
};

// Writes one line to stdout and flushes it.
void EmitLine(const std::string& line);
