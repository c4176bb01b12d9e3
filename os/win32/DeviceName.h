#pragma once
#include <filesystem>

// Whether opening the path would open a device rather than a file: a \\.\ path, or a name that
// Windows takes for a device in every folder (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any
// extension). Such a path is refused before it is opened: opening a serial port raises its
// lines, and a console or pipe may block.
bool NamesDevice(const std::filesystem::path& path);
