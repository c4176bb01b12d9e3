#include "ui/FontDescription.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstring>

QString FontDescription::FaceName() const {
    qsizetype length = 0;
    while (length < kFaceNameSize && faceName[length] != 0) {
        ++length;
    }
    return QString(reinterpret_cast<const QChar*>(faceName), length);
}

void FontDescription::SetFaceName(const QString& name) {
    qsizetype length = std::min<qsizetype>(name.size(), kFaceNameSize - 1);
    if (length > 0 && length < name.size() && name.at(length - 1).isHighSurrogate()) {
        --length;  // never keep half a character
    }
    std::fill(std::begin(faceName), std::end(faceName), u'\0');
    std::memcpy(faceName, name.utf16(), static_cast<std::size_t>(length) * sizeof(char16_t));
}

bool FontDescription::operator==(const FontDescription& other) const {
    return height == other.height && width == other.width && escapement == other.escapement &&
           orientation == other.orientation && weight == other.weight && italic == other.italic &&
           underline == other.underline && strikeOut == other.strikeOut &&
           charSet == other.charSet && outPrecision == other.outPrecision &&
           clipPrecision == other.clipPrecision && quality == other.quality &&
           pitchAndFamily == other.pitchAndFamily &&
           std::equal(std::begin(faceName), std::end(faceName), std::begin(other.faceName));
}

FontDescription MakeFontDescription(const QString& face, std::int32_t height) {
    FontDescription description;
    description.height = height;
    description.charSet = kEastEuropeCharSet;
    description.SetFaceName(face);
    return description;
}

namespace {

constexpr int kDefaultPixelSize = 16;  // what a height of 0 ("any size") gets
constexpr int kMaxPixelSize = 2000;

// Pixel size of a font set by points or pixels.
int PixelsOf(const QFont& font) {
    if (font.pixelSize() > 0) {
        return font.pixelSize();
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return std::max(1, static_cast<int>(std::lround(font.pointSizeF() * dpi / 72.0)));
}

// Pixel size (em height) whose ascent + descent comes closest to the wanted cell height.
int PixelSizeForCellHeight(QFont font, int cellHeight) {
    font.setPixelSize(cellHeight);
    const int measured = QFontMetrics(font).height();
    if (measured <= 0) {
        return cellHeight;
    }
    int size =
        std::max(1, static_cast<int>(std::lround(double(cellHeight) * cellHeight / measured)));
    // Fonts do not scale exactly linearly; settle on the largest size that fits.
    for (int step = 0; step < 4; ++step) {
        font.setPixelSize(size);
        const int h = QFontMetrics(font).height();
        if (h > cellHeight && size > 1) {
            --size;
        } else if (h < cellHeight) {
            font.setPixelSize(size + 1);
            if (QFontMetrics(font).height() > cellHeight) {
                break;
            }
            ++size;
        } else {
            break;
        }
    }
    return size;
}

}  // namespace

QFont ToQFont(const FontDescription& description) {
    QFont font;
    const QString face = description.FaceName();
    if (!face.isEmpty()) {
        font.setFamilies({face});
    }
    const int weight = description.weight;
    font.setWeight(weight <= 0 ? QFont::Normal
                               : static_cast<QFont::Weight>(std::clamp(weight, 1, 1000)));
    font.setItalic(description.italic != 0);
    font.setUnderline(description.underline != 0);
    font.setStrikeOut(description.strikeOut != 0);
    const std::int64_t height = description.height;
    if (height < 0) {
        font.setPixelSize(static_cast<int>(std::min<std::int64_t>(-height, kMaxPixelSize)));
    } else if (height > 0) {
        font.setPixelSize(PixelSizeForCellHeight(
            font, static_cast<int>(std::min<std::int64_t>(height, kMaxPixelSize))));
    } else {
        font.setPixelSize(kDefaultPixelSize);
    }
    return font;
}

FontDescription FromQFont(const QFont& font, const FontDescription& base) {
    FontDescription description = base;
    description.height = -PixelsOf(font);
    description.weight = font.weight();
    description.italic = font.italic() ? 1 : 0;
    description.SetFaceName(font.family());
    return description;
}

FontDescription ChangedFontDescription(const QFont& chosen, const QFont& offered,
                                       const FontDescription& base) {
    const FontDescription taken = FromQFont(chosen, base);
    FontDescription description = base;
    if (chosen.family() != offered.family()) {
        description.SetFaceName(chosen.family());
    }
    if (PixelsOf(chosen) != PixelsOf(offered)) {
        description.height = taken.height;
    }
    if (chosen.weight() != offered.weight()) {
        description.weight = taken.weight;
    }
    if (chosen.italic() != offered.italic()) {
        description.italic = taken.italic;
    }
    return description;
}

QFont ChooserStartFont(const QFont& font) {
    QFont start = font;
    const QString family = QFontInfo(font).family();
    start.setFamilies({family});
    start.setStyleName({});  // weight and slant decide, not a name from elsewhere
    for (const QString& style : QFontDatabase::styles(family)) {
        if (QFontDatabase::weight(family, style) == font.weight() &&
            QFontDatabase::italic(family, style) == font.italic()) {
            start.setStyleName(style);
            break;
        }
    }
    return start;
}
