// orvex-sim as a process: fault modes, pty open/close detection, links, wire-speed replies.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "tests/sim/RawLine.h"
#include "tests/support/SimProcess.h"

extern char** environ;

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

auto Has(const std::string& entry) {
    return [entry](const std::vector<std::string>& log) {
        return std::find(log.begin(), log.end(), entry) != log.end();
    };
}

fs::path TempFolder(const std::string& name) {
    fs::path folder =
        fs::temp_directory_path() / ("orvex-simtest-" + std::to_string(getpid()) + "-" + name);
    fs::remove_all(folder);
    return folder;
}

const std::vector<uint8_t> kSerialReply = Frame({1, 4, 2, 0x04, 0xD2});

}  // namespace

TEST(SimProcess, FaultModesAtRuntime) {
    SimProcess sim({.config = "", .args = {"--log", "--slow-ms", "300"}});
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    const std::vector<uint8_t> request = ReadRequest(1, 4, 2, 1);

    sim.Command("fault exception");
    EXPECT_EQ(line.Transact(request, 5), Frame({1, 0x84, 2}));
    sim.Command("fault wrongaddr");
    EXPECT_EQ(line.Transact(request, 7), Frame({2, 4, 2, 0x04, 0xD2}));
    sim.Command("fault badcrc");
    std::vector<uint8_t> reply = line.Transact(request, 7);
    ASSERT_EQ(reply.size(), 7u);
    EXPECT_NE(reply, kSerialReply);
    EXPECT_TRUE(std::equal(reply.begin(), reply.begin() + 5, kSerialReply.begin()));
    // A truncated reply is followed by a whole one once the fault is gone.
    sim.Command("fault truncated");
    line.Send(request);
    ASSERT_TRUE(sim.WaitForLog(
        [](const auto& log) { return std::count(log.begin(), log.end(), "REQ 4 2 1") == 4; }, 5s));
    sim.Command("fault none");
    reply = line.Transact(ReadRequest(1, 4, 0, 1), 4 + 7);
    ASSERT_EQ(reply.size(), 4u + 7u);
    EXPECT_TRUE(std::equal(reply.begin(), reply.begin() + 4, kSerialReply.begin()));
    EXPECT_EQ(std::vector<uint8_t>(reply.begin() + 4, reply.end()), Frame({1, 4, 2, 0x5A, 0x21}));

    sim.Command("fault slow");
    EXPECT_EQ(line.Transact(request, 7), kSerialReply);  // 300 ms later
    EXPECT_EQ(sim.Log().front(), "OPEN");
}

TEST(SimProcess, FaultFromTheCommandLine) {
    SimProcess sim({.config = "", .args = {"--fault", "wrongaddr", "--address", "200"}});
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    EXPECT_EQ(line.Transact(ReadRequest(200, 4, 0, 1), 7), Frame({201, 4, 2, 0x5A, 0x21}));
}

TEST(SimProcess, NoiseComesBeforeTheReply) {
    SimProcess sim({.config = "", .args = {"--fault", "noise", "--log"}});
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    line.Send(ReadRequest(1, 4, 2, 1));
    ASSERT_TRUE(sim.WaitForLog(Has("REQ 4 2 1"), 5s));
    // Noise plus reply arrive in one write; collect up to the longest possible answer.
    std::vector<uint8_t> reply = line.Receive(7 + 4, 1000ms);
    ASSERT_GT(reply.size(), 7u);
    ASSERT_LE(reply.size(), 11u);
    EXPECT_TRUE(std::equal(kSerialReply.begin(), kSerialReply.end(), reply.end() - 7));
}

