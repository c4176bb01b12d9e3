#include "os/ConsoleTool.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "os/win32/WideText.h"

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

// The C runtime's rules: 2n backslashes and a quote give n backslashes and open or close
// quoting, 2n+1 give n and a literal quote; "" inside quotes is a literal quote; other
// backslashes are literal. The program's name ends at the first blank or closing quote.
std::vector<std::wstring> SplitCommandLine(std::wstring_view line) {
    std::vector<std::wstring> words;
    std::size_t i = 0;
    std::wstring word;
    if (i < line.size() && line[i] == L'"') {
        for (++i; i < line.size() && line[i] != L'"'; ++i)
            word += line[i];
        if (i < line.size())
            ++i;
    }
    while (i < line.size() && !IsBlank(line[i]))
        word += line[i++];
    words.push_back(word);
    for (;;) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i >= line.size())
            break;
        word.clear();
        bool quoted = false;
        while (i < line.size() && (quoted || !IsBlank(line[i]))) {
            std::size_t slashes = 0;
            while (i < line.size() && line[i] == L'\\') {
                ++slashes;
                ++i;
            }
            if (i < line.size() && line[i] == L'"') {
                word.append(slashes / 2, L'\\');
                if (slashes % 2 == 1) {
                    word += L'"';
                } else if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
                    word += L'"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                word.append(slashes, L'\\');
                if (slashes == 0 && i < line.size())
                    word += line[i++];
            }
        }
        words.push_back(word);
    }
    return words;
}

}  // namespace

std::vector<std::string> ToolArguments(int, char**) {
    const std::vector<std::wstring> words = SplitCommandLine(GetCommandLineW());
    std::vector<std::string> args;
    for (std::size_t k = 1; k < words.size(); ++k)
        args.push_back(Utf8FromWide(words[k]));
    return args;
}

namespace {

UINT consoleCodePage = 0;

void RestoreConsoleCodePage() {
    SetConsoleOutputCP(consoleCodePage);
}

}  // namespace

void UseByteStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // The console keeps its code page after the program: give it back the one it had.
    consoleCodePage = GetConsoleOutputCP();
    if (consoleCodePage != 0 && consoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        std::atexit(RestoreConsoleCodePage);
}
