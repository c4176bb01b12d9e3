// orvex-sim driven through its pty by a bare file descriptor.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <thread>

#include "tests/sim/RawLine.h"
#include "tests/support/SimProcess.h"

using namespace std::chrono_literals;

namespace {

bool Contains(const std::vector<std::string>& log, const std::string& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

const char* const kConfig = R"(
# two inputs
device id=23073 serial=0x1234 reg1=0x0102 reg42=0x030405
input 1 type=1 serial=501 valid=3 values=45.5,-12.25
input 3 type=4099 serial=777 format=0x0A presence=256
reg 6 256
)";

float FloatOf(const std::vector<uint8_t>& reply) {
    // Data bytes 3-6: first register low word, second register high word, each high byte first.
    const uint32_t low = static_cast<uint32_t>(reply[3] << 8 | reply[4]);
    const uint32_t high = static_cast<uint32_t>(reply[5] << 8 | reply[6]);
    return std::bit_cast<float>(high << 16 | low);
}

}  // namespace

TEST(SimLine, IdentificationReplyIsExact) {
    SimProcess sim;
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    // Read input register 0 of slave 1.
    const std::vector<uint8_t> reply = line.Transact(ReadRequest(1, 4, 0, 1), 7);
    const std::vector<uint8_t> expected = Frame({0x01, 0x04, 0x02, 0x5A, 0x21});
    EXPECT_EQ(reply, expected);
    EXPECT_EQ(reply.size(), 7u);
}

TEST(SimLine, ConfigFillsRegistersAndFloats) {
    SimProcess sim({.config = kConfig, .args = {}});
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    // Registers 0-2 in one read: id, reg1, serial.
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 0, 3), 11),
              Frame({1, 4, 6, 0x5A, 0x21, 0x01, 0x02, 0x12, 0x34}));
    // reg42: low word in 42, high word in 43.
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 42, 2), 9), Frame({1, 4, 4, 0x04, 0x05, 0x00, 0x03}));
    // Input 1: presence 1 by default, validity, serial, type.
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 100, 5), 15),
              Frame({1, 4, 10, 0, 1, 0, 3, 0x01, 0xF5, 0, 0, 0, 1}));
    std::vector<uint8_t> humidity = line.Transact(ReadRequest(1, 4, 140, 2), 9);
    ASSERT_EQ(humidity.size(), 9u);
    EXPECT_EQ(FloatOf(humidity), 45.5f);
    std::vector<uint8_t> temperature = line.Transact(ReadRequest(1, 4, 142, 2), 9);
    ASSERT_EQ(temperature.size(), 9u);
    EXPECT_EQ(FloatOf(temperature), -12.25f);
    // Input 3: explicit presence, format word; input 2 absent.
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 300, 1), 7), Frame({1, 4, 2, 0x01, 0x00}));
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 310, 1), 7), Frame({1, 4, 2, 0x00, 0x0A}));
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 200, 1), 7), Frame({1, 4, 2, 0, 0}));
    // Holding register 6 as configured; the same space answers function 3.
    EXPECT_EQ(line.Transact(ReadRequest(1, 3, 6, 1), 7), Frame({1, 3, 2, 0x01, 0x00}));
}

TEST(SimLine, WriteIsEchoedStoredAndLogged) {
    SimProcess sim({.config = "", .args = {"--log"}});
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    // The value low byte first, as the concentrator takes it.
    const std::vector<uint8_t> write = Frame({1, 6, 0, 7, 1, 0});
    EXPECT_EQ(line.Transact(write, 8), write);
    EXPECT_EQ(line.Transact(ReadRequest(1, 3, 7, 1), 7), Frame({1, 3, 2, 0, 1}));
    EXPECT_TRUE(sim.WaitForLog(
        [](const auto& log) { return Contains(log, "REQ 6 7 1") && Contains(log, "REQ 3 7 1"); },
        5s));
    EXPECT_TRUE(Contains(sim.Log(), "OPEN"));
}

TEST(SimLine, UnknownFunctionGetsIllegalFunction) {
    SimProcess sim({.config = "", .args = {"--log"}});
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    // Function 5 (write coil) and function 0x11 (report slave id, 4 bytes) are not served.
    EXPECT_EQ(line.Transact(Frame({1, 5, 0, 1, 0xFF, 0}), 5), Frame({1, 0x85, 1}));
    EXPECT_EQ(line.Transact(Frame({1, 0x11}), 5), Frame({1, 0x91, 1}));
    // A function without a known length is judged after the inter-frame gap.
    EXPECT_EQ(line.Transact(Frame({1, 0x41, 9, 9, 9}), 5), Frame({1, 0xC1, 1}));
    // Bad quantities and the end of the register space.
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 0, 0), 5), Frame({1, 0x84, 3}));
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 0, 126), 5), Frame({1, 0x84, 3}));
    EXPECT_EQ(line.Transact(ReadRequest(1, 3, 0xFFFF, 2), 5), Frame({1, 0x83, 2}));
}

