#pragma once
#include <string>
#include <string_view>

// The store reads a value only up to its last ";" (the rest is a comment). A value that holds
// ";" itself, such as a file path or a font name, is written with one ";" appended, so that it
// reads back whole; a value without ";" is written unchanged, as older files expect.
std::string ProtectSemicolons(std::string_view value);
