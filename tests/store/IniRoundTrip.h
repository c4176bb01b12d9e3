#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "store/IniEx.h"

// Parse-write-parse check shared by the randomised test and the fuzz target. Empty when the
// written form of text reads back as the same content (a header without entries aside, which
// is dropped by design) and writing that again gives the same bytes; else what went wrong.
inline std::string CheckRoundTrip(std::string_view text, bool caseInsensitive) {
    CIniEx first;
    first.LoadText(text, caseInsensitive);
    std::vector<IniSection> expected;
    for (std::size_t i = 0; i < first.Sections().size(); ++i) {
        if (i == 0 || !first.Sections()[i].entries.empty()) {
            expected.push_back(first.Sections()[i]);
        }
    }
    const std::string written = first.ToText();
    CIniEx second;
    second.LoadText(written, caseInsensitive);
    if (second.Sections() != expected) {
        return "content changed by a save";
    }
    if (second.ToText() != written) {
        return "second save wrote different bytes";
    }
    for (const IniSection& section : expected) {
        for (const IniEntry& entry : section.entries) {
            // Every lookup answers the same after the save (integer parses included).
            if (first.GetText(section.name, entry.Key(), "\x01") !=
                    second.GetText(section.name, entry.Key(), "\x01") ||
                first.GetInt(section.name, entry.Key(), -7) !=
                    second.GetInt(section.name, entry.Key(), -7) ||
                first.GetUnsigned(section.name, entry.Key(), 7) !=
                    second.GetUnsigned(section.name, entry.Key(), 7)) {
                return "a lookup changed by a save";
            }
        }
    }
    return {};
}
