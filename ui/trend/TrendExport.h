#pragma once
#include <QString>

class QCustomPlot;

// Saving what the trend window shows: pictures that say what they show, file names that say
// what they hold.

// The path with the chosen format's extension ("png") when the name typed has none.
QString WithExtension(const QString& path, const QString& extension);

// "Pomiary bieżące" or the file's name, with the time range shown (seconds since the epoch).
QString ExportHeading(const QString& source, double from, double to);

// The plot as a PNG or PDF picture with the heading above it and the legend shown.
bool ExportPlotPicture(QCustomPlot& plot, const QString& heading, const QString& path, bool pdf);
