#pragma once
#include <string>
#include <string_view>

class CIniEx;

// Text values in orvex.ini are Windows-1250. A text the code page cannot hold is written as
// UTF-8 behind a UTF-8 byte-order mark, so that it reads back intact instead of being mangled.
// Both directions take and give UTF-8.
std::string EncodeIniText(std::string_view utf8);
std::string DecodeIniText(std::string_view bytes);

// A text value as UTF-8, fallback when the key is missing.
std::string ReadIniText(const CIniEx& ini, std::string_view section, std::string_view key,
                        std::string_view fallback = {});
// Paths and face names may hold ";", which the store would take for a comment.
void WriteIniText(CIniEx& ini, std::string_view section, std::string_view key,
                  std::string_view utf8);
