#pragma once
#include <QRect>
#include <QStringList>

// What the trend window keeps in orvex.ini (its own section, which older versions ignore).
struct TrendSettings {
    QRect geometry;              // the window's frame; empty: placed by the system
    QStringList hiddenChannels;  // channel keys switched off; new channels start switched on
    int spanSeconds = 600;       // the time span shown while following the newest samples
    // The section is written only once the window has been used (or the file had it), so a
    // program that never opens it writes the same file as before.
    bool inUse = false;
};
