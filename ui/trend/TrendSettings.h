#pragma once
#include <QRect>
#include <QStringList>

// What the trend window keeps in orvex.ini (its own section, which older versions ignore).
struct TrendSettings {
    QRect geometry;              // the window's frame; empty: placed by the system
    QStringList hiddenChannels;  // channel keys switched off; new channels start switched on
    int spanSeconds = 600;       // the time span shown while following the newest samples
};
