#include "recording/format/FileText.h"

#include "text/Cp1250.h"

std::string FileText(std::string_view utf8) {
    if (auto bytes = cp1250::FromUtf8(utf8)) {
        return *std::move(bytes);
    }
    // Not reachable with the fixed titles; should a foreign character ever slip in, keep the
    // record and its columns, writing '?' for each character the code page lacks.
    std::string out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::size_t end = i + 1;
        while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) {
            ++end;
        }
        out += cp1250::FromUtf8(utf8.substr(i, end - i)).value_or("?");
        i = end;
    }
    return out;
}
