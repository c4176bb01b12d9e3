#include "settings/InputLook.h"

#include "settings/IniText.h"
#include "store/IniEx.h"

namespace {

std::uint32_t Rgb(int red, int green, int blue) {
    return static_cast<std::uint32_t>(red & 0xFF) | static_cast<std::uint32_t>(green & 0xFF) << 8 |
           static_cast<std::uint32_t>(blue & 0xFF) << 16;
}

std::string Section(int n) {
    return "INPUT" + std::to_string(n);
}

}  // namespace

InputLook InputLook::Default(int n) {
    InputLook look;
    look.background = Rgb(202 + 5 * n, 228 + 2 * n, 255);
    look.text = Rgb(10 + 7 * n, 5 * n, 30 + 8 * n);
    return look;
}

InputLook ReadInputLook(const CIniEx& ini, int n) {
    const std::string section = Section(n);
    const InputLook d = InputLook::Default(n);
    InputLook look;
    look.background = ini.GetUnsigned(section, "BACKGROUND_INPUT", d.background);
    look.text = ini.GetUnsigned(section, "TEXT_INPUT", d.text);
    look.fontHeight = ini.GetInt(section, "FONT_HEIGHT_INPUT", d.fontHeight);
    look.fontName = ReadIniText(ini, section, "FONT_NAME_INPUT", d.fontName);
    look.italic = ini.GetInt(section, "FONT_ITALIC_INPUT", d.italic);
    look.weight = ini.GetInt(section, "FONT_WEIGHT_INPUT", d.weight);
    return look;
}

void WriteInputLook(CIniEx& ini, int n, const InputLook& look) {
    const std::string section = Section(n);
    ini.SetUnsigned(section, "BACKGROUND_INPUT", look.background);
    ini.SetUnsigned(section, "TEXT_INPUT", look.text);
    ini.SetInt(section, "FONT_HEIGHT_INPUT", look.fontHeight);
    WriteIniText(ini, section, "FONT_NAME_INPUT", look.fontName);
    ini.SetInt(section, "FONT_ITALIC_INPUT", look.italic);
    ini.SetInt(section, "FONT_WEIGHT_INPUT", look.weight);
}
