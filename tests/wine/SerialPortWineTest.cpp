// CSerialPort's Windows implementation against the simulated concentrator on a wine COM port.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/GenericDriver.h"
#include "link/SerialPort.h"
#include "tests/support/ReferenceCrc.h"
#include "tests/wine/WineSim.h"

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

class RecordingOwner : public CGenericDriver {
public:
    void OnByteReceived(uint8_t byte) override {
        {
            std::lock_guard guard(mutex);
            bytes.push_back(byte);
            ++calls;
            threads.insert(std::this_thread::get_id());
        }
        changed.notify_all();
    }
    void OnLinkStateChanged(bool connected) override {
        {
            std::lock_guard guard(mutex);
            states.push_back(connected);
        }
        changed.notify_all();
    }
    bool WaitForBytes(size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock guard(mutex);
        return changed.wait_for(guard, timeout, [&] { return bytes.size() >= count; });
    }
    bool WaitForState(bool connected, std::chrono::milliseconds timeout) {
        std::unique_lock guard(mutex);
        return changed.wait_for(guard, timeout,
                                [&] { return !states.empty() && states.back() == connected; });
    }
    Bytes Take() {
        std::lock_guard guard(mutex);
        Bytes taken;
        taken.swap(bytes);
        return taken;
    }
    size_t Calls() {
        std::lock_guard guard(mutex);
        return calls;
    }
    std::set<std::thread::id> Threads() {
        std::lock_guard guard(mutex);
        return threads;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    Bytes bytes;
    size_t calls = 0;
    std::vector<bool> states;
    std::set<std::thread::id> threads;
};

Bytes ReadRequest(uint8_t function, uint16_t reg, uint16_t quantity) {
    Bytes frame{1,
                function,
                static_cast<uint8_t>(reg >> 8),
                static_cast<uint8_t>(reg),
                static_cast<uint8_t>(quantity >> 8),
                static_cast<uint8_t>(quantity)};
    return reference::WithCrc(std::move(frame));
}

bool OpenCom(CSerialPort& port, CGenericDriver* owner, int number) {
    return port.Open(owner, number, 9600, 'N', 8, 1, kEventRxChar, 512);
}

bool ReplyIsWhole(const Bytes& reply) {
    return reply.size() >= 5 && reference::CrcHolds(reply);
}

}  // namespace

