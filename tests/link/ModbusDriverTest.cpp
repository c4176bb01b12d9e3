#include "link/ModbusDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

#include "tests/link/PtyPeer.h"

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

RegisterRequest Request(uint32_t reg, int kind, uint32_t value = 0) {
    RegisterRequest request;
    request.reg = reg;
    request.kind = static_cast<ValueKind>(kind);
    request.value = value;
    return request;
}

}  // namespace

class ModbusDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ports.Link(7, peer.SlavePath());
        ASSERT_TRUE(master.OpenPort(7, 19200, 'E'));
    }

    struct Outcome {
        Bytes request;  // what the device received
        int result;
        std::chrono::milliseconds elapsed;
    };

    // Runs call while the device reads one request and answers with the pieces, 20 ms apart.
    Outcome Exchange(const std::function<int()>& call, const std::vector<Bytes>& pieces) {
        Outcome outcome{};
        std::thread device([&] {
            outcome.request = peer.Read(8, 3s);
            for (size_t i = 0; i < pieces.size(); ++i) {
                if (i > 0)
                    std::this_thread::sleep_for(20ms);
                peer.Write(pieces[i]);
            }
        });
        auto start = std::chrono::steady_clock::now();
        outcome.result = call();
        outcome.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        device.join();
        return outcome;
    }

    Outcome ReadInput(RegisterRequest& request, const std::vector<Bytes>& pieces) {
        return Exchange([&] { return master.ReadInputRegisters(1, request); }, pieces);
    }

    PtyPeer peer;
    TempPortsFolder ports;
    CModbusDriver master;
};

TEST_F(ModbusDriverTest, RequestFramesOnTheWire) {
    RegisterRequest word = Request(100, KindWord);
    Outcome read = ReadInput(word, {WithCrc({0x01, 0x04, 0x02, 0x12, 0x34})});
    EXPECT_EQ(read.request, (Bytes{0x01, 0x04, 0x00, 0x64, 0x00, 0x01, 0x70, 0x15}));
    EXPECT_EQ(read.result, ResultOk);
    EXPECT_EQ(word.value, 0x1234u);

    RegisterRequest pair = Request(100, KindFloat);
    Outcome holding = Exchange([&] { return master.ReadHoldingRegisters(1, pair); },
                               {WithCrc({0x01, 0x03, 0x04, 0x00, 0x00, 0x3F, 0x80})});
    EXPECT_EQ(holding.request, (Bytes{0x01, 0x03, 0x00, 0x64, 0x00, 0x02, 0x85, 0xD4}));
    EXPECT_EQ(holding.result, ResultOk);
    EXPECT_EQ(pair.floatValue, 1.0);

    // The written value goes low byte first; the device echoes the request.
    const Bytes write{0x01, 0x06, 0x00, 0x06, 0x01, 0x00, 0x68, 0x5B};
    RegisterRequest one = Request(6, KindWord, 1);
    Outcome echo = Exchange([&] { return master.WriteRegister(1, one); }, {write});
    EXPECT_EQ(echo.request, write);
    EXPECT_EQ(echo.result, ResultOk);
    EXPECT_EQ(one.value, 1u);
}

TEST_F(ModbusDriverTest, BadKindsSendNothing) {
    for (int kind : {0, 4, -1}) {
        RegisterRequest request = Request(10, kind);
        EXPECT_EQ(master.ReadInputRegisters(1, request), ResultBadKind) << kind;
        EXPECT_EQ(master.ReadHoldingRegisters(1, request), ResultBadKind) << kind;
    }
    for (int kind : {2, 3, 0}) {
        RegisterRequest request = Request(10, kind, 5);
        EXPECT_EQ(master.WriteRegister(1, request), ResultBadKind) << kind;
    }
    // The first bytes the device sees belong to the next valid request.
    RegisterRequest word = Request(100, KindWord);
    Outcome read = ReadInput(word, {WithCrc({0x01, 0x04, 0x02, 0x00, 0x07})});
    EXPECT_EQ(read.request, (Bytes{0x01, 0x04, 0x00, 0x64, 0x00, 0x01, 0x70, 0x15}));
    EXPECT_EQ(read.result, ResultOk);
}

