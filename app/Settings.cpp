#include "app/Settings.h"

#include <QStringDecoder>
#include <algorithm>
#include <cstdint>
#include <exception>
#include <limits>

#include "store/IniEx.h"
#include "store/IniValue.h"
#include "link/ComPortMap.h"
#include "publish/MqttSettings.h"
#include "text/Cp1250.h"
#include "ui/OrvexDlg.h"

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr const char* kLog = "LOG";
constexpr const char* kGeneral = "GENERAL";

std::string InputSection(int n) {
    return "INPUT" + std::to_string(n);
}
std::string RecordInputKey(int n) {
    return "FILE_INPUT" + std::to_string(n);
}

Colour DefaultBackground(int n) {
    return Rgb(202 + 5 * n, 228 + 2 * n, 255);
}
Colour DefaultText(int n) {
    return Rgb(10 + 7 * n, 5 * n, 30 + 8 * n);
}

QString ReadText(const CIniEx& ini, std::string_view section, std::string_view key,
                 const QString& fallback) {
    return DecodeIniText(ini.GetText(section, key, EncodeIniText(fallback)));
}

// Paths and face names may hold ";", which the store would take for a comment.
void WriteProtectedText(CIniEx& ini, std::string_view section, std::string_view key,
                        const QString& value) {
    ini.SetText(section, key, ProtectSemicolons(EncodeIniText(value)));
}

int Flag(bool on) {
    return on ? 1 : 0;
}

}  // namespace

std::string EncodeIniText(const QString& text) {
    const std::string utf8 = text.toStdString();
    if (std::optional<std::string> ansi = cp1250::FromUtf8(utf8);
        ansi && !std::string_view(*ansi).starts_with(kUtf8Mark)) {
        return *ansi;
    }
    return std::string(kUtf8Mark) + utf8;
}

QString DecodeIniText(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Mark)) {
        const std::string_view rest = bytes.substr(kUtf8Mark.size());
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(QByteArrayView(rest.data(), qsizetype(rest.size())));
        if (!decoder.hasError()) {
            return text;
        }
    }
    return QString::fromStdString(cp1250::ToUtf8(bytes));
}

namespace {

// The trend window's section, unknown to older versions (which leave it alone).
constexpr const char* kTrend = "TREND";
constexpr int kMaxHiddenChannels = 512;

}  // namespace

void LoadTrendSettings(const CIniEx& ini, TrendSettings& trend) {
    trend.inUse = ini.GetText(kTrend, "SPAN", "-") != "-";
    const int width = ini.GetInt(kTrend, "WINDOW_WIDTH", 0);
    const int height = ini.GetInt(kTrend, "WINDOW_HEIGHT", 0);
    if (width >= 200 && height >= 150 && width <= 20000 && height <= 20000) {
        trend.geometry = QRect(ini.GetInt(kTrend, "WINDOW_LEFT", 0),
                               ini.GetInt(kTrend, "WINDOW_TOP", 0), width, height);
    }
    trend.spanSeconds = std::clamp(ini.GetInt(kTrend, "SPAN", 600), 60, 31 * 86400);
    const int hidden = std::clamp(ini.GetInt(kTrend, "HIDDEN_COUNT", 0), 0, kMaxHiddenChannels);
    trend.hiddenChannels.clear();
    for (int i = 0; i < hidden; ++i) {
        const QString key = ReadText(ini, kTrend, "HIDDEN" + std::to_string(i), QString());
        if (!key.isEmpty())
            trend.hiddenChannels.append(key);
    }
}

void SaveTrendSettings(CIniEx& ini, const TrendSettings& trend) {
    if (!trend.inUse)
        return;
    ini.SetInt(kTrend, "WINDOW_LEFT", trend.geometry.left());
    ini.SetInt(kTrend, "WINDOW_TOP", trend.geometry.top());
    ini.SetInt(kTrend, "WINDOW_WIDTH", trend.geometry.width());
    ini.SetInt(kTrend, "WINDOW_HEIGHT", trend.geometry.height());
    ini.SetInt(kTrend, "SPAN", trend.spanSeconds);
    const int hidden =
        std::min<int>(static_cast<int>(trend.hiddenChannels.size()), kMaxHiddenChannels);
    ini.SetInt(kTrend, "HIDDEN_COUNT", hidden);
    for (int i = 0; i < hidden; ++i)
        WriteProtectedText(ini, kTrend, "HIDDEN" + std::to_string(i), trend.hiddenChannels[i]);
}

