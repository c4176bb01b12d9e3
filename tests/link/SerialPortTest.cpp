#include "link/SerialPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "link/GenericDriver.h"
#include "tests/link/PtyPeer.h"
#include "tests/support/CpuTime.h"

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

class RecordingOwner : public CGenericDriver {
public:
    void OnByteReceived(uint8_t byte) override {
        {
            std::lock_guard guard(mutex);
            bytes.push_back(byte);
            threads.insert(std::this_thread::get_id());
        }
        arrived.notify_all();
    }
    bool WaitFor(size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock guard(mutex);
        return arrived.wait_for(guard, timeout, [&] { return bytes.size() >= count; });
    }
    Bytes Received() {
        std::lock_guard guard(mutex);
        return bytes;
    }
    std::set<std::thread::id> Threads() {
        std::lock_guard guard(mutex);
        return threads;
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    Bytes bytes;
    std::set<std::thread::id> threads;
};

bool OpenCom(CSerialPort& port, CGenericDriver* owner, int number) {
    return port.Open(owner, number, 9600, 'N', 8, 1, kEventRxChar, 512);
}

}  // namespace

TEST(SerialPort, OpenFailsWithoutATerminalAndStartsNoThread) {
    TempPortsFolder ports;
    ports.Link(7, ports.Dir() / "missing");
    ports.Link(8, "/dev/null");
    RecordingOwner owner;
    struct Case {
        int number;
        int error;
    } cases[] = {{150, ENOENT}, {7, ENOENT}, {8, ENOTTY}};
    for (const Case& c : cases) {
        CSerialPort port;
        EXPECT_FALSE(OpenCom(port, &owner, c.number)) << c.number;
        EXPECT_EQ(port.LastOpenError(), c.error) << c.number;
        EXPECT_FALSE(port.StartReceiveThread()) << c.number;
        EXPECT_FALSE(port.ThreadRunning()) << c.number;
    }
}

TEST(SerialPort, PortInUseFailsToOpen) {
    PtyPeer peer;
    TempPortsFolder ports;
    ports.Link(3, peer.SlavePath());
    RecordingOwner owner;
    {
        CSerialPort first;
        ASSERT_TRUE(OpenCom(first, &owner, 3));
        CSerialPort second;
        EXPECT_FALSE(OpenCom(second, &owner, 3));
        EXPECT_EQ(second.LastOpenError(), EBUSY);
    }
    // Another program holding the device (its own open file description).
    int other = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    {
        CSerialPort port;
        EXPECT_FALSE(OpenCom(port, &owner, 3));
    }
    ::close(other);
    CSerialPort port;
    EXPECT_TRUE(OpenCom(port, &owner, 3));
    EXPECT_EQ(port.LastOpenError(), 0);
}

TEST(SerialPort, DeliversEveryByteInOrderOnItsThread) {
    PtyPeer peer;
    TempPortsFolder ports;
    ports.Link(3, peer.SlavePath());
    RecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(OpenCom(port, &owner, 3));
    ASSERT_TRUE(port.StartReceiveThread());

    // Anything queued is sent as given, at most 256 bytes of it.
    Bytes request{0x01, 0x04, 0x00, 0x64, 0x00, 0x01, 0x70, 0x15};
    port.QueueWrite(request.data(), static_cast<int>(request.size()));
    EXPECT_EQ(peer.Read(8, 3s), request);
    Bytes big(300);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i * 7);
    port.QueueWrite(big.data(), static_cast<int>(big.size()));
    EXPECT_EQ(peer.Read(300, 300ms), Bytes(big.begin(), big.begin() + 256));

    Bytes sent(600);
    for (size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<uint8_t>(i % 251);
    peer.Write(sent);
    ASSERT_TRUE(owner.WaitFor(sent.size(), 3s));
    EXPECT_EQ(owner.Received(), sent);
    auto threads = owner.Threads();
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST(SerialPort, SuspendedThreadSendsNothingAndDestructionEndsIt) {
    PtyPeer peer;
    TempPortsFolder ports;
    ports.Link(3, peer.SlavePath());
    RecordingOwner owner;
    auto port = std::make_unique<CSerialPort>();
    ASSERT_TRUE(OpenCom(*port, &owner, 3));
    ASSERT_TRUE(port->StartReceiveThread());
    port->SuspendReceiveThread();

    Bytes frame{0x01, 0x06, 0x00, 0x06, 0x01, 0x00, 0x68, 0x5B};
    port->QueueWrite(frame.data(), static_cast<int>(frame.size()));
    peer.Write({0x11, 0x22});
    EXPECT_TRUE(peer.Read(1, 300ms).empty());
    EXPECT_FALSE(owner.WaitFor(1, 100ms));
    EXPECT_TRUE(port->ThreadRunning());

    auto start = std::chrono::steady_clock::now();
    port.reset();  // shutdown wins over the pending write
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(peer.Read(1, 100ms).empty());
    EXPECT_TRUE(owner.Received().empty());
}

TEST(SerialPort, HangUpDoesNotSpinAndThePortComesBack) {
    auto first = std::make_unique<PtyPeer>();
    TempPortsFolder ports;
    ports.Link(9, first->SlavePath());
    RecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(OpenCom(port, &owner, 9));
    ASSERT_TRUE(port.StartReceiveThread());
    const Bytes probe{0xA5};
    port.QueueWrite(probe.data(), 1);  // once it is sent, the thread's start-up purge is over
    ASSERT_EQ(first->Read(1, 3s), probe);
    first->Write({0x42});
    ASSERT_TRUE(owner.WaitFor(1, 3s));

    // The adapter is unplugged: its name goes first, so that the reopen cannot reach a
    // pseudo-terminal that another test creates under the freed number meanwhile.
    ports.Link(9, ports.Dir() / "unplugged");
    first.reset();
    auto cpuBefore = ProcessCpuTime();
    std::this_thread::sleep_for(2s);  // measurement window
    auto cpuUsed = ProcessCpuTime() - cpuBefore;
    EXPECT_LT(cpuUsed, 300ms) << "the receive thread spins after a hang-up";
    EXPECT_TRUE(port.ThreadRunning());

    PtyPeer second;
    ports.Link(9, second.SlavePath());
    // The port reopens the same path within about a second; until then writes are dropped.
    bool connected = false;
    for (int attempt = 0; attempt < 20 && !connected; ++attempt) {
        port.QueueWrite(probe.data(), 1);
        connected = second.Read(1, 250ms) == probe;
    }
    ASSERT_TRUE(connected);
    second.Write({0x43, 0x44});
    ASSERT_TRUE(owner.WaitFor(3, 3s));
    EXPECT_EQ(owner.Received(), (Bytes{0x42, 0x43, 0x44}));
}