TEST_F(ModbusDriverTest, DecodesEachKind) {
    struct Case {
        int kind;
        Bytes data;
        double expected;
    } cases[] = {
        {KindWord, {0xFF, 0xFE}, 0xFFFE},
        {KindDword, {0x12, 0x34, 0x56, 0x78}, 0x56781234},
        {KindFloat, {0x00, 0x00, 0x3F, 0x80}, 1.0},
        {KindFloat, {0x00, 0x00, 0xC0, 0x00}, -2.0},
        {KindFloat, {0x00, 0x00, 0x00, 0x00}, 0.0},
        {KindFloat, {0xFF, 0xFF, 0x7F, 0xFF}, 0.0},
        // Exponent 0 still gets the leading 1; exponent 255 stays a finite number.
        {KindFloat, {0x00, 0x01, 0x00, 0x00}, std::ldexp(8388609.0, -150)},
        {KindFloat, {0x00, 0x00, 0x7F, 0x80}, std::ldexp(1.0, 128)},
        {KindFloat, {0x00, 0x00, 0xFF, 0xC0}, -std::ldexp(12582912.0, 105)},
    };
    for (const Case& c : cases) {
        RegisterRequest request = Request(40, c.kind);
        Bytes reply{0x01, 0x04, static_cast<uint8_t>(c.data.size())};
        reply.insert(reply.end(), c.data.begin(), c.data.end());
        Outcome outcome = ReadInput(request, {WithCrc(reply)});
        ASSERT_EQ(outcome.result, ResultOk) << c.kind;
        if (c.kind == KindFloat) {
            EXPECT_EQ(request.floatValue, c.expected);
            EXPECT_TRUE(std::isfinite(request.floatValue));
        } else {
            EXPECT_EQ(request.value, static_cast<uint32_t>(c.expected));
        }
    }
}

TEST_F(ModbusDriverTest, RejectsRepliesThatDoNotFitTheRequest) {
    struct Case {
        const char* what;
        int kind;
        Bytes reply;
    } cases[] = {
        {"other slave", KindWord, WithCrc({0x02, 0x04, 0x02, 0x00, 0x01})},
        {"other function", KindWord, WithCrc({0x01, 0x03, 0x02, 0x00, 0x01})},
        {"four bytes for one register", KindWord,
         WithCrc({0x01, 0x04, 0x04, 0x00, 0x01, 0x00, 0x02})},
        {"two bytes for two registers", KindDword, WithCrc({0x01, 0x04, 0x02, 0x00, 0x01})},
        {"no bytes", KindFloat, WithCrc({0x01, 0x04, 0x00})},
    };
    for (const Case& c : cases) {
        RegisterRequest request = Request(3, c.kind, 77);
        request.floatValue = 7.5;
        Outcome outcome = ReadInput(request, {c.reply});
        EXPECT_EQ(outcome.result, ResultBadReply) << c.what;
        EXPECT_EQ(request.value, 77u) << c.what;
        EXPECT_EQ(request.floatValue, 7.5) << c.what;
        EXPECT_LT(outcome.elapsed, 3s) << c.what;
    }

    RegisterRequest write = Request(6, KindWord, 1);
    Outcome echo = Exchange([&] { return master.WriteRegister(1, write); },
                            {WithCrc({0x01, 0x06, 0x00, 0x06, 0x02, 0x00})});
    EXPECT_EQ(echo.result, ResultBadReply);
}

// A reply that fails its CRC cannot be told from noise until the wait is over; then it is
// reported as a bad reply, not as silence.
TEST_F(ModbusDriverTest, DamagedReplyIsABadReplyAfterTheWait) {
    RegisterRequest request = Request(3, KindWord, 77);
    Outcome outcome = ReadInput(request, {{0x01, 0x04, 0x02, 0x00, 0x01, 0x00, 0x00}});
    EXPECT_EQ(outcome.result, ResultBadReply);
    EXPECT_GE(outcome.elapsed, 5s);
    EXPECT_EQ(request.value, 77u);
}

