#include <string>
#include <vector>

#include "tests/device/DriverHarness.h"

namespace {

using Failures = DriverHarness;

// Input 8 carries the TQ21, so the failing read is the last of the cycle.
const char* const kTq21OnInput8 = R"(
input 1 type=1 serial=11 valid=0x03 values=10.0,1.0
input 8 type=1 serial=18 valid=0x03 values=45.3,-2.5
)";

TEST_F(Failures, TimeOutWithinAnInputKeepsWhatWasRead) {
    StartSim(kTq21OnInput8);
    StartDriver();
    ASSERT_TRUE(WaitForFirstPublication());
    ASSERT_EQ(Reading(7).values[1], -25);

    sim->Command("input 8 values=50.0,10.0");
    sim->Command("fail 842");
    // The failing request is on the wire; its result is not in yet.
    ASSERT_TRUE(sim->WaitForLog(
        [](const std::vector<std::string>& log) {
            for (const std::string& line : log) {
                if (line == "REQ 4 842 2") {
                    return true;
                }
            }
            return false;
        },
        kCycleTimeout));
    EXPECT_TRUE(driver->IsDeviceResponding());
    ASSERT_TRUE(WaitUntil([this] { return Reading(7).status == 3; }));
    // One failing input is that input's failure, told by its status; the device answers.
    EXPECT_TRUE(driver->IsDeviceResponding());
    sim->Command("unfail 842");

    const InputReading r = Reading(7);
    EXPECT_EQ(r.values[0], 500);  // new humidity
    EXPECT_EQ(r.values[1], -25);  // old temperature
    EXPECT_EQ(r.model, ModelTQ21);
    EXPECT_EQ(Reading(0).status, 0);

    ASSERT_TRUE(WaitUntil([this] { return Reading(7).status == 0; }));
    EXPECT_TRUE(driver->IsDeviceResponding());
    EXPECT_EQ(Reading(7).values[1], 100);
}

// The probe states come from the validity word before any probe is read, so a probe read
// that fails leaves every state of this cycle in place.
TEST_F(Failures, TimeOutWithinAProbeKeepsTheNewProbeStates) {
    StartSim("input 8 type=7 serial=28 valid=0xFF values=1.0,2.0,3.0,4.0,5.0,6.0,7.0,8.0\n");
    StartDriver();
    ASSERT_TRUE(WaitForFirstPublication());
    ASSERT_EQ(Reading(7).probeValues[1], 20);

    // From here on every read of input 8 stops at probe 2.
    sim->Command("fail 842");
    sim->Command("input 8 valid=0x00 values=11.0,12.0,13.0,14.0,15.0,16.0,17.0,18.0");
    // The commands may land in the middle of a cycle that has read the old validity word and
    // then times out; the cycle after it reads the new one. Each costs a whole time-out, so
    // the bound allows for three.
    ASSERT_TRUE(WaitUntil(
        [this] {
            const InputReading r = Reading(7);
            // Probe 1 absent: this cycle read the new validity word.
            return r.status == 3 && r.probeValues[0] == 110 && r.valueFlags[0] == FlagAbsent;
        },
        3 * kCycleTimeout));

    const InputReading r = Reading(7);
    for (int j = 0; j < 8; ++j) {
        EXPECT_EQ(r.valueFlags[j], FlagAbsent) << "probe " << j + 1;
    }
    EXPECT_EQ(r.probeValues[0], 110);  // read before the failure
    EXPECT_EQ(r.probeValues[1], 20);   // the failed read keeps the old value
    EXPECT_EQ(r.probeValues[2], 30);
}