void LoadSettings(const CIniEx& ini, COrvexDlg& window) {
    try {
        for (int n = 0; n < 8; ++n) {
            const std::string section = InputSection(n);
            CColorStatic& control = window.valueControls[n];
            control.SetBackgroundColour(
                ini.GetUnsigned(section, "BACKGROUND_INPUT", DefaultBackground(n)));
            control.SetTextColour(ini.GetUnsigned(section, "TEXT_INPUT", DefaultText(n)));
            FontDescription font = control.GetFontDescription();
            font.height = ini.GetInt(section, "FONT_HEIGHT_INPUT", 25);
            font.SetFaceName(ReadText(ini, section, "FONT_NAME_INPUT", QStringLiteral("Arial")));
            font.italic = static_cast<std::uint8_t>(ini.GetInt(section, "FONT_ITALIC_INPUT", 0));
            font.weight = ini.GetInt(section, "FONT_WEIGHT_INPUT", 0);
            control.SetFontDescription(font);
            window.recordInput[n] = ini.GetInt(kLog, RecordInputKey(n), 1);
        }
        // Only a COM number the program can map is a port; anything else (a damaged file,
        // 2147483647 from an overflowing number) counts as none chosen.
        const int port = ini.GetInt(kGeneral, "PORT_NR", 0);
        window.portNumber = port >= 1 && port <= comport::kMaxPort ? port : 0;
        window.baudRate = ini.GetInt(kGeneral, "PORT_SPEED", 0);
        window.parity = static_cast<char>(ini.GetInt(kGeneral, "PORT_PARITY", 'E') & 0xFF);
        window.windowRect.top = ini.GetInt(kGeneral, "WINDOW_TOP", 50);
        window.windowRect.bottom = ini.GetInt(kGeneral, "WINDOW_BOTTOM", 550);
        window.windowRect.left = ini.GetInt(kGeneral, "WINDOW_LEFT", 100);
        window.windowRect.right = ini.GetInt(kGeneral, "WINDOW_RIGHT", 700);
        window.textFilePath = ReadText(ini, kLog, "FILE_NAME", QString());
        window.binaryFilePath = ReadText(ini, kLog, "FILE_NAME_BIN", QString());
        window.textRecordingOn = ini.GetInt(kLog, "FILE_LOG", 0) != 0;
        window.binaryRecordingOn = ini.GetInt(kLog, "FILE_LOG_BIN", 0) != 0;
        window.separatorCode = ini.GetInt(kLog, "FILE_SEP_FORMAT", 0);
        window.recordingInterval = ini.GetInt(kLog, "FILE_INTERVAL", 60);
        window.alwaysOnTop = ini.GetInt(kGeneral, "TOPMOST", 0) != 0;
        window.writeComment = ini.GetInt(kLog, "FILE_CHECK_COMMENT", 0);
        window.showInfoAtStart = ini.GetInt(kGeneral, "SHOW_ADV", 1) != 0;
        window.mqttSettings = ReadMqttSettings(ini);
        LoadTrendSettings(ini, window.trendSettings);
    } catch (const std::exception&) {
        // Out of memory while reading: the fields not read yet keep their built-in values.
    }
}

void SaveSettings(CIniEx& ini, const COrvexDlg& window) {
    try {
        for (int n = 0; n < 8; ++n) {
            const std::string section = InputSection(n);
            const CColorStatic& control = window.valueControls[n];
            const FontDescription& font = control.GetFontDescription();
            ini.SetUnsigned(section, "BACKGROUND_INPUT", control.GetBackgroundColour());
            ini.SetUnsigned(section, "TEXT_INPUT", control.GetTextColour());
            ini.SetInt(section, "FONT_HEIGHT_INPUT", font.height);
            WriteProtectedText(ini, section, "FONT_NAME_INPUT", font.FaceName());
            ini.SetInt(section, "FONT_ITALIC_INPUT", font.italic);
            ini.SetInt(section, "FONT_WEIGHT_INPUT", font.weight);
            ini.SetInt(kLog, RecordInputKey(n), window.recordInput[n]);
        }
        ini.SetInt(kGeneral, "PORT_NR", window.portNumber);
        ini.SetInt(kGeneral, "PORT_SPEED", window.baudRate);
        ini.SetInt(kGeneral, "PORT_PARITY", static_cast<signed char>(window.parity));
        ini.SetInt(kGeneral, "WINDOW_TOP", window.windowRect.top);
        ini.SetInt(kGeneral, "WINDOW_BOTTOM", window.windowRect.bottom);
        ini.SetInt(kGeneral, "WINDOW_LEFT", window.windowRect.left);
        ini.SetInt(kGeneral, "WINDOW_RIGHT", window.windowRect.right);
        WriteProtectedText(ini, kLog, "FILE_NAME", window.textFilePath);
        WriteProtectedText(ini, kLog, "FILE_NAME_BIN", window.binaryFilePath);
        ini.SetInt(kLog, "FILE_LOG", Flag(window.textRecordingOn));
        ini.SetInt(kLog, "FILE_LOG_BIN", Flag(window.binaryRecordingOn));
        ini.SetInt(kLog, "FILE_SEP_FORMAT", window.separatorCode);
        ini.SetInt(kLog, "FILE_INTERVAL", window.recordingInterval);
        ini.SetInt(kGeneral, "TOPMOST", Flag(window.alwaysOnTop));
        ini.SetInt(kLog, "FILE_CHECK_COMMENT", window.writeComment);
        ini.SetInt(kGeneral, "SHOW_ADV", Flag(window.showInfoAtStart));
        // A file that never had publishing keeps the layout older versions wrote.
        if (HasMqttSection(ini) || window.mqttSettings != MqttSettings{}) {
            WriteMqttSettings(ini, window.mqttSettings);
        }
        SaveTrendSettings(ini, window.trendSettings);
    } catch (const std::exception&) {
        // Out of memory while writing: the keys written so far are saved.
    }
}

WindowRect ClampWindowRect(WindowRect rect, int screenWidth, int screenHeight) {
    // 64-bit arithmetic: the edges come from a file and may be anywhere in the int range.
    std::int64_t left = rect.left, top = rect.top, right = rect.right, bottom = rect.bottom;
    if (right > std::int64_t{screenWidth} + 10) {
        left -= right - screenWidth;
        right = screenWidth;
    }
    if (bottom > std::int64_t{screenHeight} + 10) {
        top -= bottom - screenHeight;
        bottom = screenHeight;
    }
    if (top < -10) {
        top = 0;
    }
    if (left < -10) {
        left = 0;
    }
    auto toInt = [](std::int64_t v) {
        return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                         std::numeric_limits<int>::max()));
    };
    return WindowRect{toInt(left), toInt(top), toInt(right), toInt(bottom)};
}
