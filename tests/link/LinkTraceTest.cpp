// The ORVEX_TRACE switch is read once per process, so each case runs a child copy of this test
// program with or without it and reads the child's stderr.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/ModbusDriver.h"
#include "tests/link/PtyPeer.h"
#include "tests/link/TraceLine.h"

using namespace std::chrono_literals;

extern char** environ;

namespace {

// Runs the disabled child case in a copy of this program; returns its stderr.
std::string RunChild(bool traceOn) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return "pipe failed";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("ORVEX_TRACE=", 0) != 0)
            env.emplace_back(*e);
    }
    if (traceOn)
        env.emplace_back("ORVEX_TRACE=1");
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=LinkTraceChild.DISABLED_OneTransaction";
    std::string disabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {self.data(), filter.data(), disabled.data(), nullptr};
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    std::string output;
    char buffer[4096];
    ssize_t n;
    while (spawned == 0 && (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        output.append(buffer, n);
    ::close(pipeFds[0]);
    int status = 0;
    if (spawned == 0)
        waitpid(pid, &status, 0);
    return output;
}

}  // namespace

TEST(LinkTraceChild, DISABLED_OneTransaction) {
    PtyPeer peer;
    TempPortsFolder ports;
    ports.Link(7, peer.SlavePath());
    CModbusDriver master;
    ASSERT_TRUE(master.OpenPort(7, 9600, 'N'));
    std::thread device([&] {
        if (peer.Read(8, 3s).size() == 8)
            peer.Write(WithCrc({0x01, 0x04, 0x02, 0x12, 0x34}));
    });
    RegisterRequest request{100, KindWord};
    EXPECT_EQ(master.ReadInputRegisters(1, request), ResultOk);
    device.join();
}

TEST(LinkTrace, FramesGoToStderrOnlyWhenSwitchedOn) {
    const std::string traced = RunChild(true);
    EXPECT_TRUE(HasTraceLine(traced, "TX 01 04 00 64 00 01 70 15")) << traced;
    EXPECT_TRUE(HasTraceLine(traced, "RX 01 04 02 12 34 ")) << traced;
    EXPECT_NE(traced.find("  (result 0 after "), std::string::npos) << traced;

    const std::string quiet = RunChild(false);
    EXPECT_EQ(quiet.find(" TX "), std::string::npos) << quiet;
    EXPECT_EQ(quiet.find(" RX "), std::string::npos) << quiet;
}
