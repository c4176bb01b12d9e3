#pragma once
#include <cstdio>
#include <optional>

// Questions a script asks the program instead of repeating its rules:
//   orvex --settings-folder  prints the folder the program keeps orvex.ini in;
//   orvex --settings-port    prints the COM number configured there, 0 when none.
// Answered before Qt starts, so no display is needed. Returns the exit status when argv holds
// one of them, nothing otherwise.
std::optional<int> AnswerSettingsQuery(int argc, char** argv, std::FILE* out);
