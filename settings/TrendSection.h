#pragma once
#include <string>
#include <vector>

#include "settings/SettingsNotes.h"

class CIniEx;

// [TREND]: the trend window's own section, unknown to older versions (which leave it alone).
struct TrendSection {
    static constexpr int kMinSpan = 60;
    static constexpr int kMaxSpan = 31 * 86400;
    static constexpr int kMaxHiddenChannels = 512;

    // The window's frame; a width or height of 0: placed by the system.
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int spanSeconds = 600;  // the time span shown while following the newest samples
    std::vector<std::string> hiddenChannels;  // channel keys switched off (UTF-8)
    // Written only once the window has been used (or the file had it), so a program that
    // never opens it writes the same file as before.
    bool inUse = false;
    bool operator==(const TrendSection&) const = default;
};

// A frame too small or too large to be a window's is left to the system; a span outside one
// minute .. 31 days is held to that range, with a note.
TrendSection ReadTrendSection(const CIniEx& ini, SettingsNotes* notes = nullptr);
void WriteTrendSection(CIniEx& ini, const TrendSection& trend);
