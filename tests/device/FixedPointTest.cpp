#include "device/FixedPoint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

// The device sends single-precision floats; round through float as the wire does.
int16_t Fixed(double value, int decimals, bool* fits = nullptr) {
    int16_t out = 12345;
    const bool ok = ToFixedPoint(static_cast<float>(value), decimals, out);
    if (fits != nullptr) {
        *fits = ok;
    }
    return out;
}

TEST(FixedPoint, RoundsHalfAwayFromZeroAtEachScale) {
    EXPECT_EQ(Fixed(12.34, 0), 12);
    EXPECT_EQ(Fixed(12.34, 1), 123);
    EXPECT_EQ(Fixed(12.34, 2), 1234);
    EXPECT_EQ(Fixed(-12.34, 2), -1234);
    EXPECT_EQ(Fixed(-0.05, 1), -1);
    EXPECT_EQ(Fixed(0.04, 1), 0);
    EXPECT_EQ(Fixed(21.456, 2), 2146);
    EXPECT_EQ(Fixed(1013.26, 0), 1013);
    EXPECT_EQ(Fixed(1013.26, 1), 10133);
    // Exact halves (representable in binary) go away from zero on both sides.
    EXPECT_EQ(Fixed(2.5, 0), 3);
    EXPECT_EQ(Fixed(-2.5, 0), -3);
    EXPECT_EQ(Fixed(0.25, 1), 3);
    EXPECT_EQ(Fixed(-0.25, 1), -3);
    EXPECT_EQ(Fixed(0.125, 2), 13);
    EXPECT_EQ(Fixed(-0.125, 2), -13);
    EXPECT_EQ(Fixed(0.0, 1), 0);
    EXPECT_EQ(Fixed(-0.0, 1), 0);
}

TEST(FixedPoint, ValuesBeyondInt16AreReportedAndSaturated) {
    bool fits = false;
    EXPECT_EQ(Fixed(32767.0, 0, &fits), 32767);
    EXPECT_TRUE(fits);
    EXPECT_EQ(Fixed(-32768.0, 0, &fits), -32768);
    EXPECT_TRUE(fits);
    EXPECT_EQ(Fixed(3276.74, 1, &fits), 32767);
    EXPECT_TRUE(fits);

    // Rounding alone can carry a value over the edge.
    EXPECT_EQ(Fixed(32767.5, 0, &fits), 32767);
    EXPECT_FALSE(fits);
    EXPECT_EQ(Fixed(-32768.5, 0, &fits), -32768);
    EXPECT_FALSE(fits);
    // A pressure in whole pascals at sea level does not fit.
    EXPECT_EQ(Fixed(101325.0, 0, &fits), 32767);
    EXPECT_FALSE(fits);
    EXPECT_EQ(Fixed(-4000.0, 1, &fits), -32768);
    EXPECT_FALSE(fits);
    // The link's float decoding can yield values near the top of the double range.
    EXPECT_EQ(Fixed(3.0e38, 2, &fits), 32767);
    EXPECT_FALSE(fits);
    int16_t out = 7;
    EXPECT_FALSE(ToFixedPoint(1.0e300, 1, out));
    EXPECT_EQ(out, 32767);
    EXPECT_FALSE(ToFixedPoint(-1.0e300, 1, out));
    EXPECT_EQ(out, -32768);
    EXPECT_FALSE(ToFixedPoint(std::nan(""), 1, out));
    EXPECT_EQ(out, 0);
}

}  // namespace