TEST(SimProcess, DetectsOpenAndClose) {
    SimProcess sim({.config = "", .args = {"--log"}});
    {
        RawLine line(sim.PtyPath());
        ASSERT_TRUE(line.IsOpen());
        ASSERT_TRUE(sim.WaitForLog(Has("OPEN"), 5s));
    }
    ASSERT_TRUE(sim.WaitForLog(Has("CLOSE"), 5s));
    sim.ClearLog();
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(sim.WaitForLog(Has("OPEN"), 5s));
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 2, 1), 7), kSerialReply);
    ASSERT_TRUE(sim.WaitForLog(Has("REQ 4 2 1"), 5s));
    EXPECT_EQ(sim.Log(), (std::vector<std::string>{"OPEN", "REQ 4 2 1"}));
}

// Programs that open, ask and close in quick succession are all answered, whether or not the
// simulator saw the pty hang up in between.
TEST(SimProcess, QuickReopeningIsServed) {
    SimProcess sim({.config = "", .args = {"--log"}});
    int answered = 0;
    for (int i = 0; i < 25; ++i) {
        RawLine line(sim.PtyPath());
        answered += line.Transact(ReadRequest(1, 4, 2, 1), 7) == kSerialReply ? 1 : 0;
    }
    EXPECT_EQ(answered, 25);
    const auto allLogged = [](const std::vector<std::string>& log) {
        return std::count(log.begin(), log.end(), "REQ 4 2 1") == 25 &&
               std::find(log.begin(), log.end(), "CLOSE") != log.end();
    };
    EXPECT_TRUE(sim.WaitForLog(allLogged, 5s));
    const std::vector<std::string> log = sim.Log();
    EXPECT_EQ(log.front(), "OPEN");
}

// A program opens the port as the recorder does (exclusive, flushed) and asks at once, at
// different moments relative to the simulator's noticing the previous close.
TEST(SimProcess, ExclusiveOpenerIsAnsweredAtOnceAndReleasedOnClose) {
    SimProcess sim({.config = "", .args = {"--log"}});
    for (int pauseMs = 0; pauseMs <= 40; pauseMs += 5) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        {
            RawLine line(sim.PtyPath());
            ASSERT_TRUE(line.IsOpen()) << "after " << pauseMs << " ms: " << std::strerror(errno);
            ASSERT_EQ(ioctl(line.Fd(), TIOCEXCL), 0);
            tcflush(line.Fd(), TCIOFLUSH);
            EXPECT_EQ(line.Transact(ReadRequest(1, 4, 2, 1), 7), kSerialReply)
                << "after " << pauseMs << " ms";
        }
        ASSERT_TRUE(sim.WaitForLog(Has("CLOSE"), 5s));
        sim.ClearLog();
    }
    // A real adapter forgets the flag at its last close; so must the pty, or a program without
    // privileges that comes next gets "busy". (Root could open it anyway, so ask the flag.)
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen()) << std::strerror(errno);
    int exclusive = -1;
    ASSERT_EQ(ioctl(line.Fd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
}

TEST(SimProcess, RepliesDoNotLeakToTheNextOpener) {
    SimProcess sim({.config = "", .args = {"--log", "--fault", "slow", "--slow-ms", "200"}});
    {
        RawLine line(sim.PtyPath());
        line.Send(ReadRequest(1, 4, 0, 1));
        ASSERT_TRUE(sim.WaitForLog(Has("REQ 4 0 1"), 5s));
    }  // closed before the slow reply is due
    ASSERT_TRUE(sim.WaitForLog(Has("CLOSE"), 5s));
    sim.Command("fault none");
    RawLine line(sim.PtyPath());
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 2, 1), 7), kSerialReply);
}

TEST(SimProcess, LinksToThePty) {
    const fs::path folder = TempFolder("links");
    {
        SimProcess sim({.config = "", .args = {"--link", (folder / "com12").string()}});
        EXPECT_EQ(fs::read_symlink(folder / "com12"), sim.PtyPath());
        sim.LinkAs(folder / "more", 3);
        EXPECT_EQ(fs::read_symlink(folder / "more" / "com3"), sim.PtyPath());
        RawLine line((folder / "more" / "com3").string());
        EXPECT_EQ(line.Transact(ReadRequest(1, 4, 2, 1), 7), kSerialReply);
    }
    // Both links go with the simulator.
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "com12")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "more" / "com3")));
    fs::remove_all(folder);
}

