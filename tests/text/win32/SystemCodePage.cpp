#include <windows.h>

#include "tests/text/SystemCodePage.h"

bool SystemCp1250Available() {
    return IsValidCodePage(1250);
}

std::optional<std::string> SystemCp1250ToUtf8(unsigned char byte) {
    const char in = static_cast<char>(byte);
    wchar_t wide[4] = {};
    // MB_ERR_INVALID_CHARS: the bytes the code page leaves undefined fail instead of mapping.
    const int n = MultiByteToWideChar(1250, MB_ERR_INVALID_CHARS, &in, 1, wide, 4);
    if (n <= 0)
        return std::nullopt;
    char out[16] = {};
    const int m = WideCharToMultiByte(CP_UTF8, 0, wide, n, out, sizeof out, nullptr, nullptr);
    if (m <= 0)
        return std::nullopt;
    return std::string(out, static_cast<std::size_t>(m));
}
