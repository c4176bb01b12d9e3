#pragma once
#include <optional>
#include <string>

// The system's own Windows-1250 converter, to check the program's table against: the byte as
// UTF-8, or none when the system leaves it undefined. False from Available() when there is none.
bool SystemCp1250Available();
std::optional<std::string> SystemCp1250ToUtf8(unsigned char byte);
