#pragma once
#include <string>
#include <vector>

// What a reader of orvex.ini refused or could not use as written, one line each, naming the
// key and what the program does instead. The program says these lines (the recorder in its log,
// the window on standard error) rather than passing over the value in silence.
using SettingsNotes = std::vector<std::string>;
