#include <cstdint>

#include "device/OrvexDriver.h"

// How one input's register block is turned into its InputReading. The record is updated in
// place: what a sensor type does not write keeps its previous value, and status stays 3
// until every read of the input has succeeded.

namespace {

constexpr uint16_t kOffPresence = 0;
constexpr uint16_t kOffValidity = 1;
constexpr uint16_t kOffSerial = 2;
constexpr uint16_t kOffType = 4;
constexpr uint16_t kOffFormat = 10;
constexpr uint16_t kOffValues = 40;  // floats in register pairs: +40, +42, ...

constexpr uint16_t kFormatWholeUnits = 1u << 3;
constexpr uint16_t kFormatKlx = 1u << 1;

// Error flag for a validity bit: a cleared bit means the value is not valid.
uint8_t ErrorIfClear(uint16_t validity, int bit) {
    return (validity >> bit) & 1u ? FlagValid : FlagError;
}

bool UsesFormatWord(uint16_t type) {
    return type == SensorTypeTQ24Hpa || type == SensorTypeTQ24Pa || type == SensorTypeTQ26;
}

}  // namespace

int COrvexDriver::ReadValue(uint16_t reg, int16_t& out, int decimals, uint8_t& errorFlag,
                            uint8_t errorValue) {
    bool inRange = true;
    const int rc = ReadScaled(Slave(), reg, out, decimals, false, &inRange);
    if (rc == 0 && !inRange) {
        errorFlag = errorValue;
    }
    return rc;
}

