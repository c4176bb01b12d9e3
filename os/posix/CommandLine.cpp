#include "os/CommandLine.h"

std::vector<std::string> CommandLineArgs(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}
