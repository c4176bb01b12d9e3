#pragma once
#include <QString>

// A font's style name as the font chooser shows it in Polish ("Bold Italic" becomes
// "Pogrubiona kursywa"). Fonts name their styles in English whatever the user's language;
// words not known here (a font's own, such as "Retina") are kept as the font writes them.
QString PolishFontStyle(const QString& style);
