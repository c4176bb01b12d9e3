#include "ui/ColorStatic.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFontDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "ui/MemDC.h"

CColorStatic::CColorStatic(QWidget* parent)
    : QWidget(parent),
      captionFont(ToQFont(MakeFontDescription(QStringLiteral("Arial"), kCaptionHeight))),
      fontDescription(MakeFontDescription(QStringLiteral("Arial"), 25)) {
    // Every paint covers the whole widget; the system need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    blinkTimer.setInterval(kBlinkPeriodMs);
    blinkTimer.setTimerType(Qt::CoarseTimer);
    connect(&blinkTimer, &QTimer::timeout, this, &CColorStatic::OnBlinkTimer);
}

CColorStatic::~CColorStatic() = default;

void CColorStatic::SetValueText(const QString& text) {
    if (text == valueText) {
        return;
    }
    valueText = text;
    repaint();
}

void CColorStatic::SetCaption(const QString& text) {
    if (text == caption) {
        return;
    }
    caption = text;
    repaint();
}

void CColorStatic::SetBlinking(bool on) {
    if (on) {
        if (!blinkTimer.isActive()) {
            blinkTimer.start();
        }
        return;
    }
    blinkTimer.stop();
    if (blinkPhase) {
        blinkPhase = false;
        repaint();
    }
}

void CColorStatic::OnBlinkTimer() {
    blinkPhase = !blinkPhase;
    repaint();
}

void CColorStatic::CreateValueFont() {
    valueFont = ToQFont(fontDescription);
    valueFontDescription = fontDescription;
    valueFontCreated = true;
    fittedWidth = -1;
    setFont(valueFont);
}

void CColorStatic::SetLogFont(FontDescription description) {
    fontDescription = description;
    CreateValueFont();
    repaint();
}

bool CColorStatic::ChooseFont() {
    // The chooser starts from the font in use, not from a description stored since then, so
    // that a cancel leaves the description equal to that font.
    if (valueFontCreated) {
        fontDescription = valueFontDescription;
    }
    QFontDialog dialog(ChooserStartFont(valueFontCreated ? valueFont : ToQFont(fontDescription)),
                       this);
    dialog.setWindowTitle(QStringLiteral("Czcionka"));
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    // Both kinds together are every font the screen can show.
    dialog.setOption(QFontDialog::ScalableFonts);
    dialog.setOption(QFontDialog::NonScalableFonts);
    // Only face, style and size are offered: the effects box (underline, strike-out) goes,
    // the sample stays.
    for (QGroupBox* box : dialog.findChildren<QGroupBox*>()) {
        if (!box->findChildren<QCheckBox*>().isEmpty()) {
            box->hide();
        }
    }
    // Without the effects box beside it, the sample's row would shrink to nothing: keep it
    // high enough for the chosen font.
    if (auto* sample = dialog.findChild<QLineEdit*>(QStringLiteral("qt_fontDialog_sampleEdit"))) {
        const auto fitSample = [sample](const QFont& chosen) {
            const int height = QFontMetrics(chosen).height() + 12;  // frame and padding
            sample->setMinimumHeight(std::clamp(height, kSampleMinHeight, kSampleMaxHeight));
        };
        fitSample(dialog.currentFont());
        connect(&dialog, &QFontDialog::currentFontChanged, sample, fitSample);
    }
    // What OK gives when the user changes nothing: only what differs from it is taken over.
    const QFont offered = dialog.currentFont();
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    fontDescription = ChangedFontDescription(dialog.selectedFont(), offered, fontDescription);
    CreateValueFont();
    repaint();
    return true;
}

namespace {

bool ChooseColour(QWidget* parent, Colour& colour) {
    QColorDialog dialog(ToQColor(colour), parent);
    dialog.setWindowTitle(QStringLiteral("Kolor"));
    // Qt's own chooser always shows its custom-colour part.
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    colour = FromQColor(dialog.selectedColor());
    return true;
}

}  // namespace

bool CColorStatic::ChooseBackgroundColour() {
    const bool chosen = ChooseColour(this, backgroundColour);
    repaint();
    return chosen;
}

bool CColorStatic::ChooseTextColour() {
    const bool chosen = ChooseColour(this, textColour);
    repaint();
    return chosen;
}

void CColorStatic::SetTextColour(Colour colour) {
    if (colour == textColour) {
        return;
    }
    textColour = colour;
    repaint();
}

void CColorStatic::SetBackgroundColour(Colour colour) {
    if (colour == backgroundColour) {
        return;
    }
    backgroundColour = colour;
    repaint();
}

void CColorStatic::paintEvent(QPaintEvent* /*event*/) {
    ++paintCount;
    QRect r = rect();
    QPainter screen(this);
    screen.setBackground(ToQColor(backgroundColour));
    CMemDC dc(screen, r);  // fills r with the background colour
    QPainter& p = dc.Painter();

    // Caption band: the value area's colours swapped, as wide as the control.
    p.setFont(captionFont);
    const QFontMetrics captionMetrics(captionFont);
    QRect band(0, 0, r.width(), captionMetrics.height());
    captionBandHeight = band.height();
    p.fillRect(band, ToQColor(textColour));
    p.setPen(ToQColor(backgroundColour));
    p.drawText(band, Qt::AlignCenter | Qt::TextSingleLine, caption);

    if (blinkPhase) {
        return;
    }
    r.setTop(band.bottom() + 1);
    FitValueLine(r.width());
    p.setFont(fittedFont);
    p.setPen(ToQColor(textColour));
    p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, workingText);
}

void CColorStatic::FitValueLine(int width) {
    const QFont& base = valueFontCreated ? valueFont : font();
    if (width == fittedWidth && valueText == fittedFor && fittedFont == base) {
        return;
    }
    fittedFor = valueText;
    fittedWidth = width;
    fittedFont = base;
    workingText = valueText;
    const qreal wide = QFontMetricsF(base).horizontalAdvance(valueText);
    if (wide <= width) {
        return;  // drawn exactly in the value font
    }
    // A reading cut at both sides would hide its first and last values (the average of a
    // probe sensor among them): draw the whole line smaller instead, a pixel clear of each edge.
    const int room = std::max(0, width - 2);
    const int pixels = base.pixelSize() > 0 ? base.pixelSize() : QFontInfo(base).pixelSize();
    int size = std::min(pixels - 1, static_cast<int>(pixels * room / wide));
    for (; size > kMinFitPixelSize; --size) {
        fittedFont.setPixelSize(size);
        if (QFontMetricsF(fittedFont).horizontalAdvance(valueText) <= room) {
            return;
        }
    }
    fittedFont.setPixelSize(std::max(size, kMinFitPixelSize));
    workingText = QFontMetrics(fittedFont).elidedText(valueText, Qt::ElideRight, room);
}
