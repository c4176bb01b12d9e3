#include "trend/CellValue.h"

#include <cstdint>
#include <limits>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

bool ParseRecordingCell(std::string_view cell, float& value, int& decimals) {
    if (cell == "???") {
        value = std::numeric_limits<float>::quiet_NaN();
        decimals = -1;
        return true;
    }
    std::size_t i = 0;
    const bool negative = !cell.empty() && cell[0] == '-';
    if (negative)
        i = 1;
    int64_t mantissa = 0;
    std::size_t whole = 0;
    for (; i < cell.size() && IsDigit(cell[i]) && whole < 12; ++i, ++whole)
        mantissa = mantissa * 10 + (cell[i] - '0');
    if (whole == 0)
        return false;
    decimals = 0;
    if (i < cell.size() && cell[i] == '.') {
        ++i;
        for (; i < cell.size() && IsDigit(cell[i]) && decimals < 6; ++i, ++decimals)
            mantissa = mantissa * 10 + (cell[i] - '0');
        if (decimals == 0)
            return false;
    } else if (i < cell.size() && cell.substr(i, 3) == " - " && whole == 1) {
        i = cell.size();  // binary input: the digit is the state
    }
    if (i != cell.size())
        return false;
    value = ScaledCell(mantissa, decimals, negative);
    return true;
}
