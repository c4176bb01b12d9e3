#pragma once
#include <QString>
#include <string>
#include <string_view>

class CIniEx;
class COrvexDlg;
struct WindowRect;
struct TrendSettings;

// Every persisted setting lives in the main window object and its eight value controls.
// LoadSettings reads each key in a fixed order with its default; SaveSettings writes every key
// back in the same order (which fixes the layout of a file written for the first time).

void LoadSettings(const CIniEx& ini, COrvexDlg& window);
void SaveSettings(CIniEx& ini, const COrvexDlg& window);

// The trend window's own section alone (the viewer reads and writes nothing else).
void LoadTrendSettings(const CIniEx& ini, TrendSettings& trend);
void SaveTrendSettings(CIniEx& ini, const TrendSettings& trend);

// Moves a window left beyond the right or bottom screen edge (by more than 10 pixels) back
// inside, keeping its size; a top or left edge more than 10 pixels off screen becomes 0.
WindowRect ClampWindowRect(WindowRect rect, int screenWidth, int screenHeight);

// Text values in orvex.ini are Windows-1250. A text the code page cannot hold is written as
// UTF-8 behind a UTF-8 byte-order mark, so that it reads back intact instead of being mangled.
std::string EncodeIniText(const QString& text);
QString DecodeIniText(std::string_view bytes);
