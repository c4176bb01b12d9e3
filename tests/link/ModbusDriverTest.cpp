#include "link/ModbusDriver.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#include "link/ModbusCrc.h"
#include "tests/link/PtyPeer.h"

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

uint16_t WireCrc(const Bytes& bytes) {
    uint16_t crc = 0xFFFF;
    for (uint8_t b : bytes)
        crc = CModbusDriver::CrcUpdate(b, crc);
    return crc;
}

RegisterRequest Request(uint32_t reg, int kind, uint32_t value = 0) {
    RegisterRequest request;
    request.reg = reg;
    request.kind = static_cast<ValueKind>(kind);
    request.value = value;
    return request;
}

}  // namespace

TEST(ModbusCrc, KnownVectorsLowByteFirst) {
    struct Case {
        Bytes bytes;
        uint8_t low, high;
    } cases[] = {
        {{0x01, 0x03, 0x00, 0x12, 0x00, 0x08}, 0xE4, 0x09},
        {{0x01, 0x06, 0x00, 0x12, 0x00, 0x01}, 0xE8, 0x0F},
        {{0x11, 0x03, 0x04, 0x00, 0x8D, 0x00, 0x8E}, 0xFB, 0xBD},
        {{0x00, 0x83, 0x02}, 0x91, 0x31},
    };
    for (const Case& c : cases) {
        Bytes framed = WithCrc(c.bytes);
        EXPECT_EQ(framed[framed.size() - 2], c.low);
        EXPECT_EQ(framed[framed.size() - 1], c.high);
        EXPECT_EQ(WireCrc(c.bytes), ModbusCrc(c.bytes.data(), c.bytes.size()));
    }
}

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
    EXPECT_EQ(holding.request, WithCrc({0x01, 0x03, 0x00, 0x64, 0x00, 0x02}));
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
        {"bad crc", KindWord, {0x01, 0x04, 0x02, 0x00, 0x01, 0x00, 0x00}},
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