// Replies of 7 to 255 bytes come back one call per byte, in order, on the port's own thread,
// transaction after transaction.
TEST(WineSerialPort, RoundTripsDeliverEveryByteOnceInOrder) {
    ORVEX_NEED_SIM();
    RecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(OpenCom(port, &owner, winesim::ComNumber()));
    EXPECT_EQ(port.LastOpenError(), 0);
    ASSERT_TRUE(port.StartReceiveThread());
    size_t total = 0;
    for (uint16_t quantity : {1, 2, 125, 3, 125, 1}) {
        const Bytes request = ReadRequest(4, 0, quantity);
        port.QueueWrite(request.data(), static_cast<int>(request.size()));
        const size_t length = 5u + 2u * quantity;
        ASSERT_TRUE(owner.WaitForBytes(length, 5s)) << quantity;
        const Bytes reply = owner.Take();
        total += reply.size();
        ASSERT_EQ(reply.size(), length) << quantity;
        EXPECT_TRUE(ReplyIsWhole(reply)) << quantity;
        EXPECT_EQ(reply[2], 2 * quantity);
        EXPECT_EQ(reply[3] * 256 + reply[4], 23073);  // register 0: the device's identification
    }
    EXPECT_EQ(owner.Calls(), total);
    const auto threads = owner.Threads();
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

// DTR and RTS go up with the port and down before it is closed, as a device powered from
// the lines needs.
TEST(WineSerialPort, ModemLinesRaisedAtOpenAndDroppedAtClose) {
    ORVEX_NEED_SIM();
    RecordingOwner owner;
    {
        CSerialPort port;
        ASSERT_TRUE(OpenCom(port, &owner, winesim::ComNumber()));
        ASSERT_TRUE(port.StartReceiveThread());
        const std::string lines = winesim::ReadFileOf("ORVEX_TEST_LINES_LOG");
        EXPECT_NE(lines.find("DTR=1 RTS=1"), std::string::npos) << lines;
    }
    const std::string lines = winesim::ReadFileOf("ORVEX_TEST_LINES_LOG");
    ASSERT_GT(lines.size(), 1u);
    const std::string last = lines.substr(lines.rfind('\n', lines.size() - 2) + 1);
    EXPECT_NE(last.find("DTR=0 RTS=0"), std::string::npos) << lines;
}

// A suspended thread neither sends nor delivers; destruction wakes and ends it at once, and the
// queued request never reaches the line.
TEST(WineSerialPort, ShutdownWinsOverAPendingWriteAndEndsWithinASecond) {
    ORVEX_NEED_SIM();
    RecordingOwner owner;
    auto port = std::make_unique<CSerialPort>();
    ASSERT_TRUE(OpenCom(*port, &owner, winesim::ComNumber()));
    ASSERT_TRUE(port->StartReceiveThread());
    port->SuspendReceiveThread();
    const Bytes unsent = ReadRequest(4, 42, 2);
    port->QueueWrite(unsent.data(), static_cast<int>(unsent.size()));
    EXPECT_TRUE(port->ThreadRunning());
    const auto start = std::chrono::steady_clock::now();
    port.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);

    // A later transaction on a new port: once its reply is in, the simulator has logged every
    // request it received before.
    CSerialPort next;
    ASSERT_TRUE(OpenCom(next, &owner, winesim::ComNumber()));
    ASSERT_TRUE(next.StartReceiveThread());
    const Bytes marker = ReadRequest(4, 2, 1);
    next.QueueWrite(marker.data(), static_cast<int>(marker.size()));
    ASSERT_TRUE(owner.WaitForBytes(7, 5s));
    std::vector<std::string> requests;
    for (int i = 0; i < 50 && requests.empty(); ++i) {
        requests = winesim::SimLines("REQ 4 2 ");
        if (requests.empty())
            std::this_thread::sleep_for(20ms);  // the log is a file: no condition to wait on
    }
    EXPECT_EQ(requests.size(), 1u);
    EXPECT_TRUE(winesim::SimLines("REQ 4 42 ").empty());
}

TEST(WineSerialPort, AbsentPortFailsToOpenAndLeavesNoThread) {
    RecordingOwner owner;
    const int threadsBefore = winesim::ThreadCount();
    for (int number : {250, 0, 257}) {
        CSerialPort port;
        EXPECT_FALSE(OpenCom(port, &owner, number)) << number;
        EXPECT_EQ(port.LastOpenError(), ERROR_FILE_NOT_FOUND) << number;
        EXPECT_FALSE(port.StartReceiveThread()) << number;
        EXPECT_FALSE(port.ThreadRunning()) << number;
    }
    EXPECT_EQ(winesim::ThreadCount(), threadsBefore);
}

// The simulator ends: its pseudo-terminal hangs up under the open port. The port reports the
// loss, keeps its thread and tries to reopen about once a second without spinning.
TEST(WineSerialPort, VanishedDeviceIsReportedAndDoesNotSpin) {
    ORVEX_NEED_SIM();
    RecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(OpenCom(port, &owner, winesim::ComNumber()));
    ASSERT_TRUE(port.StartReceiveThread());
    const Bytes request = ReadRequest(4, 0, 1);
    port.QueueWrite(request.data(), static_cast<int>(request.size()));
    ASSERT_TRUE(owner.WaitForBytes(7, 5s));

    ASSERT_TRUE(winesim::EndSimulator());
    // Noticed at the latest by the next write.
    bool lost = false;
    for (int i = 0; i < 10 && !lost; ++i) {
        port.QueueWrite(request.data(), static_cast<int>(request.size()));
        lost = owner.WaitForState(false, 1s);
    }
    ASSERT_TRUE(lost);
    const auto cpuBefore = winesim::ProcessCpuTime();
    std::this_thread::sleep_for(3s);  // measurement window
    const auto cpuUsed = winesim::ProcessCpuTime() - cpuBefore;
    std::printf("CPU time over 3 s after the device vanished: %lld us\n",
                static_cast<long long>(cpuUsed.count()));
    EXPECT_LT(cpuUsed, 300ms) << "the receive thread spins after the device vanished";
    EXPECT_TRUE(port.ThreadRunning());
    port.QueueWrite(request.data(), static_cast<int>(request.size()));  // dropped, harmless
}
