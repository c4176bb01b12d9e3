#pragma once
#include <QColor>
#include <cstdint>

// Colours are kept as 0x00BBGGRR values (as stored in orvex.ini) and become QColor only
// where something is drawn.
using Colour = std::uint32_t;

constexpr Colour Rgb(int red, int green, int blue) {
    return static_cast<Colour>(red & 0xFF) | static_cast<Colour>(green & 0xFF) << 8 |
           static_cast<Colour>(blue & 0xFF) << 16;
}

inline QColor ToQColor(Colour c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

inline Colour FromQColor(const QColor& c) {
    const QColor rgb = c.toRgb();
    return Rgb(rgb.red(), rgb.green(), rgb.blue());
}
