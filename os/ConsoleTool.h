#pragma once
#include <string>
#include <vector>

// For the command-line tools: the arguments after the program's name, as UTF-8. On Windows they
// come from the wide command line, since the ANSI one cannot hold every file name.
std::vector<std::string> ToolArguments(int argc, char** argv);

// Standard output and error carry the bytes as written: on Windows no CR is added before LF (the
// output is the same file on every platform) and a console shows the UTF-8 texts as such.
void UseByteStreams();
