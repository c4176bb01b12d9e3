// The simulator's protocol logic without a process or a pty.
#include <gtest/gtest.h>

#include <cmath>

#include "sim/FrameAssembler.h"
#include "sim/SimDevice.h"
#include "sim/SimOptions.h"
#include "tests/sim/RawLine.h"

namespace {

bool CrcHolds(const std::vector<uint8_t>& frame) {
    return frame.size() >= 4 && reference::CrcHolds(frame);
}

}  // namespace

TEST(SimDevice, FaultModesShapeTheReply) {
    CSimDevice device;
    const std::vector<uint8_t> request = ReadRequest(1, 4, 2, 1);
    const std::vector<uint8_t> good = Frame({1, 4, 2, 0x04, 0xD2});
    EXPECT_EQ(device.Handle(request).reply, good);

    device.SetFault(FaultMode::BadCrc);
    std::vector<uint8_t> reply = device.Handle(request).reply;
    ASSERT_EQ(reply.size(), good.size());
    EXPECT_TRUE(std::equal(good.begin(), good.end() - 2, reply.begin()));
    EXPECT_FALSE(CrcHolds(reply));

    device.SetFault(FaultMode::WrongAddr);
    reply = device.Handle(request).reply;
    ASSERT_EQ(reply.size(), good.size());
    EXPECT_NE(reply[0], 1);
    EXPECT_TRUE(CrcHolds(reply));

    device.SetFault(FaultMode::Exception);
    EXPECT_EQ(device.Handle(request).reply, Frame({1, 0x84, 2}));
    // ... and a write is refused without being carried out.
    EXPECT_EQ(device.Handle(Frame({1, 6, 0, 6, 0, 1})).reply, Frame({1, 0x86, 2}));
    EXPECT_EQ(device.Register(6), 0);

    device.SetFault(FaultMode::Truncated);
    reply = device.Handle(request).reply;
    ASSERT_LT(reply.size(), good.size());
    ASSERT_FALSE(reply.empty());
    EXPECT_TRUE(std::equal(reply.begin(), reply.end(), good.begin()));

    device.SetFault(FaultMode::Noise);
    for (int i = 0; i < 20; ++i) {
        reply = device.Handle(request).reply;
        ASSERT_GT(reply.size(), good.size());
        EXPECT_TRUE(
            std::equal(good.begin(), good.end(), reply.end() - static_cast<long>(good.size())));
    }

    device.SetFault(FaultMode::Slow);
    device.SetSlowDelay(std::chrono::milliseconds(750));
    SimOutcome slow = device.Handle(request);
    EXPECT_EQ(slow.reply, good);
    EXPECT_EQ(slow.delay, std::chrono::milliseconds(750));

    device.SetFault(FaultMode::Silence);
    SimOutcome silent = device.Handle(request);
    EXPECT_TRUE(silent.reply.empty());
    EXPECT_EQ(silent.log, "REQ 4 2 1");
}

TEST(SimDevice, WritesAndMultiRegisterReads) {
    CSimDevice device;
    device.SetAddress(9);
    // Like the concentrator, the value comes low byte first: the frame 01 00 writes 1, and the
    // echo is the request as sent.
    const std::vector<uint8_t> write = Frame({9, 6, 0, 6, 0x01, 0x00});
    SimOutcome outcome = device.Handle(write);
    EXPECT_EQ(outcome.reply, write);
    EXPECT_EQ(outcome.log, "REQ 6 6 1");
    EXPECT_EQ(device.Register(6), 1);
    const std::vector<uint8_t> twoBytes = Frame({9, 6, 0, 7, 0x01, 0x02});
    EXPECT_EQ(device.Handle(twoBytes).log, "REQ 6 7 513");
    EXPECT_EQ(device.Handle(ReadRequest(9, 3, 6, 2)).reply, Frame({9, 3, 4, 0, 1, 2, 1}));
    EXPECT_TRUE(device.Handle(ReadRequest(1, 3, 6, 2)).log.empty());
    // A standard slave takes it high byte first; both commands switch the order.
    std::string error;
    ASSERT_TRUE(device.Apply("write-high-first on", error));
    EXPECT_EQ(device.Handle(twoBytes).log, "REQ 6 7 258");
    EXPECT_EQ(device.Register(7), 0x0102);
    ASSERT_TRUE(device.Apply("write-low-first on", error));
    EXPECT_EQ(device.Handle(twoBytes).log, "REQ 6 7 513");
    ASSERT_TRUE(device.Apply("write-low-first off", error));
    EXPECT_EQ(device.Handle(twoBytes).log, "REQ 6 7 258");
    ASSERT_TRUE(device.Apply("write-high-first off", error));
    EXPECT_EQ(device.Handle(twoBytes).log, "REQ 6 7 513");
    EXPECT_FALSE(device.Apply("write-high-first", error));
    // 125 registers is the most one read may ask for.
    EXPECT_EQ(device.Handle(ReadRequest(9, 4, 0, 125)).reply.size(), 5u + 250u);
}

