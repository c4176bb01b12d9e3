#include "os/ConsoleTool.h"

std::vector<std::string> ToolArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void UseByteStreams() {}