TEST(SimProcess, WireSpeedRepliesAreWholeAndPaced) {
    SimProcess sim({.config = "input 1 type=7 values=1,2,3,4,5,6,7,8",
                    .args = {"--wire-speed", "--baud", "1200"}});
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    ASSERT_EQ(line.Transact(ReadRequest(1, 4, 0, 1), 7).size(), 7u);  // the sim sees the line open
    const auto start = std::chrono::steady_clock::now();
    const std::vector<uint8_t> reply = line.Transact(ReadRequest(1, 4, 140, 16), 37);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(reply.size(), 37u);
    EXPECT_EQ(reply[2], 32);
    EXPECT_TRUE(reference::CrcHolds(reply));
    // 37 bytes of 10 bits at 1200 bit/s cannot arrive in less than about 308 ms.
    EXPECT_GE(elapsed, 300ms);
}

TEST(SimProcess, BadConfigIsReported) {
    EXPECT_THROW(SimProcess({.config = "input 1 type=", .args = {}}), std::runtime_error);
    EXPECT_THROW(SimProcess({.config = "", .args = {"--fault", "sometimes"}}), std::runtime_error);
}

// The fixture is used from test threads while its reader thread collects the log.
TEST(SimProcess, CommandsAndRequestsFromSeveralThreads) {
    SimProcess sim({.config = "", .args = {"--log"}});
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    constexpr int kRounds = 40;
    std::thread commander([&] {
        for (int i = 1; i <= kRounds; ++i)
            sim.Command("reg 6 " + std::to_string(i));
    });
    int answered = 0;
    uint16_t last = 0;
    bool increasing = true;
    for (int i = 0; i < kRounds; ++i) {
        const std::vector<uint8_t> reply = line.Transact(ReadRequest(1, 3, 6, 1), 7);
        if (reply.size() != 7)
            continue;
        ++answered;
        const uint16_t value = static_cast<uint16_t>(reply[3] << 8 | reply[4]);
        increasing = increasing && value >= last;
        last = value;
    }
    commander.join();
    EXPECT_EQ(answered, kRounds);
    EXPECT_TRUE(increasing);
    EXPECT_EQ(line.Transact(ReadRequest(1, 3, 6, 1), 7), Frame({1, 3, 2, 0, kRounds}));
    EXPECT_TRUE(sim.WaitForLog(
        [](const auto& log) {
            return std::count(log.begin(), log.end(), "REQ 3 6 1") == kRounds + 1;
        },
        5s));
}

// --device: the simulator answers on an existing serial device (here one end of a socat pty pair).
TEST(SimProcess, AnswersOnAGivenDevice) {
    if (!fs::exists("/usr/bin/socat"))
        GTEST_SKIP() << "socat is not installed";
    const fs::path folder = TempFolder("device");
    fs::create_directories(folder);
    const std::string sideA = (folder / "a").string(), sideB = (folder / "b").string();
    std::vector<std::string> args{"socat", "pty,raw,echo=0,link=" + sideA,
                                  "pty,raw,echo=0,link=" + sideB};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t socat = -1;
    ASSERT_EQ(posix_spawn(&socat, "/usr/bin/socat", nullptr, nullptr, argv.data(), environ), 0);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!(fs::exists(sideA) && fs::exists(sideB)) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);  // socat gives no other sign that its links are there
    }
    {
        SimProcess sim({.config = "", .args = {"--device", sideA, "--address", "3"}});
        EXPECT_EQ(sim.PtyPath(), sideA);
        RawLine line(sideB);
        ASSERT_TRUE(line.IsOpen());
        EXPECT_EQ(line.Transact(ReadRequest(3, 4, 0, 1), 7), Frame({3, 4, 2, 0x5A, 0x21}));
    }
    kill(socat, SIGTERM);
    waitpid(socat, nullptr, 0);
    fs::remove_all(folder);
}
