#pragma once
#include <string>

struct ToolRun {
    int status = -1;  // the exit code; -1 when the program did not end by itself
    std::string out;  // standard output and error, as bytes
};

// Runs orvex-qdx with the arguments (blank-separated, no quoting needed) and collects what it
// prints.
ToolRun RunQdxTool(const std::string& args);
