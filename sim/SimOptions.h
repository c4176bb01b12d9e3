#pragma once
#include <optional>
#include <string>
#include <vector>

#include "sim/SimDevice.h"

// The command line of orvex-sim.
struct SimCommandLine {
    std::string config;
    bool demo = false;
    int address = 1;
    std::string device;
    std::string link;
    int baud = 9600;
    bool wireSpeed = false;
    bool drift = false;
    bool log = false;
    FaultMode fault = FaultMode::None;
    int slowMs = 2000;
    bool exitOnEof = false;
    // A written value arrives low byte first, as at the concentrator; false for a standard slave.
    bool writeLowFirst = true;
};

// Parses argv (without the program name). Returns nothing and sets `error` on a bad option.
std::optional<SimCommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                               std::string& error);

extern const char* const kSimUsage;
