#pragma once
#include <cstdint>
#include <string>

class CIniEx;

// [INPUTn], n = 0..7 for inputs 1..8: how one value control looks. Colours are 0x00BBGGRR.
struct InputLook {
    std::uint32_t background = 0;
    std::uint32_t text = 0;
    int fontHeight = 25;
    std::string fontName = "Arial";  // UTF-8
    int italic = 0;
    int weight = 0;
    bool operator==(const InputLook&) const = default;

    // The file's defaults for input n.
    static InputLook Default(int n);
};

InputLook ReadInputLook(const CIniEx& ini, int n);
void WriteInputLook(CIniEx& ini, int n, const InputLook& look);
