#pragma once
#include "settings/SettingsNotes.h"
#include "settings/WindowRect.h"

class CIniEx;

// [GENERAL]: the serial link and the main window. The values are the file's defaults, used
// for every key the file lacks.
struct GeneralSettings {
    int portNumber = 0;  // COM number 1..comport::kMaxPort; 0: none chosen
    int baudRate = 0;
    char parity = 'E';
    WindowRect windowRect{100, 50, 700, 550};
    bool alwaysOnTop = false;
    bool showInfoAtStart = true;
    bool operator==(const GeneralSettings&) const = default;
};

// A port number the program cannot map (a damaged file, 2147483647 from an overflowing
// number) is refused: no port is chosen, and a note says so.
GeneralSettings ReadGeneralSettings(const CIniEx& ini, SettingsNotes* notes = nullptr);
void WriteGeneralSettings(CIniEx& ini, const GeneralSettings& general);