int COrvexDriver::ReadInput(uint8_t input, InputReading& out) {
    if (input > 7) {
        return 1;
    }
    const uint8_t slave = Slave();
    const uint16_t base = static_cast<uint16_t>(100 * (input + 1));
    const uint16_t values = base + kOffValues;

    uint16_t presence = 0;
    if (int rc = ReadWord(slave, base + kOffPresence, presence, false); rc != 0) {
        // Even the first read failed: nothing of this input is current.
        out.status = 3;
        return rc;
    }
    if (presence == 0) {
        out.inputState = 0;
        out.isBinary = 0;
        out.model = ModelNone;
        return 0;
    }
    out.status = 3;
    out.inputState = static_cast<uint8_t>(presence & 0xFF);

    uint16_t validity = 0;
    uint16_t serial = 0;
    uint16_t type = 0;
    if (int rc = ReadWord(slave, base + kOffValidity, validity, false); rc != 0) {
        return rc;
    }
    if (int rc = ReadWord(slave, base + kOffSerial, serial, false); rc != 0) {
        return rc;
    }
    if (int rc = ReadWord(slave, base + kOffType, type, false); rc != 0) {
        return rc;
    }
    out.sensorType = type;
    uint16_t format = 0;
    if (UsesFormatWord(type)) {
        if (int rc = ReadWord(slave, base + kOffFormat, format, false); rc != 0) {
            return rc;
        }
    }

    // The common part of every type that names a measuring sensor.
    auto begin = [&](SensorModel model) {
        out.isBinary = 0;
        out.model = model;
        out.serialNumber = serial;
        out.auxFlag = 0;
    };
    int rc = 0;
    switch (type) {
        case SensorTypeTQ21:
            begin(ModelTQ21);
            out.valueFlags[1] = ErrorIfClear(validity, 0);
            out.valueFlags[0] = ErrorIfClear(validity, 1);
            if ((rc = ReadValue(values + 0, out.values[0], 1, out.valueFlags[1])) != 0 ||
                (rc = ReadValue(values + 2, out.values[1], 1, out.valueFlags[0])) != 0) {
                return rc;
            }
            break;
        case SensorTypeTQ21TempOnly:
            begin(ModelTQ21);
            out.valueFlags[1] = FlagValid;
            out.valueFlags[0] = ErrorIfClear(validity, 1);
            out.values[0] = 0;
            if ((rc = ReadValue(values + 2, out.values[1], 1, out.valueFlags[0])) != 0) {
                return rc;
            }
            break;
        case SensorTypeTQ22: {
            begin(ModelTQ22);
            int32_t sum = 0;
            int32_t count = 0;
            for (int j = 0; j < 8; ++j)
                out.valueFlags[j] = (validity >> j) & 1u ? FlagValid : FlagAbsent;
            for (int j = 0; j < 8; ++j) {
                // A probe whose value cannot be held counts as absent, out of the average.
                if ((rc = ReadValue(static_cast<uint16_t>(values + 2 * j), out.probeValues[j], 1,
                                    out.valueFlags[j], FlagAbsent)) != 0) {
                    return rc;
                }
                if (out.valueFlags[j] == FlagValid) {
                    sum += out.probeValues[j];
                    ++count;
                }
            }
            out.averageFlag = count > 0 ? FlagValid : FlagAbsent;
            out.average = static_cast<int16_t>(count > 0 ? sum / count : 0);
            break;
        }
        case SensorTypeTQ23:
            begin(ModelTQ23);
            out.valueFlags[2] = ErrorIfClear(validity, 0);
            out.valueFlags[1] = ErrorIfClear(validity, 1);
            out.valueFlags[0] = ErrorIfClear(validity, 2);
            if ((rc = ReadValue(values + 0, out.values[1], 1, out.valueFlags[2])) != 0 ||
                (rc = ReadValue(values + 2, out.values[2], 1, out.valueFlags[1])) != 0 ||
                (rc = ReadValue(values + 4, out.values[0], 1, out.valueFlags[0])) != 0) {
                return rc;
            }
            break;
        case SensorTypeTQ24Hpa:
        case SensorTypeTQ24Pa:
            begin(ModelTQ24);
            out.valueFlags[0] = FlagValid;
            out.valueFlags[2] = ErrorIfClear(validity, 0);
            out.valueFlags[1] = type == SensorTypeTQ24Hpa ? 1 : 0;  // unit: 1 hPa, 0 Pa
            out.auxFlag = (format & kFormatWholeUnits) == 0 ? 1 : 0;
            if ((rc = ReadValue(values + 0, out.values[0], out.auxFlag, out.valueFlags[2])) != 0) {
                return rc;
            }
            break;
        case SensorTypeTQ25:
            begin(ModelTQ25);
            out.valueFlags[0] = ErrorIfClear(validity, 0);
            out.valueFlags[1] = ErrorIfClear(validity, 1);
            if ((rc = ReadValue(values + 0, out.values[0], 0, out.valueFlags[0])) != 0 ||
                (rc = ReadValue(values + 2, out.values[1], 1, out.valueFlags[1])) != 0) {
                return rc;
            }
            break;
        case SensorTypeTQ26:
            begin(ModelTQ26);
            out.valueFlags[0] = FlagValid;
            out.valueFlags[1] = ErrorIfClear(validity, 0);
            out.auxFlag = (format & kFormatWholeUnits) == 0 ? 1 : 0;
            out.valueFlags[2] = (format & kFormatKlx) != 0 ? 1 : 0;  // unit: 1 kLx, 0 W/m2
            if ((rc = ReadValue(values + 0, out.values[0], out.auxFlag, out.valueFlags[1])) != 0) {
                return rc;
            }
            break;
        case SensorTypeUnnamed:
            begin(ModelUnnamed);
            out.valueFlags[0] = ErrorIfClear(validity, 0);
            if ((rc = ReadValue(values + 0, out.values[0], 1, out.valueFlags[0])) != 0) {
                return rc;
            }
            break;
        case SensorTypeBinary: {
            out.isBinary = 1;
            out.model = ModelNone;
            // A value beyond int16 saturates, which still reads as "on".
            int16_t state = 0;
            if ((rc = ReadScaled(slave, values + 0, state, 1, false)) != 0) {
                return rc;
            }
            out.binaryState = state != 0 ? 1 : 0;
            break;
        }
        case SensorTypeTQ28:
            begin(ModelTQ28);
            out.auxFlag = ErrorIfClear(validity, 0);
            out.valueFlags[0] = ErrorIfClear(validity, 1);
            out.valueFlags[2] = ErrorIfClear(validity, 2);
            out.valueFlags[1] = ErrorIfClear(validity, 3);
            if ((rc = ReadValue(values + 0, out.values[0], 1, out.auxFlag)) != 0 ||
                (rc = ReadValue(values + 2, out.values[1], 1, out.valueFlags[0])) != 0 ||
                (rc = ReadValue(values + 4, out.values[2], 1, out.valueFlags[2])) != 0 ||
                (rc = ReadValue(values + 6, out.values[3], 2, out.valueFlags[1])) != 0) {
                return rc;
            }
            break;
        default:
            // Unknown sensor: no values to read. isBinary is cleared too, so that a binary
            // input replaced by an unknown sensor is not shown as binary any more.
            out.isBinary = 0;
            out.model = ModelUnknown;
            break;
    }
    out.status = 0;
    return 0;
}
