#include "app/Settings.h"

#include <QtGlobal>
#include <cstdint>
#include <exception>

#include "settings/OrvexSettings.h"
#include "store/IniEx.h"
#include "ui/OrvexDlg.h"

namespace {

void ApplyLook(CColorStatic& control, const InputLook& look) {
    control.SetBackgroundColour(look.background);
    control.SetTextColour(look.text);
    FontDescription font = control.GetFontDescription();
    font.height = look.fontHeight;
    font.SetFaceName(QString::fromStdString(look.fontName));
    font.italic = static_cast<std::uint8_t>(look.italic);
    font.weight = look.weight;
    control.SetFontDescription(font);
}

InputLook LookOf(const CColorStatic& control) {
    const FontDescription& font = control.GetFontDescription();
    return InputLook{control.GetBackgroundColour(),
                     control.GetTextColour(),
                     font.height,
                     font.FaceName().toStdString(),
                     font.italic,
                     font.weight};
}

TrendSettings FromSection(const TrendSection& section) {
    TrendSettings trend;
    trend.inUse = section.inUse;
    if (section.width > 0 && section.height > 0) {
        trend.geometry = QRect(section.left, section.top, section.width, section.height);
    }
    trend.spanSeconds = section.spanSeconds;
    for (const std::string& key : section.hiddenChannels) {
        trend.hiddenChannels.append(QString::fromStdString(key));
    }
    return trend;
}

TrendSection ToSection(const TrendSettings& trend) {
    TrendSection section;
    section.inUse = trend.inUse;
    section.left = trend.geometry.left();
    section.top = trend.geometry.top();
    section.width = trend.geometry.width();
    section.height = trend.geometry.height();
    section.spanSeconds = trend.spanSeconds;
    for (const QString& key : trend.hiddenChannels) {
        section.hiddenChannels.push_back(key.toStdString());
    }
    return section;
}

}  // namespace

void LoadTrendSettings(const CIniEx& ini, TrendSettings& trend) {
    trend = FromSection(ReadTrendSection(ini));
}

void SaveTrendSettings(CIniEx& ini, const TrendSettings& trend) {
    WriteTrendSection(ini, ToSection(trend));
}

void LoadSettings(const CIniEx& ini, COrvexDlg& window) {
    try {
        SettingsNotes notes;
        const OrvexSettings read = ReadOrvexSettings(ini, &notes);
        for (const std::string& note : notes) {
            qWarning("orvex.ini: %s", note.c_str());
        }
        window.settings = read;
        for (int n = 0; n < 8; ++n) {
            ApplyLook(window.valueControls[n], read.inputs[n]);
        }
        window.trendSettings = FromSection(read.trend);
    } catch (const std::exception&) {
        // Out of memory while reading: the window keeps its built-in values.
    }
}

void SaveSettings(CIniEx& ini, const COrvexDlg& window) {
    try {
        // The looks and the trend window's section change in their own widgets.
        OrvexSettings saved = window.settings;
        for (int n = 0; n < 8; ++n) {
            saved.inputs[n] = LookOf(window.valueControls[n]);
        }
        saved.trend = ToSection(window.trendSettings);
        WriteOrvexSettings(ini, saved);
    } catch (const std::exception&) {
        // Out of memory while writing: the keys written so far are saved.
    }
}