// Line noise, or the line's echo of the request, before a reply: the reply is still found.
TEST_F(ModbusDriverTest, StrayBytesBeforeTheReplyAreSkipped) {
    const Bytes request{0x01, 0x04, 0x00, 0x64, 0x00, 0x01, 0x70, 0x15};
    const Bytes reply = WithCrc({0x01, 0x04, 0x02, 0x12, 0x34});
    struct Case {
        const char* what;
        Bytes before;
    } cases[] = {
        {"one byte", {0x00}},
        {"address and function", {0x01, 0x04}},
        {"a frame start with a byte count", {0x01, 0x04, 0x02}},
        {"four bytes", {0xFF, 0x01, 0x04, 0x04}},
        {"a frame start that can never complete", {0x01, 0x04, 0xF0}},
        {"a frame start for another address", {0x05, 0x04, 0x02}},
        {"the request", request},
        {"the request and noise",
         [&] {
             Bytes b = request;
             b.push_back(0x7E);
             return b;
         }()},
    };
    for (const Case& c : cases) {
        Bytes line = c.before;
        line.insert(line.end(), reply.begin(), reply.end());
        RegisterRequest word = Request(100, KindWord);
        // Whole, and byte by byte as a slow line delivers it.
        for (bool pieces : {false, true}) {
            std::vector<Bytes> sent{line};
            if (pieces) {
                sent.clear();
                for (uint8_t b : line)
                    sent.push_back({b});
            }
            word.value = 0;
            Outcome outcome = ReadInput(word, sent);
            EXPECT_EQ(outcome.request, request) << c.what;
            EXPECT_EQ(outcome.result, ResultOk) << c.what << (pieces ? " in pieces" : "");
            EXPECT_EQ(word.value, 0x1234u) << c.what;
        }
    }
    // Nothing that fails the CRC is taken, wherever it starts.
    RegisterRequest word = Request(100, KindWord);
    Outcome outcome = ReadInput(word, {{0x00, 0x01, 0x04, 0x02, 0x12, 0x34, 0x00, 0x00}});
    EXPECT_EQ(outcome.result, ResultTimeout);
}

// On a line that echoes, a write's echo is the request itself: the device's copy is the one
// that counts, once the line is known to echo.
TEST_F(ModbusDriverTest, WriteOnAnEchoingLineIsJudgedByTheDevicesCopy) {
    const Bytes write = WithCrc({0x01, 0x06, 0x00, 0x06, 0x01, 0x00});
    const Bytes refused = WithCrc({0x01, 0x86, 0x02});
    RegisterRequest one = Request(6, KindWord, 1);
    // Not known to echo yet: the first copy is taken as the reply.
    Outcome first = Exchange([&] { return master.WriteRegister(1, one); }, {write});
    EXPECT_EQ(first.result, ResultOk);

    const Bytes readRequest = WithCrc({0x01, 0x04, 0x00, 0x01, 0x00, 0x01});
    RegisterRequest word = Request(1, KindWord);
    Outcome read = ReadInput(word, {readRequest, WithCrc({0x01, 0x04, 0x02, 0x00, 0x09})});
    ASSERT_EQ(read.result, ResultOk);
    ASSERT_EQ(word.value, 9u);

    Outcome second = Exchange([&] { return master.WriteRegister(1, one); }, {write, refused});
    EXPECT_EQ(second.result, ResultBadReply);
    Outcome third = Exchange([&] { return master.WriteRegister(1, one); }, {write, write});
    EXPECT_EQ(third.result, ResultOk);
}

// A stop must not wait for a slow or silent device: Cancel ends the wait and every request
// after it fails at once, until the port is opened again.
TEST_F(ModbusDriverTest, CancelEndsTheTransactionInProgress) {
    RegisterRequest request = Request(1, KindWord);
    int result = -1;
    std::chrono::steady_clock::duration elapsed{};
    std::thread caller([&] {
        auto start = std::chrono::steady_clock::now();
        result = master.ReadInputRegisters(1, request);
        elapsed = std::chrono::steady_clock::now() - start;
    });
    const bool requestSeen = peer.Read(8, 3s).size() == 8;
    master.Cancel();
    // Joined before any assertion can return: a running thread left behind ends the program.
    caller.join();
    ASSERT_TRUE(requestSeen);
    EXPECT_EQ(result, ResultTimeout);
    EXPECT_LT(elapsed, 4s);  // the wait alone would take 5.5 s
    EXPECT_FALSE(master.LinkUp());

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(master.ReadInputRegisters(1, request), ResultTimeout);
    EXPECT_TRUE(peer.Read(1, 200ms).empty());  // nothing was sent
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

    ASSERT_TRUE(master.OpenPort(7, 19200, 'E'));
    Outcome outcome = ReadInput(request, {WithCrc({0x01, 0x04, 0x02, 0x00, 0x05})});
    EXPECT_EQ(outcome.result, ResultOk);
}

