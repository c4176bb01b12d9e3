#pragma once

class CIniEx;
class COrvexDlg;
struct TrendSettings;

// orvex.ini and the main window: the settings value, the looks of the eight value controls
// and the trend window's section. LoadSettings reads every section (saying on standard error
// what it could not use as written); SaveSettings writes every key back in the order that fixes
// the layout of a file written for the first time.
void LoadSettings(const CIniEx& ini, COrvexDlg& window);
void SaveSettings(CIniEx& ini, const COrvexDlg& window);

// The trend window's own section alone (the viewer reads and writes nothing else).
void LoadTrendSettings(const CIniEx& ini, TrendSettings& trend);
void SaveTrendSettings(CIniEx& ini, const TrendSettings& trend);
