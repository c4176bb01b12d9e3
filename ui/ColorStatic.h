#pragma once
#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "ui/dialogs/Colour.h"
#include "ui/FontDescription.h"
#include "ui/dialogs/InputLook.h"

// One input of the main window: a coloured rectangle with a caption band across its top (the
// two colours swapped) and one large line of text centred below it. Every setter repaints at
// once, and only when something really changed, so a steady reading draws nothing.
class CColorStatic : public QWidget, public CInputLook {
    Q_OBJECT
public:
    static constexpr int kBlinkPeriodMs = 500;
    static constexpr int kCaptionHeight = 20;
    // A value line wider than the control is drawn smaller, but never below this pixel size;
    // below it the line is cut at its right end instead.
    static constexpr int kMinFitPixelSize = 8;
    // Bounds of the font chooser's sample height.
    static constexpr int kSampleMinHeight = 40;
    static constexpr int kSampleMaxHeight = 160;

    explicit CColorStatic(QWidget* parent = nullptr);
    ~CColorStatic() override;

    void SetValueText(const QString& text);
    void SetCaption(const QString& text);
    // true starts blinking unless it already runs; false stops it and shows the value text.
    void SetBlinking(bool on);

    // Takes the description, rebuilds the value font from it, makes it the widget's font and
    // repaints.
    void SetLogFont(FontDescription description);
    // (Re)creates the value font from the stored description and makes it the widget's font.
    // The owner calls it once the settings have set the description.
    void CreateValueFont();
    // Modal choosers; each returns true when the user confirmed. A cancel changes nothing.
    bool ChooseFont() override;
    bool ChooseBackgroundColour() override;
    bool ChooseTextColour() override;
    QFont LookFont() const override { return font(); }

    const FontDescription& GetFontDescription() const { return fontDescription; }
    // Stores the description only; CreateValueFont or SetLogFont make it the font in use.
    void SetFontDescription(const FontDescription& description) { fontDescription = description; }
    Colour GetTextColour() const override { return textColour; }
    Colour GetBackgroundColour() const override { return backgroundColour; }
    // Both repaint when the colour changes.
    void SetTextColour(Colour colour);
    void SetBackgroundColour(Colour colour);

    const QString& ValueText() const { return valueText; }
    const QString& Caption() const { return caption; }
    bool IsBlinking() const { return blinkTimer.isActive(); }
    bool IsValueTextHidden() const { return blinkPhase; }
    bool HasValueFont() const { return valueFontCreated; }
    const QFont& ValueFont() const { return valueFont; }
    const QFont& CaptionFont() const { return captionFont; }
    // The value line as the last paint drew it: its text (cut when even the smallest size was
    // too wide) and its font (the value font, or a smaller one when the line did not fit).
    const QString& DrawnValueText() const { return workingText; }
    const QFont& DrawnValueFont() const { return fittedFont; }
    const QTimer& BlinkTimer() const { return blinkTimer; }
    // Number of paints so far, and the height of the caption band at the last paint.
    int PaintCount() const { return paintCount; }
    int CaptionBandHeight() const { return captionBandHeight; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void OnBlinkTimer();
    // Fits valueText into the given width: sets fittedFont and workingText.
    void FitValueLine(int width);

    QString workingText;
    QFont fittedFont;
    // What fittedFont and workingText were fitted for; a paint with the same refits nothing.
    QString fittedFor;
    int fittedWidth = -1;
    QTimer blinkTimer;
    bool blinkPhase = false;
    QFont valueFont;
    bool valueFontCreated = false;
    FontDescription valueFontDescription;  // what valueFont was made from
    QFont captionFont;
    FontDescription fontDescription;
    Colour textColour = Rgb(0, 64, 128);
    Colour backgroundColour = Rgb(202, 228, 255);
    QString caption;
    QString valueText;
    int paintCount = 0;
    int captionBandHeight = 0;
};
