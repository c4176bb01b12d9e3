// The "Kolory" and "Czcionki" commands on the main window's eight value controls, and the
// settings they leave in orvex.ini.
#include <QAction>
#include <QColorDialog>
#include <QFile>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>

#include "NoPortStart.h"
#include "app/OrvexApp.h"
#include "tests/ui/ModalAnswerer.h"
#include "ui/FontDescription.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/ClickLabel.h"
#include "ui/dialogs/ColorDlg.h"
#include "ui/dialogs/ColorRect.h"
#include "ui/dialogs/ComDlg.h"
#include "ui/dialogs/DialogAdv.h"
#include "ui/dialogs/FontDlg.h"

namespace {

// Answers the colour chooser that the next click opens.
void ChooseColour(ModalAnswerer& answerer, const QColor& colour) {
    answerer.On<QColorDialog>([colour](QColorDialog* d) {
        d->setCurrentColor(colour);
        d->accept();
    });
}

void CancelColour(ModalAnswerer& answerer) {
    answerer.On<QColorDialog>([](QColorDialog* d) { d->reject(); });
}

// A face the program's package brings (fonts-liberation2) and that differs from the value
// font's Arial and its stand-in, whatever else the machine has installed.
const QString kOtherFamily = QStringLiteral("Liberation Serif");

}  // namespace

class LookCommandsTest : public QObject {
    Q_OBJECT
    ModalAnswerer answerer;
private slots:
    void init() {
        answerer.Reset();
        ListNoPorts();
    }

    void coloursApplyAtOnceAndAnulujRestoresAll() {
        COrvexDlg window;
        PassPortDialog(answerer, window);
        Colour before[8][2];
        for (int i = 0; i < 8; ++i) {
            before[i][0] = window.valueControls[i].GetBackgroundColour();
            before[i][1] = window.valueControls[i].GetTextColour();
        }
        bool liveInWindow = false;
        bool cancelChangedNothing = false;
        int paintsAtRestore = 0;
        answerer.On<CColorDlg>([&](CColorDlg* d) {
            // Swatches start from the controls.
            QCOMPARE(d->BackgroundSwatch(4)->GetColour(), before[4][0]);
            QCOMPARE(d->TextSwatch(6)->GetColour(), before[6][1]);
            // Each click runs the chooser to its end, answered by the step queued before it.
            ChooseColour(answerer, Qt::red);
            QTest::mouseClick(d->BackgroundSwatch(0), Qt::LeftButton);
            liveInWindow = window.valueControls[0].GetBackgroundColour() == Rgb(255, 0, 0) &&
                           d->BackgroundSwatch(0)->GetColour() == Rgb(255, 0, 0);
            ChooseColour(answerer, Qt::green);
            QTest::mouseClick(d->TextSwatch(3), Qt::LeftButton);
            CancelColour(answerer);
            QTest::mouseClick(d->BackgroundSwatch(7), Qt::LeftButton);
            cancelChangedNothing = d->BackgroundSwatch(7)->GetColour() == before[7][0] &&
                                   window.valueControls[7].GetBackgroundColour() == before[7][0] &&
                                   window.valueControls[3].GetTextColour() == Rgb(0, 255, 0);
            for (const CColorStatic& c : window.valueControls) {
                paintsAtRestore += c.PaintCount();
            }
            d->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        });
        window.findChild<QAction*>(QStringLiteral("actionColours"))->trigger();
        QVERIFY(liveInWindow);
        QVERIFY(cancelChangedNothing);
        int paintsAfter = 0;
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(window.valueControls[i].GetBackgroundColour(), before[i][0]);
            QCOMPARE(window.valueControls[i].GetTextColour(), before[i][1]);
            paintsAfter += window.valueControls[i].PaintCount();
        }
        // Every control repainted at once, the untouched ones too.
        QVERIFY(paintsAfter >= paintsAtRestore + 8);
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    void fontShowsAtOnceAndEscapeRestoresAll() {
        COrvexDlg window;
        PassPortDialog(answerer, window);
        FontDescription before[8];
        for (int i = 0; i < 8; ++i) {
            before[i] = window.valueControls[i].GetFontDescription();
        }
        const QString family = kOtherFamily;
        QVERIFY2(QFontDatabase::hasFamily(family), "fonts-liberation2 is not installed");
        QString previewFamily;
        QString controlFamily;
        int previewPixels = 0;
        answerer.On<CFontDlg>([&](CFontDlg* d) {
            QCOMPARE(d->Preview(0)->text(), QStringLiteral("0123456789."));
            QCOMPARE(d->Preview(5)->font().family(), window.valueControls[5].font().family());
            answerer.On<QFontDialog>([&](QFontDialog* f) {
                QFont font(family);
                font.setPixelSize(40);
                f->setCurrentFont(font);
                f->accept();
            });
            QTest::mouseClick(d->Preview(2), Qt::LeftButton);
            previewFamily = d->Preview(2)->font().family();
            previewPixels = d->Preview(2)->font().pixelSize();
            controlFamily = window.valueControls[2].font().family();
            QTest::keyClick(d, Qt::Key_Escape);
        });
        window.findChild<QAction*>(QStringLiteral("actionFonts"))->trigger();
        QCOMPARE(previewFamily, family);
        QCOMPARE(controlFamily, family);
        QVERIFY(previewPixels > 30);
        for (int i = 0; i < 8; ++i) {
            QVERIFY(window.valueControls[i].GetFontDescription() == before[i]);
            QCOMPARE(window.valueControls[i].font().family(),
                     window.valueControls[i].ValueFont().family());
        }
        QVERIFY(window.valueControls[2].font().family() != family);
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    // OK keeps the choices, and the program writes them to orvex.ini when it ends.
    void okKeepsAndSettingsReachTheFile() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        {
            QFile ini(folder.filePath(QStringLiteral("orvex.ini")));
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write("[GENERAL]\r\nSHOW_ADV=0\r\n");
        }
        const QString family = kOtherFamily;
        QVERIFY2(QFontDatabase::hasFamily(family), "fonts-liberation2 is not installed");
        COrvexApp app(std::filesystem::path(folder.path().toStdString()));
        app.onWindowReady = [&](COrvexDlg& window) {
            answerer.On<CComDlg>([&](CComDlg* d) {
                d->reject();
                QTimer::singleShot(0, &window, [&] {
                    window.findChild<QAction*>(QStringLiteral("actionColours"))->trigger();
                    window.findChild<QAction*>(QStringLiteral("actionFonts"))->trigger();
                    app.CloseMainWindow();
                });
            });
            answerer.On<CColorDlg>([&](CColorDlg* d) {
                ChooseColour(answerer, QColor(10, 20, 30));
                QTest::mouseClick(d->BackgroundSwatch(1), Qt::LeftButton);
                d->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
            });
            answerer.On<CFontDlg>([&](CFontDlg* d) {
                answerer.On<QFontDialog>([&](QFontDialog* f) {
                    QFont font(family);
                    font.setPixelSize(33);
                    f->setCurrentFont(font);
                    f->accept();
                });
                QTest::mouseClick(d->Preview(4), Qt::LeftButton);
                d->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
            });
        };
        app.InitInstance();
        QCOMPARE(answerer.Unmet(), QStringList());

        QFile ini(folder.filePath(QStringLiteral("orvex.ini")));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(ini.readAll());
        const auto section = [&](int n) {
            const int start = text.indexOf(QStringLiteral("[INPUT%1]").arg(n));
            return start < 0 ? QString() : text.mid(start, text.indexOf('[', start + 1) - start);
        };
        // 0x00BBGGRR
        QVERIFY2(section(1).contains(QStringLiteral("BACKGROUND_INPUT=%1").arg(Rgb(10, 20, 30))),
                 qPrintable(section(1)));
        QVERIFY2(section(4).contains(QStringLiteral("FONT_NAME_INPUT=") + family),
                 qPrintable(section(4)));
        QVERIFY2(section(4).contains(QStringLiteral("FONT_HEIGHT_INPUT=-33")),
                 qPrintable(section(4)));
    }

