#pragma once
#include <string_view>

// A value cell of the text recording: "-12.34", "1013", "???" (NaN, decimals -1), or a binary
// input's "1 - włączone" / "0 - wyłączone" (the state). False for anything else.
bool ParseRecordingCell(std::string_view cell, float& value, int& decimals);
