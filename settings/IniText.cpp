#include "settings/IniText.h"

#include <optional>

#include "store/IniEx.h"
#include "store/IniValue.h"
#include "text/Cp1250.h"

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

}  // namespace

std::string EncodeIniText(std::string_view utf8) {
    if (std::optional<std::string> ansi = cp1250::FromUtf8(utf8);
        ansi && !std::string_view(*ansi).starts_with(kUtf8Mark)) {
        return *ansi;
    }
    return std::string(kUtf8Mark) + std::string(utf8);
}

std::string DecodeIniText(std::string_view bytes) {
    // Anything but a mark followed by valid UTF-8 (a broken one included) is Windows-1250.
    if (bytes.starts_with(kUtf8Mark)) {
        const std::string_view rest = bytes.substr(kUtf8Mark.size());
        cp1250::Failure failure;
        if (cp1250::FromUtf8(rest, &failure) || failure.error != cp1250::Error::InvalidUtf8) {
            return std::string(rest);
        }
    }
    return cp1250::ToUtf8(bytes);
}

std::string ReadIniText(const CIniEx& ini, std::string_view section, std::string_view key,
                        std::string_view fallback) {
    return DecodeIniText(ini.GetText(section, key, EncodeIniText(fallback)));
}

void WriteIniText(CIniEx& ini, std::string_view section, std::string_view key,
                  std::string_view utf8) {
    ini.SetText(section, key, ProtectSemicolons(EncodeIniText(utf8)));
}