    // The chooser opens on the face in use and shows its sample; switching on italic alone
    // changes only the slant in orvex.ini, not the stored face name or the height's sign.
    void italicAloneChangesOnlyTheSlant() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        {
            QFile ini(folder.filePath(QStringLiteral("orvex.ini")));
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write(
                "[GENERAL]\r\nSHOW_ADV=0\r\n[INPUT3]\r\nFONT_NAME_INPUT=Arial\r\n"
                "FONT_HEIGHT_INPUT=25\r\n");
        }
        COrvexApp app(std::filesystem::path(folder.path().toStdString()));
        QString offeredFamily;
        QString faceInUse;
        QString sampleFamily;
        int sampleHeight = -1;
        int sampleFontHeight = 0;
        app.onWindowReady = [&](COrvexDlg& window) {
            answerer.On<CComDlg>([&](CComDlg* d) {
                d->reject();
                QTimer::singleShot(0, &window, [&] {
                    window.findChild<QAction*>(QStringLiteral("actionFonts"))->trigger();
                    app.CloseMainWindow();
                });
            });
            answerer.On<CFontDlg>([&](CFontDlg* d) {
                faceInUse = QFontInfo(window.valueControls[3].ValueFont()).family();
                answerer.On<QFontDialog>([&](QFontDialog* f) {
                    offeredFamily = f->currentFont().family();
                    auto* sample = f->findChild<QLineEdit*>();
                    for (QLineEdit* edit : f->findChildren<QLineEdit*>()) {
                        if (edit->objectName().contains(QLatin1String("sample"))) {
                            sample = edit;
                        }
                    }
                    if (sample != nullptr && sample->isVisible() && !sample->text().isEmpty()) {
                        sampleFamily = sample->font().family();
                        sampleHeight = sample->height();
                        sampleFontHeight = QFontMetrics(sample->font()).height();
                    }
                    QFont italic = f->currentFont();
                    italic.setItalic(true);
                    f->setCurrentFont(ChooserStartFont(italic));
                    f->accept();
                });
                QTest::mouseClick(d->Preview(3), Qt::LeftButton);
                d->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
            });
        };
        app.InitInstance();
        QCOMPARE(answerer.Unmet(), QStringList());
        QCOMPARE(offeredFamily, faceInUse);
        QCOMPARE(sampleFamily, faceInUse);
        QVERIFY2(sampleHeight >= sampleFontHeight,
                 qPrintable(QStringLiteral("sample %1 px high for a %2 px font")
                                .arg(sampleHeight)
                                .arg(sampleFontHeight)));

        QFile ini(folder.filePath(QStringLiteral("orvex.ini")));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(ini.readAll());
        const int start = text.indexOf(QStringLiteral("[INPUT3]"));
        const QString section = text.mid(start, text.indexOf('[', start + 1) - start);
        for (const char* line : {"FONT_NAME_INPUT=Arial\r\n", "FONT_HEIGHT_INPUT=25\r\n",
                                 "FONT_ITALIC_INPUT=1\r\n", "FONT_WEIGHT_INPUT=0\r\n"}) {
            QVERIFY2(section.contains(QLatin1String(line)), qPrintable(section + line));
        }
    }
};

QTEST_MAIN(LookCommandsTest)
#include "LookCommandsTest.moc"
