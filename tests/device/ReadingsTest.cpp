#include <string>
#include <vector>

#include "tests/device/DriverHarness.h"

namespace {

using Readings = DriverHarness;

const char* const kMixedA = R"(
device id=23073 serial=1234 reg1=0x0102 reg42=0x030405
input 1 type=1 serial=101 valid=0x02 values=45.3,-0.05
input 2 type=7 serial=102 valid=0x05 values=21.5,99.0,-3.0,50.0,1.0,2.0,3.0,4.0
input 3 type=3 serial=103 valid=0x00 format=0x08 values=1013.26
input 4 type=4 serial=104 valid=0x01 format=0x00 values=1013.26
input 5 type=4110 serial=105 valid=0x0A values=12.3,45.6,78.9,21.456
input 6 type=8 serial=106 valid=0x00 values=1.0
input 7 type=9 serial=107 valid=0xFF presence=256 values=5.0
input 8 none
)";

void ExpectFlags(const InputReading& r, std::vector<int> expected) {
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(r.valueFlags[i], expected[i]) << "valueFlags[" << i << "]";
    }
}

TEST_F(Readings, MixedSetIsDecodedFieldByField) {
    StartSim(kMixedA);
    StartDriver();
    ASSERT_TRUE(WaitForFirstPublication());

    const DeviceInfo info = Info();
    EXPECT_EQ(info.deviceId, 23073);
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.serialNumber, 1234);
    EXPECT_EQ(info.reg42Bytes[0], 0x03);
    EXPECT_EQ(info.reg42Bytes[1], 0x04);
    EXPECT_EQ(info.reg42Bytes[2], 0x05);
    EXPECT_EQ(info.reg1Bytes[0], 0x01);
    EXPECT_EQ(info.reg1Bytes[1], 0x02);
    EXPECT_TRUE(driver->IsDeviceResponding());

    // TQ21: humidity bit 0 clear -> humidity error in flag 1; temperature valid.
    InputReading r = Reading(0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.inputState, 1);
    EXPECT_EQ(r.isBinary, 0);
    EXPECT_EQ(r.model, ModelTQ21);
    EXPECT_EQ(r.serialNumber, 101);
    EXPECT_EQ(r.auxFlag, 0);
    EXPECT_EQ(r.values[0], 453);
    EXPECT_EQ(r.values[1], -1);  // -0.05 rounds away from zero
    ExpectFlags(r, {0, 1});

    // TQ22: probes 1 and 3 valid; the average covers only them.
    r = Reading(1);
    EXPECT_EQ(r.model, ModelTQ22);
    EXPECT_EQ(r.serialNumber, 102);
    ExpectFlags(r, {0, 2, 0, 2, 2, 2, 2, 2});
    const int16_t probes[8] = {215, 990, -30, 500, 10, 20, 30, 40};
    for (int j = 0; j < 8; ++j) {
        EXPECT_EQ(r.probeValues[j], probes[j]) << "probe " << j;
    }
    EXPECT_EQ(r.averageFlag, 0);
    EXPECT_EQ(r.average, 92);

    // TQ24 hPa, whole units, pressure invalid.
    r = Reading(2);
    EXPECT_EQ(r.model, ModelTQ24);
    EXPECT_EQ(r.serialNumber, 103);
    EXPECT_EQ(r.auxFlag, 0);
    EXPECT_EQ(r.values[0], 1013);
    ExpectFlags(r, {0, 1, 1});

    // TQ24 Pa, one decimal, pressure valid.
    r = Reading(3);
    EXPECT_EQ(r.model, ModelTQ24);
    EXPECT_EQ(r.auxFlag, 1);
    EXPECT_EQ(r.values[0], 10133);
    ExpectFlags(r, {0, 0, 0});

    // TQ28: V = 0b1010 -> permittivity and humidity in error.
    r = Reading(4);
    EXPECT_EQ(r.model, ModelTQ28);
    EXPECT_EQ(r.serialNumber, 105);
    EXPECT_EQ(r.auxFlag, 1);
    ExpectFlags(r, {0, 0, 1});
    EXPECT_EQ(r.values[0], 123);
    EXPECT_EQ(r.values[1], 456);
    EXPECT_EQ(r.values[2], 789);
    EXPECT_EQ(r.values[3], 2146);

    // Binary input, on; it does not take the sensor serial number.
    r = Reading(5);
    EXPECT_EQ(r.isBinary, 1);
    EXPECT_EQ(r.binaryState, 1);
    EXPECT_EQ(r.model, ModelNone);
    EXPECT_EQ(r.serialNumber, 0);
    EXPECT_EQ(r.status, 0);

    // Unknown type, present through a high presence byte only.
    r = Reading(6);
    EXPECT_EQ(r.model, ModelUnknown);
    EXPECT_EQ(r.inputState, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.serialNumber, 0);
    EXPECT_EQ(r.values[0], 0);

    r = Reading(7);
    EXPECT_EQ(r.model, ModelNone);
    EXPECT_EQ(r.isBinary, 0);
    EXPECT_EQ(r.inputState, 0);
    EXPECT_EQ(r.status, 0);

    // An input number out of range copies nothing.
    InputReading untouched;
    untouched.serialNumber = 4242;
    driver->GetReading(8, untouched);
    EXPECT_EQ(untouched.serialNumber, 4242);
}

