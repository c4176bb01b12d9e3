#pragma once
#include <cstdint>

// Raw code of an input's type register.
enum SensorType : uint16_t {
    SensorTypeTQ21 = 1,
    SensorTypeTQ23 = 2,
    SensorTypeTQ24Hpa = 3,
    SensorTypeTQ24Pa = 4,
    SensorTypeTQ25 = 5,
    SensorTypeTQ21TempOnly = 6,
    SensorTypeTQ22 = 7,
    SensorTypeBinary = 8,
    SensorTypeTQ26 = 4099,
    SensorTypeUnnamed = 4100,
    SensorTypeTQ28 = 4110,
};

// Model code on which display and recording switch.
enum SensorModel : int32_t {
    ModelNone = 0,  // nothing connected, or a binary input
    ModelUnknown = 1,
    ModelTQ21 = 4,
    ModelTQ22 = 5,
    ModelTQ23 = 6,
    ModelTQ24 = 7,
    ModelTQ25 = 8,
    ModelTQ26 = 9,
    ModelUnnamed = 11,  // type 4100: no presentation, shown like an unknown sensor
    ModelTQ28 = 12,
};

// Flag values of valueFlags and averageFlag.
enum : uint8_t { FlagValid = 0, FlagError = 1, FlagAbsent = 2 };

// One input's reading as the polling thread keeps and publishes it.
struct InputReading {
    uint8_t inputState = 0;
    uint8_t isBinary = 0;
    uint8_t binaryState = 0;
    SensorModel model = ModelNone;
    uint16_t serialNumber = 0;
    uint8_t auxFlag = 0;
    uint8_t valueFlags[8] = {};
    int16_t values[4] = {};
    int16_t probeValues[8] = {};
    uint8_t averageFlag = 0;
    int16_t average = 0;
    uint8_t status = 0;  // 3 while a read is incomplete or failed, 0 after a complete read
    // The type register as read: a temperature-only TQ21 looks like a TQ21 with 0 % humidity.
    uint16_t sensorType = 0;
};
