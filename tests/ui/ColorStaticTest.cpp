#include <QColorDialog>
#include <QFontDialog>
#include <QImage>
#include <QPdfWriter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "device/InputReading.h"
#include "text/ReadingText.h"
#include "ui/ColorStatic.h"
#include "ui/MemDC.h"

namespace {

// Answers the next modal dialog of type D: accepted after adjust(dialog), or rejected.
template <typename D>
void AnswerNextDialog(bool accept, std::function<void(D*)> adjust = {}) {
    QTimer::singleShot(0, [accept, adjust] {
        QTRY_VERIFY_WITH_TIMEOUT(qobject_cast<D*>(QApplication::activeModalWidget()), 5000);
        auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
        if (accept) {
            if (adjust) {
                adjust(dialog);
            }
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
}

int CountPixels(const QImage& image, const QRect& area, QRgb colour) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
        }
    }
    return n;
}

}  // namespace

class ColorStaticTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<CColorStatic> control;

    void Show() {
        control = std::make_unique<CColorStatic>();
        control->resize(300, 80);
        control->CreateValueFont();
        control->show();
        QVERIFY(QTest::qWaitForWindowExposed(control.get()));
    }

private slots:
    void cleanup() { control.reset(); }

    void textsRepaintOnlyOnChange() {
        Show();
        const int start = control->PaintCount();
        control->SetValueText("12,5 °C");
        QCOMPARE(control->PaintCount(), start + 1);  // synchronous
        control->SetValueText("12,5 °C");
        QCOMPARE(control->PaintCount(), start + 1);
        control->SetCaption("TQ21 nr 123 ");
        control->SetCaption("TQ21 nr 123 ");
        QCOMPARE(control->PaintCount(), start + 2);
        control->SetCaption("TQ21 nr 124 ");
        QCOMPARE(control->PaintCount(), start + 3);
    }

    void steadyReadingDrawsNothing() {
        Show();
        control->SetCaption("TQ22 nr 7 ");
        control->SetValueText("1,0 2,0");
        control->SetBlinking(false);
        QCoreApplication::processEvents();
        const int settled = control->PaintCount();
        for (int refresh = 0; refresh < 5; ++refresh) {
            control->SetBlinking(false);
            control->SetValueText("1,0 2,0");
            control->SetCaption("TQ22 nr 7 ");
            control->SetTextColour(control->GetTextColour());
            control->SetBackgroundColour(control->GetBackgroundColour());
            QCoreApplication::processEvents();
        }
        QCOMPARE(control->PaintCount(), settled);
    }

    void blinkingTwiceKeepsOneTimerRunning() {
        Show();
        control->SetBlinking(true);
        QVERIFY(control->IsBlinking());
        QCOMPARE(control->BlinkTimer().interval(), 500);
        // Let part of the period pass; a second start must not restart the period.
        QTRY_VERIFY_WITH_TIMEOUT(control->BlinkTimer().remainingTime() < 400, 2000);
        const int before = control->BlinkTimer().remainingTime();
        control->SetBlinking(true);
        QVERIFY(control->BlinkTimer().remainingTime() <= before);
        QTRY_VERIFY_WITH_TIMEOUT(control->IsValueTextHidden(), 2000);
        QTRY_VERIFY_WITH_TIMEOUT(!control->IsValueTextHidden(), 2000);
    }

    void stoppingBlinkWhileHiddenShowsTextAtOnce() {
        Show();
        control->SetValueText("???");
        control->SetBlinking(true);
        QTRY_VERIFY_WITH_TIMEOUT(control->IsValueTextHidden(), 2000);
        const int before = control->PaintCount();
        control->SetBlinking(false);
        QVERIFY(!control->IsBlinking());
        QVERIFY(!control->IsValueTextHidden());
        QCOMPARE(control->PaintCount(), before + 1);
        QVERIFY(!control->BlinkTimer().isActive());
    }

    void stoppingBlinkThatNeverRanDrawsNothing() {
        Show();
        const int before = control->PaintCount();
        control->SetBlinking(false);
        QCOMPARE(control->PaintCount(), before);
    }

    void drawsCaptionBandSwappedAndHidesOnlyValueWhenBlinking() {
        Show();
        control->SetTextColour(Rgb(0, 0, 200));
        control->SetBackgroundColour(Rgb(250, 250, 0));
        control->SetCaption("a caption far too wide for the control, so it must be clipped");
        control->SetValueText("WWWW");
        QImage image = control->grab().toImage();
        const int band = control->CaptionBandHeight();
        QVERIFY(band >= 18 && band <= 22);
        const QRgb text = qRgb(0, 0, 200);
        const QRgb back = qRgb(250, 250, 0);
        // The band spans the full width in the text colour, at both ends.
        QCOMPARE(image.pixel(0, 0) & 0xFFFFFF, text & 0xFFFFFF);
        QCOMPARE(image.pixel(image.width() - 1, band - 1) & 0xFFFFFF, text & 0xFFFFFF);
        QCOMPARE(image.pixel(0, band) & 0xFFFFFF, back & 0xFFFFFF);
        const QRect valueArea(0, band, image.width(), image.height() - band);
        QVERIFY(CountPixels(image, valueArea, text) > 20);

        control->SetBlinking(true);
        QTRY_VERIFY_WITH_TIMEOUT(control->IsValueTextHidden(), 2000);
        image = control->grab().toImage();
        QCOMPARE(CountPixels(image, valueArea, text), 0);
        QVERIFY(CountPixels(image, QRect(0, 0, image.width(), band), text) > 100);
    }

    void defaultsAndAccessors() {
        CColorStatic fresh;
        QCOMPARE(fresh.GetTextColour(), Rgb(0, 64, 128));
        QCOMPARE(fresh.GetBackgroundColour(), Rgb(202, 228, 255));
        QCOMPARE(fresh.GetFontDescription().FaceName(), QString("Arial"));
        QCOMPARE(fresh.GetFontDescription().height, 25);
        QCOMPARE(int(fresh.GetFontDescription().charSet), 238);
        QVERIFY(!fresh.HasValueFont());
        QCOMPARE(QFontMetrics(fresh.CaptionFont()).height() <= 20, true);
        FontDescription d = fresh.GetFontDescription();
        d.height = -40;
        d.weight = 700;
        d.italic = 1;
        fresh.SetLogFont(d);
        QVERIFY(fresh.HasValueFont());
        QCOMPARE(fresh.ValueFont().pixelSize(), 40);
        QCOMPARE(fresh.ValueFont().weight(), QFont::Bold);
        QVERIFY(fresh.ValueFont().italic());
        QCOMPARE(fresh.font(), fresh.ValueFont());
    }

    void fontDescriptionConversion() {
        FontDescription d = MakeFontDescription("Arial", 25);
        const QFont cell = ToQFont(d);
        const int h = QFontMetrics(cell).height();
        QVERIFY2(h <= 25 && h >= 22, qPrintable(QString::number(h)));
        QCOMPARE(cell.weight(), QFont::Normal);
        d.height = -25;
        QCOMPARE(ToQFont(d).pixelSize(), 25);
        d.weight = 300;
        QCOMPARE(ToQFont(d).weight(), QFont::Light);

        d.SetFaceName(QString(40, QChar('x')));
        QCOMPARE(d.FaceName(), QString(31, QChar('x')));
        QCOMPARE(d.faceName[31], u'\0');
        // A surrogate pair that would straddle the cut is dropped whole.
        d.SetFaceName(QString(30, QChar('y')) + QString::fromUtf8("\U0001F600") + "z");
        QCOMPARE(d.FaceName(), QString(30, QChar('y')));
        d.SetFaceName("Łódź Sans");
        QCOMPARE(d.FaceName(), QString("Łódź Sans"));

        QFont chosen("DejaVu Serif");
        chosen.setPixelSize(33);
        chosen.setWeight(QFont::DemiBold);
        chosen.setItalic(true);
        FontDescription base = MakeFontDescription("Arial", 25);
        base.underline = 1;
        const FontDescription back = FromQFont(chosen, base);
        QCOMPARE(back.height, -33);
        QCOMPARE(back.weight, 600);
        QCOMPARE(int(back.italic), 1);
        QCOMPARE(int(back.underline), 1);  // not offered by the chooser: kept
        QCOMPARE(int(back.charSet), 238);
        QCOMPARE(back.FaceName(), QString("DejaVu Serif"));
    }

    void fontChooserCancelKeepsFont() {
        Show();
        const FontDescription before = control->GetFontDescription();
        const QFont fontBefore = control->ValueFont();
        AnswerNextDialog<QFontDialog>(false);
        QVERIFY(!control->ChooseFont());
        QVERIFY(control->GetFontDescription() == before);
        QCOMPARE(control->ValueFont(), fontBefore);

        // A description stored but never made the font in use is replaced by the font's own.
        control->SetFontDescription(MakeFontDescription(QStringLiteral("DejaVu Serif"), -41));
        AnswerNextDialog<QFontDialog>(false);
        QVERIFY(!control->ChooseFont());
        QVERIFY(control->GetFontDescription() == before);
        QCOMPARE(control->ValueFont(), fontBefore);
    }

    void fontChooserConfirmReplacesFont() {
        Show();
        const int before = control->PaintCount();
        AnswerNextDialog<QFontDialog>(true, [](QFontDialog* dialog) {
            QFont f("DejaVu Sans", 30);
            f.setBold(true);
            dialog->setCurrentFont(ChooserStartFont(f));
        });
        QVERIFY(control->ChooseFont());
        QCOMPARE(control->GetFontDescription().weight, 700);
        QCOMPARE(control->GetFontDescription().FaceName(), QString("DejaVu Sans"));
        QVERIFY(control->GetFontDescription().height < -30);  // 30 pt in pixels
        QCOMPARE(int(control->GetFontDescription().charSet), 238);
        QCOMPARE(control->ValueFont().weight(), QFont::Bold);
        QVERIFY(control->PaintCount() > before);
    }

    // Eight probes and the average of a probe sensor in a 600 px control: the whole line is
    // drawn, in a smaller font; a line that fits keeps the value font; below the smallest
    // size the line is cut at its right end. The stored font never changes.
    void wideValueLineShrinksToFitAndShortLineStaysAsIs() {
        control = std::make_unique<CColorStatic>();
        control->resize(600, 80);
        control->CreateValueFont();
        control->show();
        QVERIFY(QTest::qWaitForWindowExposed(control.get()));
        InputReading probes;
        probes.model = ModelTQ22;
        for (int j = 0; j < 8; ++j) {
            probes.probeValues[j] = static_cast<int16_t>(220 + 7 * j);
        }
        probes.average = 245;
        const QString line = QString::fromStdString(FormatReading(probes).value);
        QVERIFY(line.startsWith(QStringLiteral("T1:")));
        QVERIFY(line.contains(QStringLiteral("ŚR:")));
        const FontDescription stored = control->GetFontDescription();
        const QFont valueFont = control->ValueFont();
        QVERIFY(QFontMetricsF(valueFont).horizontalAdvance(line) > 600);

        control->SetValueText(line);
        QCOMPARE(control->DrawnValueText(), line);
        const QFont drawn = control->DrawnValueFont();
        QVERIFY(QFontMetricsF(drawn).horizontalAdvance(line) <= 600);
        QCOMPARE(drawn.family(), valueFont.family());
        QVERIFY(drawn.pixelSize() >= CColorStatic::kMinFitPixelSize);
        // Just enough: one pixel larger would not fit.
        QFont larger = drawn;
        larger.setPixelSize(drawn.pixelSize() + 1);
        QVERIFY(QFontMetricsF(larger).horizontalAdvance(line) > 600 - 2);
        // On screen: no ink in the outermost columns, so nothing is cut off at either side.
        const QImage image = control->grab().toImage();
        const QRgb background = ToQColor(control->GetBackgroundColour()).rgb();
        const QRect value(0, control->CaptionBandHeight(), 600, 80 - control->CaptionBandHeight());
        QCOMPARE(CountPixels(image, QRect(0, value.top(), 1, value.height()), background),
                 value.height());
        QCOMPARE(CountPixels(image, QRect(599, value.top(), 1, value.height()), background),
                 value.height());
        QVERIFY(CountPixels(image, value, background) < value.width() * value.height());
        QVERIFY(control->GetFontDescription() == stored);
        QCOMPARE(control->ValueFont(), valueFont);
        QCOMPARE(control->font(), valueFont);

        const QString shortLine = QStringLiteral("RH = 45,3 %, T = 21,7 °C");
        control->SetValueText(shortLine);
        QCOMPARE(control->DrawnValueText(), shortLine);
        QCOMPARE(control->DrawnValueFont(), valueFont);

        // Too narrow even at the smallest size: the start of the reading stays readable.
        control->resize(60, 80);
        control->SetValueText(line);
        QCOMPARE(control->DrawnValueFont().pixelSize(), int(CColorStatic::kMinFitPixelSize));
        const QString cut = control->DrawnValueText();
        QVERIFY2(cut.endsWith(QChar(0x2026)) && line.startsWith(cut.chopped(1)) && cut.size() > 1,
                 qPrintable(cut));
    }

    void colourChoosers() {
        Show();
        AnswerNextDialog<QColorDialog>(
            true, [](QColorDialog* dialog) { dialog->setCurrentColor(QColor(1, 2, 3)); });
        QVERIFY(control->ChooseBackgroundColour());
        QCOMPARE(control->GetBackgroundColour(), Rgb(1, 2, 3));
        const int before = control->PaintCount();
        AnswerNextDialog<QColorDialog>(false);
        QVERIFY(!control->ChooseTextColour());
        QCOMPARE(control->GetTextColour(), Rgb(0, 64, 128));
        QCOMPARE(control->PaintCount(), before + 1);  // repaints in both cases
    }

    void memDcCopiesOnlyItsRectangleInOneStep() {
        QImage target(100, 60, QImage::Format_RGB32);
        target.fill(Qt::white);
        {
            QPainter painter(&target);
            painter.setBackground(Qt::blue);
            CMemDC dc(painter, QRect(10, 20, 30, 15));
            QVERIFY(dc.IsOffScreen());
            dc->fillRect(QRect(10, 20, 5, 5), Qt::red);  // target coordinates
            // Nothing reaches the target before the CMemDC ends.
            QCOMPARE(target.pixel(12, 22), qRgb(255, 255, 255));
        }
        QCOMPARE(target.pixel(12, 22), qRgb(255, 0, 0));
        QCOMPARE(target.pixel(20, 30), qRgb(0, 0, 255));
        QCOMPARE(target.pixel(9, 20), qRgb(255, 255, 255));
        QCOMPARE(target.pixel(40, 35), qRgb(255, 255, 255));
    }

    void memDcDrawsStraightOnPrintTargets() {
        QTemporaryDir dir;
        QPdfWriter pdf(dir.filePath("out.pdf"));
        QPainter painter(&pdf);
        CMemDC dc(painter);
        QVERIFY(!dc.IsOffScreen());
        QCOMPARE(&dc.Painter(), &painter);
    }
};

QTEST_MAIN(ColorStaticTest)
#include "ColorStaticTest.moc"