// An input in the middle of the cycle whose read fails while the others answer: the device
// still counts as responding, and only that input's published reading says it failed, so it
// is not shown with its stale values.
TEST_F(Failures, InputFailingMidCycleIsPublishedAsFailed) {
    StartSim(R"(
input 1 type=1 serial=11 valid=0x03 values=10.0,1.0
input 4 type=2 serial=14 valid=0x07 values=50.0,20.0,1000.0
input 8 type=1 serial=18 valid=0x03 values=45.3,-2.5
)");
    StartDriver();
    ASSERT_TRUE(WaitForFirstPublication());
    ASSERT_EQ(Reading(3).status, 0);
    ASSERT_EQ(Reading(3).values[0], 10000);

    sim->Command("fail 444");  // the pressure, the last value of input 4
    sim->Command("input 4 values=60.0,21.0,1001.0");
    ASSERT_TRUE(WaitUntil([this] { return Reading(3).status == 3; }, 3 * kCycleTimeout));
    const InputReading failed = Reading(3);
    EXPECT_EQ(failed.model, ModelTQ23);
    EXPECT_EQ(failed.values[1], 600);    // read before the failure
    EXPECT_EQ(failed.values[0], 10000);  // the failed read keeps the old pressure
    // The inputs after it were read in the same cycle, so the device responds.
    EXPECT_EQ(Reading(7).status, 0);
    EXPECT_EQ(Reading(0).status, 0);
    ASSERT_TRUE(WaitUntil([this] { return driver->IsDeviceResponding(); }));
    EXPECT_EQ(Reading(3).status, 3);

    sim->Command("unfail 444");
    ASSERT_TRUE(WaitUntil([this] { return Reading(3).status == 0; }, 3 * kCycleTimeout));
    EXPECT_EQ(Reading(3).values[0], 10010);
}

// Even the first read of an input (its presence) failing marks the reading as not current,
// whatever its earlier complete reads held; the other inputs are still read.
TEST_F(Failures, FailingFirstReadOfAnInputMarksItNotCurrent) {
    StartSim(kTq21OnInput8);
    StartDriver();
    ASSERT_TRUE(WaitForFirstPublication());
    ASSERT_TRUE(WaitUntil([this] { return Reading(0).status == 0 && Reading(7).status == 0; }));

    sim->Command("fail 100");
    ASSERT_TRUE(WaitUntil([this] { return Reading(0).status == 3; }, 3 * kCycleTimeout));
    EXPECT_EQ(Reading(0).model, ModelTQ21);  // what it held stays, marked as not current
    EXPECT_EQ(Reading(7).status, 0);
    EXPECT_TRUE(driver->IsDeviceResponding());

    sim->Command("unfail 100");
    EXPECT_TRUE(WaitUntil([this] { return Reading(0).status == 0; }, 3 * kCycleTimeout));
}

// A device that answered and then stops answering at the identification of a cycle.
TEST_F(Failures, DeviceFallingSilentIsReportedWithinOneTimeOut) {
    StartSim(kTq21OnInput8);
    StartDriver();
    ASSERT_TRUE(WaitForFirstPublication());
    ASSERT_TRUE(driver->IsDeviceResponding());

    sim->Command("fail 0");
    EXPECT_TRUE(WaitUntil([this] { return !driver->IsDeviceResponding(); }));
    // The last complete cycle stays published.
    EXPECT_EQ(Info().status, 0);
    EXPECT_EQ(Reading(7).status, 0);
}

TEST_F(Failures, SilentDevicePublishesNothing) {
    StartSim(kTq21OnInput8, {"--fault", "silence"});
    StartDriver();
    // The second identification attempt starts after the first has timed out.
    ASSERT_TRUE(sim->WaitForLog(
        [](const std::vector<std::string>& log) {
            int identifications = 0;
            for (const std::string& line : log) {
                identifications += line == "REQ 4 0 1" ? 1 : 0;
            }
            return identifications >= 2;
        },
        kCycleTimeout));
    EXPECT_FALSE(driver->IsDeviceResponding());
    EXPECT_EQ(Info().deviceId, 0);
    EXPECT_EQ(Info().status, 3);  // never identified
    EXPECT_EQ(Reading(7).model, ModelNone);
    EXPECT_EQ(Reading(7).serialNumber, 0);
    // Only identifications were tried: no input register was asked for.
    for (const std::string& request : Requests()) {
        EXPECT_EQ(request, "4 0 1");
    }
}

