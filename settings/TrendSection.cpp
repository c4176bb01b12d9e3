#include "settings/TrendSection.h"

#include <algorithm>

#include "settings/IniText.h"
#include "store/IniEx.h"

namespace {

constexpr const char* kTrend = "TREND";

std::string HiddenKey(int i) {
    return "HIDDEN" + std::to_string(i);
}

}  // namespace

TrendSection ReadTrendSection(const CIniEx& ini, SettingsNotes* notes) {
    TrendSection trend;
    trend.inUse = ini.GetText(kTrend, "SPAN", "-") != "-";
    const int width = ini.GetInt(kTrend, "WINDOW_WIDTH", 0);
    const int height = ini.GetInt(kTrend, "WINDOW_HEIGHT", 0);
    if (width >= 200 && height >= 150 && width <= 20000 && height <= 20000) {
        trend.left = ini.GetInt(kTrend, "WINDOW_LEFT", 0);
        trend.top = ini.GetInt(kTrend, "WINDOW_TOP", 0);
        trend.width = width;
        trend.height = height;
    }
    const int span = ini.GetInt(kTrend, "SPAN", trend.spanSeconds);
    trend.spanSeconds = std::clamp(span, TrendSection::kMinSpan, TrendSection::kMaxSpan);
    if (span != trend.spanSeconds && notes != nullptr) {
        notes->push_back("SPAN=" + std::to_string(span) + " in [TREND] is outside " +
                         std::to_string(TrendSection::kMinSpan) + "-" +
                         std::to_string(TrendSection::kMaxSpan) +
                         " s: " + std::to_string(trend.spanSeconds) + " s is shown");
    }
    const int hidden =
        std::clamp(ini.GetInt(kTrend, "HIDDEN_COUNT", 0), 0, TrendSection::kMaxHiddenChannels);
    for (int i = 0; i < hidden; ++i) {
        std::string key = ReadIniText(ini, kTrend, HiddenKey(i));
        if (!key.empty()) {
            trend.hiddenChannels.push_back(std::move(key));
        }
    }
    return trend;
}

void WriteTrendSection(CIniEx& ini, const TrendSection& trend) {
    if (!trend.inUse) {
        return;
    }
    ini.SetInt(kTrend, "WINDOW_LEFT", trend.left);
    ini.SetInt(kTrend, "WINDOW_TOP", trend.top);
    ini.SetInt(kTrend, "WINDOW_WIDTH", trend.width);
    ini.SetInt(kTrend, "WINDOW_HEIGHT", trend.height);
    ini.SetInt(kTrend, "SPAN", trend.spanSeconds);
    const int hidden = std::min<int>(static_cast<int>(trend.hiddenChannels.size()),
                                     TrendSection::kMaxHiddenChannels);
    ini.SetInt(kTrend, "HIDDEN_COUNT", hidden);
    for (int i = 0; i < hidden; ++i) {
        WriteIniText(ini, kTrend, HiddenKey(i), trend.hiddenChannels[i]);
    }
}