// One full cycle, request by request: identification, then each input's registers in the
// order its sensor type fixes (format word first where used, values last).
TEST_F(Readings, OneCycleAsksForTheRegistersInOrder) {
    StartSim(kMixedA);
    StartDriver();
    ASSERT_TRUE(WaitForFirstPublication());
    driver->Stop();

    std::vector<std::string> expected = {"4 0 1", "4 2 1", "4 42 2", "4 1 1"};
    auto add = [&](std::vector<std::string> more) {
        expected.insert(expected.end(), more.begin(), more.end());
    };
    add({"4 100 1", "4 101 1", "4 102 1", "4 104 1", "4 140 2", "4 142 2"});
    add({"4 200 1", "4 201 1", "4 202 1", "4 204 1", "4 240 2", "4 242 2", "4 244 2", "4 246 2",
         "4 248 2", "4 250 2", "4 252 2", "4 254 2"});
    add({"4 300 1", "4 301 1", "4 302 1", "4 304 1", "4 310 1", "4 340 2"});
    add({"4 400 1", "4 401 1", "4 402 1", "4 404 1", "4 410 1", "4 440 2"});
    add({"4 500 1", "4 501 1", "4 502 1", "4 504 1", "4 540 2", "4 542 2", "4 544 2", "4 546 2"});
    add({"4 600 1", "4 601 1", "4 602 1", "4 604 1", "4 640 2"});
    add({"4 700 1", "4 701 1", "4 702 1", "4 704 1"});
    add({"4 800 1"});

    const std::vector<std::string> requests = Requests();
    ASSERT_GE(requests.size(), expected.size());
    const std::vector<std::string> firstCycle(requests.begin(), requests.begin() + expected.size());
    EXPECT_EQ(firstCycle, expected);
    // The next cycle, if it began before the stop, starts with the identification again.
    if (requests.size() > expected.size()) {
        EXPECT_EQ(requests[expected.size()], "4 0 1");
    }
}

const char* const kMixedB = R"(
input 1 type=2 serial=201 valid=0x05 values=55.5,-12.25,1000.04
input 2 type=6 serial=202 valid=0x02 values=99.9,0.25
input 3 type=5 serial=203 valid=0x01 values=-2.5,12.34
input 4 type=4099 serial=204 valid=0x00 format=0x02 values=12.34
input 5 type=4100 serial=205 valid=0x00 values=7.77
input 6 type=7 serial=206 valid=0x00 values=1.0,2.0,3.0,4.0,5.0,6.0,7.0,8.0
input 7 type=8 serial=207 valid=0x01 values=0.04
input 8 type=4110 serial=208 valid=0x0F values=1.0,-2.0,3.0,12.34
)";

