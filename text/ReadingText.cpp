#include "text/ReadingText.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The screen always uses a decimal comma, whatever the locale or the recording separator.
constexpr char kComma = ',';

std::string Unsigned(unsigned value) {
    return std::to_string(value);
}

// q in tenths, read as unsigned 16-bit: "q/10,q%10".
std::string UnsignedTenths(int16_t raw) {
    const unsigned q = static_cast<uint16_t>(raw);
    return Unsigned(q / 10) + kComma + Unsigned(q % 10);
}

// Signed tenths: the sign is a separate text so the fraction digit never carries it.
std::string SignedTenths(int16_t raw) {
    const unsigned q = static_cast<unsigned>(std::abs(static_cast<int>(raw)));
    return (raw < 0 ? "-" : "") + Unsigned(q / 10) + kComma + Unsigned(q % 10);
}

std::string SignedHundredths(int16_t raw) {
    const unsigned q = static_cast<unsigned>(std::abs(static_cast<int>(raw)));
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, "%02u", q % 100);
    return (raw < 0 ? "-" : "") + Unsigned(q / 100) + kComma + fraction;
}

// A TQ22 probe or average: the value when its flag is 0, else "---".
std::string ProbeText(uint8_t flag, int16_t raw) {
    return flag == 0 ? SignedTenths(raw) : "---";
}

void AddError(std::string& errors, uint8_t flag, const char* phrase) {
    if (flag != 0) {
        errors += phrase;
    }
}

}  // namespace

ReadingText FormatReading(const InputReading& r) {
    ReadingText t;
    t.serial = Unsigned(r.serialNumber);
    const uint8_t* f = r.valueFlags;
    switch (r.model) {
        case ModelTQ21:
            t.modelName = "TQ21";
            t.value = "RH = " + UnsignedTenths(r.values[0]) +
                      " %, T = " + SignedTenths(r.values[1]) + " °C";
            AddError(t.errors, f[1], "Błąd wilgotności ");
            AddError(t.errors, f[0], "Błąd temperatury ");
            break;
        case ModelTQ22:
            t.modelName = "TQ22";
            for (int j = 0; j < 8; ++j) {
                if (j > 0) {
                    t.value += "    ";
                }
                t.value += "T" + std::to_string(j + 1) + ":" + ProbeText(f[j], r.probeValues[j]);
            }
            t.value += "   ŚR:" + ProbeText(r.averageFlag, r.average) + " °C";
            break;
        case ModelTQ23:
            t.modelName = "TQ23";
            t.value = "RH = " + UnsignedTenths(r.values[1]) +
                      " %, T = " + SignedTenths(r.values[2]) +
                      " °C, P = " + UnsignedTenths(r.values[0]) + " hPa";
            AddError(t.errors, f[2], "Błąd wilgotności ");
            AddError(t.errors, f[1], "Błąd temperatury ");
            AddError(t.errors, f[0], "Błąd ciśnienia ");
            break;
        case ModelTQ24: {
            t.modelName = "TQ24";
            const char* unit = f[1] != 0 ? "hPa" : "Pa";
            t.value = "P = " +
                      (r.auxFlag != 0 ? SignedTenths(r.values[0]) : std::to_string(r.values[0])) +
                      " " + unit;
            AddError(t.errors, f[2], "Błąd ciśnienia ");
            break;
        }
        case ModelTQ25:
            t.modelName = "TQ25";
            t.value = "V = " + UnsignedTenths(r.values[1]) +
                      " m/s, DIR = " + Unsigned(static_cast<uint16_t>(r.values[0])) + " °";
            AddError(t.errors, f[1], "Błąd prędkości ");
            AddError(t.errors, f[0], "Błąd kierunku ");
            break;
        case ModelTQ26: {
            t.modelName = "TQ26";
            const char* unit = f[2] != 0 ? "kLx" : "W/m2";
            t.value = "S = " +
                      (r.auxFlag != 0 ? UnsignedTenths(r.values[0])
                                      : Unsigned(static_cast<uint16_t>(r.values[0]))) +
                      " " + unit;
            AddError(t.errors, f[1], "Błąd pomiaru ");
            break;
        }
        case ModelTQ28:
            t.modelName = "TQ28";
            t.value = "RH = " + UnsignedTenths(r.values[2]) +
                      " %, T = " + SignedHundredths(r.values[3]) +
                      " °C, PE = " + UnsignedTenths(r.values[0]) +
                      ", K = " + UnsignedTenths(r.values[1]) + " mS/m";
            AddError(t.errors, f[2], "Błąd wilgotności ");
            AddError(t.errors, f[1], "Błąd temperatury ");
            AddError(t.errors, r.auxFlag, "Błąd przenikalności elektrycznej ");
            AddError(t.errors, f[0], "Błąd konduktywności ");
            break;
        default:
            t.modelName = "???";
            t.serial = "???";
            t.value = "???";
            break;
    }
    return t;
}

std::string ReadingCaption(const ReadingText& text) {
    return text.modelName + " nr " + text.serial + " " + text.errors;
}

std::string DecimalCommaText(double value, int decimals) {
    if (!std::isfinite(value))
        return "---";
    decimals = decimals < 0 ? 0 : decimals > 6 ? 6 : decimals;
    int64_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    // Whole numbers, not printf: the C locale's decimal point follows LANG in a Qt program.
    const auto scaled = static_cast<int64_t>(std::llround(std::fabs(value) * scale));
    std::string text = (value < 0 && scaled != 0 ? "-" : "") + std::to_string(scaled / scale);
    if (decimals > 0) {
        std::string fraction = std::to_string(scaled % scale);
        text += kComma + std::string(static_cast<std::size_t>(decimals) - fraction.size(), '0') +
                fraction;
    }
    return text;
}