// A request that must stay unanswered is followed by one that is answered: the first bytes that
// come back then show whether the first request got a reply.
TEST(SimLine, OtherAddressesAndBadFramesAreIgnored) {
    SimProcess sim({.config = "", .args = {"--log", "--address", "17"}});
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    std::vector<uint8_t> corrupt = ReadRequest(17, 4, 0, 1);
    corrupt[7] ^= 0x01;
    line.Send(ReadRequest(1, 4, 0, 1));  // another slave
    line.Send(corrupt);                  // CRC broken
    line.Send({0x33, 0x17});             // noise
    EXPECT_EQ(line.Transact(ReadRequest(17, 4, 2, 1), 7), Frame({17, 4, 2, 0x04, 0xD2}));
    ASSERT_TRUE(sim.WaitForLog([](const auto& log) { return Contains(log, "REQ 4 2 1"); }, 5s));
    EXPECT_EQ(sim.Log(), (std::vector<std::string>{"OPEN", "REQ 4 2 1"}));
    // A broadcast write is carried out but never answered.
    line.Send(Frame({0, 6, 0, 6, 1, 0}));
    EXPECT_EQ(line.Transact(ReadRequest(17, 3, 6, 1), 7), Frame({17, 3, 2, 0, 1}));
}

TEST(SimLine, SplitFrameIsAssembled) {
    SimProcess sim;
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    const std::vector<uint8_t> request = ReadRequest(1, 4, 2, 1);
    line.Send({request.begin(), request.begin() + 3});
    line.Send({request.begin() + 3, request.end()});
    EXPECT_EQ(line.Receive(7), Frame({1, 4, 2, 0x04, 0xD2}));
}

// A master on a real 9600 bit/s line delivers a byte about every 1.04 ms: that is no frame gap.
TEST(SimLine, BytesPacedAtLineSpeedFormOneFrame) {
    SimProcess sim;
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    // A first exchange makes sure the simulator is reading the line as the bytes come.
    ASSERT_EQ(line.Transact(ReadRequest(1, 4, 0, 1), 7).size(), 7u);
    const std::vector<uint8_t> request = ReadRequest(1, 4, 2, 1);
    for (uint8_t byte : request) {
        line.Send({byte});
        std::this_thread::sleep_for(std::chrono::microseconds(1042));  // the stimulus, not a wait
    }
    EXPECT_EQ(line.Receive(7), Frame({1, 4, 2, 0x04, 0xD2}));
}

TEST(SimLine, SilenceAndFailedRegisters) {
    SimProcess sim({.config = "", .args = {"--log"}});
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    auto requested = [&](const std::string& entry) {
        return sim.WaitForLog([&](const auto& log) { return Contains(log, entry); }, 5s);
    };

    sim.Command("silence on");
    line.Send(ReadRequest(1, 4, 0, 1));
    ASSERT_TRUE(requested("REQ 4 0 1"));  // received, logged, not answered
    sim.Command("silence off");
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 2, 1), 7), Frame({1, 4, 2, 0x04, 0xD2}));

    // A failed register silences every request that touches it.
    sim.Command("fail 101");
    line.Send(ReadRequest(1, 4, 100, 3));
    ASSERT_TRUE(requested("REQ 4 100 3"));
    line.Send(ReadRequest(1, 4, 101, 1));
    ASSERT_TRUE(requested("REQ 4 101 1"));
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 102, 1), 7), Frame({1, 4, 2, 0, 0}));
    sim.Command("unfail 101");
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 101, 1), 7), Frame({1, 4, 2, 0, 0}));
}

TEST(SimLine, RuntimeConfigLinesAndBadCommands) {
    SimProcess sim;
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    sim.Command("input 2 type=5 serial=42 values=90,2.5");
    sim.Command("reg 0x10 0xBEEF   # a comment");
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 200, 3), 11), Frame({1, 4, 6, 0, 1, 0, 0, 0, 42}));
    EXPECT_EQ(FloatOf(line.Transact(ReadRequest(1, 4, 242, 2), 9)), 2.5f);
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 16, 1), 7), Frame({1, 4, 2, 0xBE, 0xEF}));
    sim.Command("input 2 none");
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 200, 5), 15),
              Frame({1, 4, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_THROW(sim.Command("input 9 type=1"), std::runtime_error);
    EXPECT_THROW(sim.Command("reg 70000 1"), std::runtime_error);
    EXPECT_THROW(sim.Command("fault sometimes"), std::runtime_error);
    EXPECT_THROW(sim.Command("input 1 values=1,2x"), std::runtime_error);
    // A refused line changes nothing.
    EXPECT_EQ(line.Transact(ReadRequest(1, 4, 100, 1), 7), Frame({1, 4, 2, 0, 0}));
}

// An echoing line gives every request back first, including those for other addresses and
// those the device does not answer; the reply follows the echo.
TEST(SimLine, EchoModeSendsTheRequestBackBeforeTheReply) {
    SimProcess sim({.config = "", .args = {"--fault", "echo", "--log"}});
    RawLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    const std::vector<uint8_t> request = ReadRequest(1, 4, 2, 1);
    std::vector<uint8_t> expected = request;
    const std::vector<uint8_t> reply = Frame({1, 4, 2, 0x04, 0xD2});
    expected.insert(expected.end(), reply.begin(), reply.end());
    EXPECT_EQ(line.Transact(request, expected.size()), expected);

    // Another address gets its echo only: an answer would come right behind the echo, ahead of
    // the next request's bytes.
    const std::vector<uint8_t> foreign = ReadRequest(9, 4, 0, 1);
    line.Send(foreign);
    EXPECT_EQ(line.Receive(foreign.size()), foreign);
    EXPECT_EQ(line.Transact(request, expected.size()), expected);

    // Without the echo the first bytes back are the reply's.
    sim.Command("fault none");
    EXPECT_EQ(line.Transact(request, reply.size()), reply);
}