// The other sensor types, request by request: a value read out of order would put each value
// into the wrong field without any other test noticing.
TEST_F(Readings, OneCycleOfTheOtherTypesAsksInOrder) {
    StartSim(kMixedB);
    StartDriver();
    ASSERT_TRUE(WaitForFirstPublication());
    driver->Stop();

    const std::vector<std::string> expected = {
        "4 0 1",   "4 2 1",   "4 42 2",  "4 1 1",                                     // device
        "4 100 1", "4 101 1", "4 102 1", "4 104 1", "4 140 2", "4 142 2", "4 144 2",  // TQ23
        "4 200 1", "4 201 1", "4 202 1", "4 204 1", "4 242 2",             // TQ21 temperature
        "4 300 1", "4 301 1", "4 302 1", "4 304 1", "4 340 2", "4 342 2",  // TQ25
        "4 400 1", "4 401 1", "4 402 1", "4 404 1", "4 410 1", "4 440 2",  // TQ26
        "4 500 1", "4 501 1", "4 502 1", "4 504 1", "4 540 2",             // type 4100
        "4 600 1", "4 601 1", "4 602 1", "4 604 1", "4 640 2", "4 642 2", "4 644 2", "4 646 2",
        "4 648 2", "4 650 2", "4 652 2", "4 654 2",             // TQ22
        "4 700 1", "4 701 1", "4 702 1", "4 704 1", "4 740 2",  // binary
        "4 800 1", "4 801 1", "4 802 1", "4 804 1", "4 840 2", "4 842 2", "4 844 2", "4 846 2",
    };
    const std::vector<std::string> requests = Requests();
    ASSERT_GE(requests.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + expected.size()),
              expected);
}

// The average of the probes truncates towards zero, also below zero.
TEST_F(Readings, NegativeProbeAverageTruncatesTowardsZero) {
    // -2.5, -1.0 and 0.1 average to -34 / 3 = -11.33: -11 truncated, -12 floored.
    StartSim("input 1 type=7 serial=9 valid=0x0B values=-2.5,-1.0,55.0,0.1\n");
    StartDriver();
    ASSERT_TRUE(WaitForFirstPublication());
    const InputReading r = Reading(0);
    ASSERT_EQ(r.model, ModelTQ22);
    EXPECT_EQ(r.averageFlag, 0);
    EXPECT_EQ(r.average, -11);
}

TEST_F(Readings, RemainingTypesAndRounding) {
    StartSim(kMixedB);
    StartDriver();
    ASSERT_TRUE(WaitForFirstPublication());

    // TQ23: values 40/42/44 go to humidity, temperature, pressure; temperature invalid.
    InputReading r = Reading(0);
    EXPECT_EQ(r.model, ModelTQ23);
    EXPECT_EQ(r.serialNumber, 201);
    EXPECT_EQ(r.values[0], 10000);
    EXPECT_EQ(r.values[1], 555);
    EXPECT_EQ(r.values[2], -123);  // -12.25 exactly: half away from zero
    ExpectFlags(r, {0, 1, 0});

    // TQ21 temperature only: humidity forced to 0 and valid.
    r = Reading(1);
    EXPECT_EQ(r.model, ModelTQ21);
    EXPECT_EQ(r.values[0], 0);
    EXPECT_EQ(r.values[1], 3);  // 0.25 exactly
    ExpectFlags(r, {0, 0});
    EXPECT_EQ(r.sensorType, SensorTypeTQ21TempOnly);
    EXPECT_EQ(Reading(0).sensorType, SensorTypeTQ23);

    // TQ25: direction in whole degrees, speed invalid.
    r = Reading(2);
    EXPECT_EQ(r.model, ModelTQ25);
    EXPECT_EQ(r.values[0], -3);  // -2.5 exactly
    EXPECT_EQ(r.values[1], 123);
    ExpectFlags(r, {0, 1});

    // TQ26 in kLx with one decimal, measurement invalid.
    r = Reading(3);
    EXPECT_EQ(r.model, ModelTQ26);
    EXPECT_EQ(r.auxFlag, 1);
    EXPECT_EQ(r.values[0], 123);
    ExpectFlags(r, {0, 1, 1});

    r = Reading(4);
    EXPECT_EQ(r.model, ModelUnnamed);
    EXPECT_EQ(r.serialNumber, 205);
    EXPECT_EQ(r.values[0], 78);
    ExpectFlags(r, {1});

    // TQ22 with no valid probe: average marked absent and 0, probes read all the same.
    r = Reading(5);
    EXPECT_EQ(r.model, ModelTQ22);
    ExpectFlags(r, {2, 2, 2, 2, 2, 2, 2, 2});
    EXPECT_EQ(r.probeValues[7], 80);
    EXPECT_EQ(r.averageFlag, 2);
    EXPECT_EQ(r.average, 0);

    r = Reading(6);
    EXPECT_EQ(r.isBinary, 1);
    EXPECT_EQ(r.binaryState, 0);  // 0.04 is 0 with one decimal

    r = Reading(7);
    EXPECT_EQ(r.model, ModelTQ28);
    EXPECT_EQ(r.auxFlag, 0);
    ExpectFlags(r, {0, 0, 0});
    EXPECT_EQ(r.values[1], -20);
    EXPECT_EQ(r.values[3], 1234);  // two decimals

    // The temperature-only sensor never asks for the humidity register.
    const std::vector<std::string> requests = Requests();
    EXPECT_EQ(Count(requests, "4 240 2"), 0);
    EXPECT_GE(Count(requests, "4 242 2"), 1);
}

