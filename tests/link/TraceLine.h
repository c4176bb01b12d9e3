#pragma once
#include <cctype>
#include <cstddef>
#include <sstream>
#include <string>

// Whether the link trace holds a line "orvex HH:MM:SS.uuuuuu <body>...".
inline bool HasTraceLine(const std::string& output, const std::string& body) {
    std::istringstream lines(output);
    const std::string pattern = "orvex 99:99:99.999999 ";
    for (std::string line; std::getline(lines, line);) {
        if (line.size() < pattern.size() + body.size())
            continue;
        bool stamped = true;
        for (std::size_t i = 0; i < pattern.size() && stamped; ++i) {
            stamped = pattern[i] == '9' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                        : line[i] == pattern[i];
        }
        if (stamped && line.compare(pattern.size(), body.size(), body) == 0)
            return true;
    }
    return false;
}
