#pragma once
#include <initializer_list>

#include "device/InputReading.h"

// A present reading of the given model with its values, flags and auxiliary flag.
inline InputReading MakeReading(SensorModel model, uint16_t serial,
                                std::initializer_list<int16_t> values,
                                std::initializer_list<uint8_t> flags = {}, uint8_t aux = 0) {
    InputReading r;
    r.model = model;
    r.serialNumber = serial;
    r.auxFlag = aux;
    int i = 0;
    for (int16_t v : values)
        r.values[i++] = v;
    i = 0;
    for (uint8_t f : flags)
        r.valueFlags[i++] = f;
    return r;
}
