#include "link/ModbusCrc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "link/ModbusDriver.h"
#include "link/ReplyFinder.h"
#include "tests/support/ReferenceCrc.h"

using Bytes = std::vector<uint8_t>;

namespace {

Bytes Framed(Bytes bytes) {
    return reference::WithCrc(std::move(bytes));
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

// Published CRC-16/MODBUS values: the catalogue's check value over "123456789" and request
// frames printed in Modbus documentation, whose last two bytes are the CRC, low byte first.
TEST(ModbusCrc, PublishedVectors) {
    struct Case {
        Bytes bytes;
        uint16_t crc;
    } cases[] = {
        {{'1', '2', '3', '4', '5', '6', '7', '8', '9'}, 0x4B37},
        {{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}, 0xCDC5},  // sent C5 CD
        {{0x01, 0x03, 0x00, 0x00, 0x00, 0x01}, 0x0A84},  // sent 84 0A
        {{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}, 0x8776},  // sent 76 87
        {{}, 0xFFFF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ModbusCrc(c.bytes.data(), c.bytes.size()), c.crc);
        uint16_t byByte = 0xFFFF;
        for (uint8_t b : c.bytes)
            byByte = CModbusDriver::CrcUpdate(b, byByte);
        EXPECT_EQ(byByte, c.crc);
        // The tests' own frames come from the reference: it must agree with the same values.
        EXPECT_EQ(reference::Crc16Modbus(c.bytes), c.crc);
    }
    EXPECT_EQ(reference::WithCrc({0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}),
              (Bytes{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}));
}

// A single flipped bit anywhere in a frame breaks its CRC.
TEST(ModbusCrc, EveryFlippedBitIsCaught) {
    const Bytes frame{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87};
    for (size_t i = 0; i < frame.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes damaged = frame;
            damaged[i] ^= static_cast<uint8_t>(1 << bit);
            const uint16_t crc = ModbusCrc(damaged.data(), damaged.size() - 2);
            EXPECT_NE(crc, damaged[6] | (damaged[7] << 8)) << "byte " << i << " bit " << bit;
        }
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