// An identification refused at once (an exception reply) must not become a flood of requests:
// the attempts are paced like cycles, about one a second.
TEST_F(Failures, ImmediateIdentificationFailuresArePaced) {
    StartSim(kTq21OnInput8, {"--fault", "exception"});
    const auto start = std::chrono::steady_clock::now();
    StartDriver();
    ASSERT_TRUE(sim->WaitForLog(
        [](const std::vector<std::string>& log) { return Count(log, "REQ 4 0 1") >= 3; },
        kCycleTimeout));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
    EXPECT_FALSE(driver->IsDeviceResponding());
    EXPECT_EQ(Info().deviceId, 0);
}

TEST_F(Failures, ForeignDeviceStillHasItsInputsRead) {
    StartSim("device id=4660 serial=99 reg1=0x0102 reg42=0x030405\n" + std::string(kTq21OnInput8));
    StartDriver();
    ASSERT_TRUE(WaitForFirstPublication());

    const DeviceInfo info = Info();
    EXPECT_EQ(info.deviceId, 4660);
    EXPECT_EQ(info.status, 3);
    EXPECT_EQ(info.serialNumber, 0);
    EXPECT_EQ(info.reg42Bytes[0], 0);
    EXPECT_EQ(info.reg1Bytes[1], 0);
    EXPECT_EQ(Reading(7).serialNumber, 18);
    EXPECT_EQ(Reading(7).status, 0);
    EXPECT_TRUE(driver->IsDeviceResponding());
    // Identification stops at register 0; the inputs follow straight away.
    const std::vector<std::string> requests = Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0], "4 0 1");
    EXPECT_EQ(requests[1], "4 100 1");
    EXPECT_EQ(Count(requests, "4 2 1"), 0);
}

TEST_F(Failures, AlarmEnables) {
    StartSim("reg 6 256\nreg 7 1\n");
    StartDriver();

    uint8_t enables[2] = {9, 9};
    EXPECT_EQ(driver->ReadAlarms(enables), 0);
    EXPECT_EQ(enables[0], 2);  // anything above 2 reads as 2
    EXPECT_EQ(enables[1], 1);

    // 255 leaves an enable alone: nothing is written.
    const uint8_t unchanged[2] = {255, 255};
    EXPECT_EQ(driver->WriteAlarms(unchanged), 0);
    for (const std::string& request : Requests()) {
        EXPECT_NE(request.rfind("6 ", 0), 0u) << request;
    }

    // The device takes the value low byte first, as the driver sends it: the written value is
    // the one stored and read back.
    const uint8_t onlyExternal[2] = {255, 0};
    EXPECT_EQ(driver->WriteAlarms(onlyExternal), 0);
    EXPECT_EQ(Count(Requests(), "6 7 0"), 1);
    EXPECT_EQ(driver->ReadAlarms(enables), 0);
    EXPECT_EQ(enables[0], 2);
    EXPECT_EQ(enables[1], 0);
    const uint8_t onlyInternal[2] = {1, 255};
    EXPECT_EQ(driver->WriteAlarms(onlyInternal), 0);
    EXPECT_EQ(Count(Requests(), "6 6 1"), 1);
    EXPECT_EQ(driver->ReadAlarms(enables), 0);
    EXPECT_EQ(enables[0], 1);
    EXPECT_EQ(enables[1], 0);

    // A failed write of register 6 ends the operation before register 7.
    sim->Command("fault wrongaddr");
    const uint8_t both[2] = {0, 0};
    EXPECT_EQ(driver->WriteAlarms(both), 3);
    EXPECT_EQ(Count(Requests(), "6 6 0"), 1);
    EXPECT_EQ(Count(Requests(), "6 7 0"), 1);  // only the earlier write
    EXPECT_NE(driver->ReadAlarms(enables), 0);
}

}  // namespace