// One caller giving up (the alarm service on a stop) ends only its own request, whether it is
// still waiting for its turn or already for the reply; the others' turns go on in order.
TEST_F(ModbusDriverTest, AnAbandonedRequestEndsAloneAndTheTurnsGoOn) {
    RegisterRequest first = Request(1, KindWord);
    std::atomic<bool> giveUpQueued{false};
    RegisterRequest queued = Request(2, KindWord);
    queued.abandon = &giveUpQueued;
    int firstResult = -1;
    int queuedResult = -1;
    std::thread owner([&] { firstResult = master.ReadInputRegisters(1, first); });
    const Bytes firstFrame = peer.Read(8, 3s);  // the first holds the turn from here on
    std::thread waiter([&] { queuedResult = master.ReadInputRegisters(1, queued); });
    // The waiter may not have taken its number yet when the flag is set: either way it must
    // end without sending, which is all that is checked.
    giveUpQueued = true;
    master.WakeAbandoned();
    waiter.join();
    EXPECT_EQ(queuedResult, ResultTimeout);
    peer.Write(WithCrc({0x01, 0x04, 0x02, 0x00, 0x07}));
    owner.join();
    ASSERT_EQ(firstFrame.size(), 8u);
    EXPECT_EQ(firstResult, ResultOk);
    EXPECT_EQ(first.value, 7u);

    // The abandoned number is skipped: the next caller is served.
    RegisterRequest next = Request(3, KindWord);
    Outcome after = ReadInput(next, {WithCrc({0x01, 0x04, 0x02, 0x00, 0x09})});
    EXPECT_EQ(after.request, (Bytes{0x01, 0x04, 0x00, 0x03, 0x00, 0x01, 0xC1, 0xCA}));
    EXPECT_EQ(after.result, ResultOk);

    // Given up while waiting for the reply of a silent device: ends well before the time-out,
    // and the link stays up for the others.
    std::atomic<bool> giveUp{false};
    RegisterRequest silent = Request(4, KindWord);
    silent.abandon = &giveUp;
    int silentResult = -1;
    std::chrono::steady_clock::duration elapsed{};
    std::thread caller([&] {
        auto start = std::chrono::steady_clock::now();
        silentResult = master.ReadInputRegisters(1, silent);
        elapsed = std::chrono::steady_clock::now() - start;
    });
    const bool requestSeen = peer.Read(8, 3s).size() == 8;
    giveUp = true;
    master.WakeAbandoned();
    caller.join();
    ASSERT_TRUE(requestSeen);
    EXPECT_EQ(silentResult, ResultTimeout);
    EXPECT_LT(elapsed, 4s);  // the wait alone would take 5.5 s
    EXPECT_TRUE(master.LinkUp());
}

// While the adapter is unplugged requests fail at once; after the port has reopened by
// itself they go out again.
TEST(ModbusDriverLink, RequestsFailAtOnceWhileHungUpAndGoOutAfterTheReopen) {
    auto first = std::make_unique<PtyPeer>();
    TempPortsFolder ports;
    ports.Link(7, first->SlavePath());
    CModbusDriver master;
    ASSERT_TRUE(master.OpenPort(7, 9600, 'N'));
    EXPECT_TRUE(master.LinkUp());

    // Unplugged in the middle of a transaction: the wait ends with the hang-up.
    int result = -1;
    std::chrono::steady_clock::duration elapsed{};
    std::thread caller([&] {
        RegisterRequest request = Request(1, KindWord);
        auto start = std::chrono::steady_clock::now();
        result = master.ReadInputRegisters(1, request);
        elapsed = std::chrono::steady_clock::now() - start;
    });
    const size_t requestBytes = first->Read(8, 3s).size();
    ports.Link(7, ports.Dir() / "unplugged");
    first.reset();
    caller.join();
    ASSERT_EQ(requestBytes, 8u);
    EXPECT_EQ(result, ResultTimeout);
    EXPECT_LT(elapsed, 4s);
    EXPECT_FALSE(master.LinkUp());

    for (int i = 0; i < 3; ++i) {
        RegisterRequest request = Request(1, KindWord);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(master.ReadInputRegisters(1, request), ResultTimeout);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    }
    EXPECT_FALSE(master.WaitForLink(100ms));

    PtyPeer second;
    ports.Link(7, second.SlavePath());
    ASSERT_TRUE(master.WaitForLink(5s));
    std::thread device([&] {
        if (second.Read(8, 3s).size() == 8)
            second.Write(WithCrc({0x01, 0x04, 0x02, 0x00, 0x2A}));
    });
    RegisterRequest request = Request(1, KindWord);
    EXPECT_EQ(master.ReadInputRegisters(1, request), ResultOk);
    EXPECT_EQ(request.value, 42u);
    device.join();
}

