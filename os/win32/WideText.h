#pragma once
#include <string>
#include <string_view>

// Text is UTF-8 inside the program; the wide Windows API gets UTF-16 at the edge.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);
