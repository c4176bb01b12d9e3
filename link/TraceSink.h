#pragma once
#include <string>

namespace linktrace {

// Writes one whole line to the standard error stream in one system call, so that the lines
// of different threads stay apart.
void WriteTraceLine(const std::string& line);

}  // namespace linktrace