// Records are updated in place, and values that do not fit 16 bits are flagged, not wrapped.
TEST_F(Readings, InPlaceUpdatesAndOutOfRangeValues) {
    StartSim(kMixedB);
    StartDriver();
    ASSERT_TRUE(WaitForFirstPublication());
    ASSERT_EQ(Reading(5).model, ModelTQ22);

    sim->Command("input 1 none");
    sim->Command("input 2 type=1 serial=302 valid=0x03 values=4000.0,-4000.0");
    sim->Command("input 3 type=4 serial=303 valid=0x01 format=0x08 values=101325.0");
    sim->Command(
        "input 4 type=7 serial=304 valid=0x03 values=-5000.0,20.0,1.0,2.0,3.0,4.0,5.0,6.0");
    sim->Command("input 5 type=4110 serial=305 valid=0x0F values=4000.0,1.0,2.0,3.0");
    sim->Command("input 6 type=8 serial=306 values=1.0");
    sim->Command("input 7 type=9 serial=307");
    // Wait for a cycle that saw every change (the commands may land mid-cycle).
    ASSERT_TRUE(WaitUntil([this] {
        return Reading(0).model == ModelNone && Reading(1).serialNumber == 302 &&
               Reading(2).serialNumber == 303 && Reading(3).serialNumber == 304 &&
               Reading(4).serialNumber == 305 && Reading(5).isBinary == 1 &&
               Reading(6).model == ModelUnknown;
    }));

    // Nothing connected: only presence, binary flag and model change.
    InputReading r = Reading(0);
    EXPECT_EQ(r.inputState, 0);
    EXPECT_EQ(r.serialNumber, 201);
    EXPECT_EQ(r.values[1], 555);
    EXPECT_EQ(r.status, 0);

    // Humidity and temperature beyond int16 with valid bits: saturated and in error.
    r = Reading(1);
    EXPECT_EQ(r.values[0], 32767);
    EXPECT_EQ(r.values[1], -32768);
    ExpectFlags(r, {1, 1});

    // A pressure in whole pascals does not fit: pressure error, unit still Pa.
    r = Reading(2);
    EXPECT_EQ(r.model, ModelTQ24);
    EXPECT_EQ(r.auxFlag, 0);
    EXPECT_EQ(r.values[0], 32767);
    ExpectFlags(r, {0, 0, 1});

    // A probe that cannot be held counts as absent and leaves the average.
    r = Reading(3);
    EXPECT_EQ(r.model, ModelTQ22);
    ExpectFlags(r, {2, 0, 2});
    EXPECT_EQ(r.averageFlag, 0);
    EXPECT_EQ(r.average, 200);

    // TQ28 permittivity out of range sets its error flag, auxFlag.
    r = Reading(4);
    EXPECT_EQ(r.auxFlag, 1);
    EXPECT_EQ(r.values[0], 32767);
    ExpectFlags(r, {0, 0, 0});

    // TQ22 replaced by a binary input: its serial number and probes stay.
    r = Reading(5);
    EXPECT_EQ(r.model, ModelNone);
    EXPECT_EQ(r.binaryState, 1);
    EXPECT_EQ(r.serialNumber, 206);
    EXPECT_EQ(r.probeValues[7], 80);

    // Binary input replaced by an unknown sensor: no longer shown as binary.
    r = Reading(6);
    EXPECT_EQ(r.isBinary, 0);
    EXPECT_EQ(r.status, 0);
}

}  // namespace
