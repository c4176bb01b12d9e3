#pragma once
#include <cstdint>

// value × 10^decimals rounded half away from zero, the fixed-point form every measured
// value travels in. Returns false when the result does not fit a signed 16-bit number;
// out is then saturated to the nearest bound (0 for a value that is not a number).
bool ToFixedPoint(double value, int decimals, int16_t& out);