TEST_F(ModbusDriverTest, WriteEchoInPiecesIsJudgedWhenComplete) {
    RegisterRequest write = Request(0x0102, KindWord, 0xBEEF);
    Bytes frame = WithCrc({0x01, 0x06, 0x01, 0x02, 0xEF, 0xBE});
    Outcome outcome = Exchange(
        [&] { return master.WriteRegister(1, write); },
        {Bytes(frame.begin(), frame.begin() + 3), Bytes(frame.begin() + 3, frame.begin() + 5),
         Bytes(frame.begin() + 5, frame.end())});
    EXPECT_EQ(outcome.request, frame);
    EXPECT_EQ(outcome.result, ResultOk);
}

TEST_F(ModbusDriverTest, ExceptionReplyEndsTheTransactionAtOnce) {
    RegisterRequest read = Request(9, KindWord);
    Outcome outcome = ReadInput(read, {WithCrc({0x01, 0x84, 0x02})});
    EXPECT_EQ(outcome.result, ResultBadReply);
    EXPECT_LT(outcome.elapsed, 3s);

    RegisterRequest write = Request(9, KindWord, 3);
    outcome =
        Exchange([&] { return master.WriteRegister(1, write); }, {WithCrc({0x01, 0x86, 0x03})});
    EXPECT_EQ(outcome.result, ResultBadReply);
    EXPECT_LT(outcome.elapsed, 3s);

    // Also behind noise.
    Bytes noisy{0x42, 0x01};
    const Bytes exception = WithCrc({0x01, 0x84, 0x02});
    noisy.insert(noisy.end(), exception.begin(), exception.end());
    outcome = ReadInput(read, {noisy});
    EXPECT_EQ(outcome.result, ResultBadReply);
    EXPECT_LT(outcome.elapsed, 3s);
}

TEST_F(ModbusDriverTest, BufferWrapsAfter256Bytes) {
    // 256 bytes that never complete (byte count 255), then a reply that starts over at 0.
    Bytes flood(256, 0x00);
    flood[0] = 0x01;
    flood[1] = 0x04;
    flood[2] = 0xFF;
    Bytes reply = WithCrc({0x01, 0x04, 0x02, 0xAB, 0xCD});
    flood.insert(flood.end(), reply.begin(), reply.end());
    flood.resize(300, 0x55);
    RegisterRequest request = Request(1, KindWord);
    Outcome outcome = ReadInput(request, {flood});
    EXPECT_EQ(outcome.result, ResultOk);
    EXPECT_EQ(request.value, 0xABCDu);
}

TEST_F(ModbusDriverTest, NoReplyTimesOutAfterFiveToSixSeconds) {
    RegisterRequest request = Request(1, KindWord);
    Outcome outcome = ReadInput(request, {});
    EXPECT_EQ(outcome.result, ResultTimeout);
    EXPECT_GE(outcome.elapsed, 5s);
    EXPECT_LE(outcome.elapsed, 6500ms);
}

TEST_F(ModbusDriverTest, ConcurrentCallersTakeTurns) {
    std::atomic<bool> done{false};
    std::thread device([&] {
        // Answers every read with its register number, until the callers are done.
        while (!done) {
            Bytes request = peer.Read(8, 200ms);
            if (request.size() < 8)
                continue;
            peer.Write(WithCrc({request[0], request[1], 0x02, request[2], request[3]}));
        }
    });
    auto caller = [&](uint32_t firstReg, int& failures) {
        for (uint32_t reg = firstReg; reg < firstReg + 20; ++reg) {
            RegisterRequest request = Request(reg, KindWord);
            int result = (reg % 2) ? master.ReadInputRegisters(1, request)
                                   : master.ReadHoldingRegisters(1, request);
            if (result != ResultOk || request.value != reg)
                ++failures;
        }
    };
    int failuresA = 0, failuresB = 0;
    std::thread a(caller, 1000u, std::ref(failuresA));
    std::thread b(caller, 2000u, std::ref(failuresB));
    a.join();
    b.join();
    done = true;
    device.join();
    EXPECT_EQ(failuresA, 0);
    EXPECT_EQ(failuresB, 0);
}

TEST(ModbusDriverClosed, FailedOpenSendsNothingAndEndsWithTimeout) {
    TempPortsFolder ports;
    ports.Link(7, ports.Dir() / "missing");
    CModbusDriver master;
    EXPECT_FALSE(master.OpenPort(7, 9600, 'N'));
    EXPECT_EQ(master.LastOpenError(), ENOENT);
    RegisterRequest request = Request(1, KindWord);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(master.ReadInputRegisters(1, request), ResultTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    master.ClosePort();
    EXPECT_EQ(master.WriteRegister(1, request), ResultTimeout);
}
