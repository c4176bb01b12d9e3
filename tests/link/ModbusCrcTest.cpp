#include "link/ModbusCrc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "link/ModbusDriver.h"
#include "link/ReplyFinder.h"

using Bytes = std::vector<uint8_t>;

namespace {

Bytes Framed(Bytes bytes) {
    const uint16_t crc = ModbusCrc(bytes.data(), bytes.size());
    bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<uint8_t>(crc >> 8));
    return bytes;
}

Bytes Join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Feeds the bytes one at a time, as the receive thread delivers them.
bool FeedAll(CReplyFinder& finder, const Bytes& bytes) {
    bool found = false;
    for (size_t n = 1; n <= bytes.size() && !found; ++n)
        found = finder.Add(bytes.data(), static_cast<int>(n));
    return found;
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
        const uint16_t crc = ModbusCrc(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(crc & 0xFF, c.low);
        EXPECT_EQ(crc >> 8, c.high);
        uint16_t byByte = 0xFFFF;
        for (uint8_t b : c.bytes)
            byByte = CModbusDriver::CrcUpdate(b, byByte);
        EXPECT_EQ(byByte, crc);
    }
}

// The reply is found wherever it starts, never before its last byte, and never in bytes whose
// CRC fails.
TEST(ReplyFinder, FindsTheReplyAfterNoiseAndAnEcho) {
    const Bytes request = Framed({0x01, 0x04, 0x00, 0x64, 0x00, 0x01});
    const Bytes reply = Framed({0x01, 0x04, 0x02, 0x12, 0x34});
    struct Case {
        const char* name;
        Bytes before;
        bool echoes;
    } cases[] = {{"clean", {}, false},
                 {"noise", {0x00, 0xFF, 0x01, 0x04}, false},
                 {"echo", request, false},
                 {"known echo", request, true}};
    for (const Case& c : cases) {
        CReplyFinder finder;
        finder.Begin(request.data(), c.echoes);
        const Bytes line = Join(c.before, reply);
        Bytes partial(line.begin(), line.end() - 1);
        EXPECT_FALSE(FeedAll(finder, partial)) << c.name;
        EXPECT_TRUE(finder.Add(line.data(), static_cast<int>(line.size()))) << c.name;
        EXPECT_EQ(finder.Start(), static_cast<int>(c.before.size())) << c.name;
        EXPECT_EQ(finder.Length(), static_cast<int>(reply.size())) << c.name;
    }

    CReplyFinder finder;
    finder.Begin(request.data(), false);
    Bytes damaged = reply;
    damaged.back() ^= 0x01;
    EXPECT_FALSE(FeedAll(finder, damaged));
    EXPECT_TRUE(finder.DamagedReply(damaged.data(), static_cast<int>(damaged.size())));
}

// For a write the device's answer is a copy of the request: on a line that echoes, the first
// copy is the echo and the second the answer.
TEST(ReplyFinder, WriteAnswerOnAnEchoingLineIsTheSecondCopy) {
    const Bytes write = Framed({0x01, 0x06, 0x00, 0x06, 0x01, 0x00});
    CReplyFinder finder;
    finder.Begin(write.data(), true);
    EXPECT_FALSE(FeedAll(finder, write));
    const Bytes both = Join(write, write);
    EXPECT_TRUE(FeedAll(finder, both));
    EXPECT_EQ(finder.Start(), 8);

    CReplyFinder plain;
    plain.Begin(write.data(), false);
    EXPECT_TRUE(FeedAll(plain, write));
    EXPECT_EQ(plain.Start(), 0);
}