TEST(SimDevice, ConfigLines) {
    CSimDevice device;
    std::string error;
    EXPECT_TRUE(device.Apply("device id=0x1111 serial=99 reg1=258 reg42=0xAABBCCDD", error));
    EXPECT_EQ(device.Register(0), 0x1111);
    EXPECT_EQ(device.Register(1), 258);
    EXPECT_EQ(device.Register(2), 99);
    EXPECT_EQ(device.Register(42), 0xCCDD);
    EXPECT_EQ(device.Register(43), 0xAABB);

    EXPECT_TRUE(device.Apply("input 8 type=7 valid=0x05 values=21.5,0,-3.0", error));
    EXPECT_EQ(device.Register(800), 1);
    EXPECT_EQ(device.Register(801), 5);
    EXPECT_EQ(device.Register(804), 7);
    EXPECT_EQ(device.Float(840), 21.5f);
    EXPECT_EQ(device.Float(844), -3.0f);
    EXPECT_TRUE(device.Apply("input 8 presence=0x100 serial=65535", error));
    EXPECT_EQ(device.Register(800), 256);
    EXPECT_EQ(device.Register(802), 65535);
    EXPECT_EQ(device.Register(804), 7);  // kept

    for (const char* bad :
         {"device id=70000", "device colour=1", "input 0 none", "input 1", "input 1 type=1 valid",
          "input 2 values=1,2,3,4,5,6,7,8,9", "input 2 values=1,2,", "input 2 values=1;2", "reg 5",
          "fail x", "silence maybe", "bogus 1", "input 1 type=1 values=inf"}) {
        error.clear();
        EXPECT_FALSE(device.Apply(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    EXPECT_EQ(device.Register(200), 0);  // nothing half-applied
    EXPECT_EQ(device.Register(0), 0x1111);
    EXPECT_TRUE(device.Apply("   # only a comment", error));
    EXPECT_TRUE(device.Apply("", error));
}

TEST(SimDevice, DriftStaysNearTheConfiguredValuesAndMoves) {
    CSimDevice device;
    device.LoadDemo();
    ASSERT_TRUE(device.Drift());
    const float pressure = 1013.2f;  // input 3, third value
    std::set<int> binaryStates;
    float lowest = 1e9f, highest = -1e9f;
    for (double t = 0; t < 3600; t += 7.5) {
        device.UpdateDrift(t);
        const float value = device.Float(344);
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
        binaryStates.insert(static_cast<int>(device.Float(840)));
        // Humidity stays a humidity, the probe set keeps its shape.
        EXPECT_GT(device.Float(140), 0.0f);
        EXPECT_LT(device.Float(140), 100.0f);
        EXPECT_EQ(device.Register(201), 0xB7);
    }
    EXPECT_LE(highest, pressure + 5.01f);
    EXPECT_GE(lowest, pressure - 5.01f);
    EXPECT_GT(highest - lowest, 2.0f);
    EXPECT_EQ(binaryStates, (std::set<int>{0, 1}));

    device.SetDrift(false);
    const float frozen = device.Float(140);
    device.UpdateDrift(12345.0);
    EXPECT_EQ(device.Float(140), frozen);
}

TEST(FrameAssembler, ResynchronisesAfterNoiseAndGaps) {
    CFrameAssembler assembler;
    std::vector<std::vector<uint8_t>> frames;
    const std::vector<uint8_t> a = ReadRequest(1, 4, 100, 1);
    const std::vector<uint8_t> b = Frame({1, 6, 0, 6, 0, 1});

    // Noise in front and between; frames come out as soon as they are complete.
    std::vector<uint8_t> stream{0x01, 0x04, 0xFF};
    stream.insert(stream.end(), a.begin(), a.end());
    stream.push_back(0x00);
    stream.insert(stream.end(), b.begin(), b.end());
    assembler.Feed(stream.data(), stream.size(), frames);
    EXPECT_EQ(frames, (std::vector<std::vector<uint8_t>>{a, b}));
    EXPECT_FALSE(assembler.Pending());

    // A partial frame, then silence: dropped, the next frame stands alone.
    frames.clear();
    assembler.Feed(a.data(), 5, frames);
    EXPECT_TRUE(frames.empty());
    EXPECT_TRUE(assembler.Pending());
    assembler.Flush(frames);
    EXPECT_TRUE(frames.empty());
    EXPECT_FALSE(assembler.Pending());
    assembler.Feed(b.data(), b.size(), frames);
    EXPECT_EQ(frames, (std::vector<std::vector<uint8_t>>{b}));

    // A frame of an unknown function waits for the gap; garbage claiming a long frame does not
    // swallow a real frame behind it for good.
    frames.clear();
    const std::vector<uint8_t> odd = Frame({1, 0x41, 1, 2, 3});
    assembler.Feed(odd.data(), odd.size(), frames);
    EXPECT_TRUE(frames.empty());
    assembler.Flush(frames);
    EXPECT_EQ(frames, (std::vector<std::vector<uint8_t>>{odd}));

    frames.clear();
    std::vector<uint8_t> claim{0x01, 0x10, 0, 0, 0, 1, 200};
    claim.insert(claim.end(), a.begin(), a.end());
    assembler.Feed(claim.data(), claim.size(), frames);
    assembler.Flush(frames);
    EXPECT_EQ(frames, (std::vector<std::vector<uint8_t>>{a}));
}

TEST(SimOptions, CommandLine) {
    std::string error;
    auto options = ParseCommandLine({"--demo", "--address", "7", "--fault=slow", "--slow-ms", "300",
                                     "--link", "/tmp/p/com3", "--wire-speed", "--log"},
                                    error);
    ASSERT_TRUE(options.has_value()) << error;
    EXPECT_TRUE(options->demo);
    EXPECT_EQ(options->address, 7);
    EXPECT_EQ(options->fault, FaultMode::Slow);
    EXPECT_EQ(options->slowMs, 300);
    EXPECT_EQ(options->link, "/tmp/p/com3");
    EXPECT_TRUE(options->wireSpeed);
    EXPECT_TRUE(options->log);
    EXPECT_FALSE(options->drift);
    EXPECT_TRUE(options->writeLowFirst);  // the concentrator's order unless asked otherwise
    options = ParseCommandLine({"--write-high-first"}, error);
    ASSERT_TRUE(options.has_value()) << error;
    EXPECT_FALSE(options->writeLowFirst);
    options = ParseCommandLine({"--write-low-first"}, error);  // older scripts pass it
    ASSERT_TRUE(options.has_value()) << error;
    EXPECT_TRUE(options->writeLowFirst);
    for (std::vector<std::string> bad : {std::vector<std::string>{"--address", "0"},
                                         {"--address", "256"},
                                         {"--fault", "odd"},
                                         {"--baud"},
                                         {"--baud", "96OO"},
                                         {"--log=1"},
                                         {"--write-high-first=1"},
                                         {"--unknown"},
                                         {"stray"}}) {
        EXPECT_FALSE(ParseCommandLine(bad, error).has_value()) << bad[0];
    }
}
