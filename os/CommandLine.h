#pragma once
#include <string>
#include <vector>

// The program's arguments as UTF-8, whatever the system's code page (Windows hands main its
// arguments in the ANSI code page, which loses letters it cannot hold).
std::vector<std::string> CommandLineArgs(int argc, char** argv);
