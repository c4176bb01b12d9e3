#pragma once
#include <QFont>
#include <QString>
#include <cstdint>

// A logical font description with the fields of the Windows structure the settings were
// designed around. Height > 0 is a cell height (ascent + descent), < 0 a character height,
// both in pixels; weight 0 means normal, otherwise 100-900 as QFont::Weight. The character
// set is kept (it is persisted behaviour) but Qt ignores it.
struct FontDescription {
    static constexpr int kFaceNameSize = 32;  // including the terminating zero

    std::int32_t height = 0;
    std::int32_t width = 0;
    std::int32_t escapement = 0;
    std::int32_t orientation = 0;
    std::int32_t weight = 0;
    std::uint8_t italic = 0;
    std::uint8_t underline = 0;
    std::uint8_t strikeOut = 0;
    std::uint8_t charSet = 0;
    std::uint8_t outPrecision = 0;
    std::uint8_t clipPrecision = 0;
    std::uint8_t quality = 0;
    std::uint8_t pitchAndFamily = 0;
    char16_t faceName[kFaceNameSize] = {};  // UTF-16, zero-terminated

    QString FaceName() const;
    // Stores at most 31 UTF-16 units (never half a surrogate pair); the rest is cut.
    void SetFaceName(const QString& name);

    bool operator==(const FontDescription& other) const;
};

constexpr std::uint8_t kEastEuropeCharSet = 238;

// Arial, the given height, Central European character set, everything else zero.
FontDescription MakeFontDescription(const QString& face, std::int32_t height);

// The QFont that draws text as the description asks (pixel sizes, weight, italic, ...).
QFont ToQFont(const FontDescription& description);

// The description of a chosen QFont: face, character height in pixels, weight, italic.
// Fields Qt has no notion of (character set, precisions, ...) are taken from base, and so
// are underline and strike-out, which the program never offers to change.
FontDescription FromQFont(const QFont& font, const FontDescription& base);

// The description after the font chooser: what the user changed there (face, size, weight,
// slant: the chosen font compared with the one the chooser offered at its start) is taken from
// chosen as FromQFont takes it; everything else stays as in base. So a stored face name that
// names the face in use by another name ("Arial"), and the sign convention of the height,
// survive a choice that did not touch them.
FontDescription ChangedFontDescription(const QFont& chosen, const QFont& offered,
                                       const FontDescription& base);

// The font as the font chooser should be started with: its family as the font database names
// the face that draws it, and its style named as that family lists it ("Bold Italic"). The
// chooser preselects the family and style by those names; with "Arial" or a translated style
// name ("Kursywa") it would preselect another face or the first style.
QFont ChooserStartFont(const QFont& font);
