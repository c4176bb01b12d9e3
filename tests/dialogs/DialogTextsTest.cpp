// What each dialog shows: captions, texts, button order, the icon, and the help's links.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>
#include <memory>

#include "ui/dialogs/LogFileDlg.h"
#include "ui/ColorStatic.h"
#include "ui/dialogs/AboutDlg.h"
#include "ui/dialogs/AlarmsDlg.h"
#include "ui/dialogs/AppIcon.h"
#include "ui/dialogs/ClickLabel.h"
#include "ui/dialogs/ColorDlg.h"
#include "ui/dialogs/ColorRect.h"
#include "ui/dialogs/ComDlg.h"
#include "ui/dialogs/DialogAdv.h"
#include "ui/dialogs/FontDlg.h"
#include "ui/dialogs/HelpWindow.h"
#include "ui/dialogs/HyperLink.h"
#include "ui/dialogs/SettingsDlg.h"

namespace {

// A text as shown: without the marker of its mnemonic.
QString Shown(QString text) {
    static const QRegularExpression marker(QStringLiteral("&(.)"));
    return text.replace(marker, QStringLiteral("\\1"));
}

// Texts of the labels in reading order (top to bottom, then left to right).
QStringList LabelTexts(QWidget& dialog) {
    QList<QLabel*> labels;
    for (QLabel* l : dialog.findChildren<QLabel*>()) {
        if (!l->text().isEmpty() && qobject_cast<CClickLabel*>(l) == nullptr &&
            qobject_cast<CHyperLink*>(l) == nullptr) {
            labels << l;
        }
    }
    std::sort(labels.begin(), labels.end(), [&](QLabel* a, QLabel* b) {
        const QPoint pa = a->mapTo(&dialog, QPoint());
        const QPoint pb = b->mapTo(&dialog, QPoint());
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
    QStringList texts;
    for (QLabel* l : labels) {
        texts << Shown(l->text());
    }
    return texts;
}

QPushButton* Button(QWidget& dialog, const QString& text) {
    for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
        if (Shown(b->text()) == text) {
            return b;
        }
    }
    return nullptr;
}

int X(QWidget& dialog, QWidget* w) {
    return w->mapTo(&dialog, QPoint()).x();
}
int Y(QWidget& dialog, QWidget* w) {
    return w->mapTo(&dialog, QPoint()).y();
}

void Show(QWidget& w) {
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
}

}  // namespace

class DialogTextsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setWindowIcon(OrvexIcon()); }

    void alarms() {
        CAlarmsDlg d;
        Show(d);
        QCOMPARE(d.windowTitle(), QStringLiteral("Alarmy"));
        const auto groups = d.findChildren<QGroupBox*>();
        QCOMPARE(groups.size(), 2);
        QGroupBox* top = Y(d, groups[0]) < Y(d, groups[1]) ? groups[0] : groups[1];
        QGroupBox* lower = top == groups[0] ? groups[1] : groups[0];
        QCOMPARE(Shown(top->title()), QStringLiteral("Alarm wewnętrzny"));
        QCOMPARE(Shown(lower->title()), QStringLiteral("Alarm zewnętrzny"));
        for (QGroupBox* g : {top, lower}) {
            const auto radios = g->findChildren<QRadioButton*>();
            QCOMPARE(radios.size(), 2);
            QCOMPARE(radios[0]->text(), QStringLiteral("Włączony"));
            QCOMPARE(radios[1]->text(), QStringLiteral("Wyłączony"));
        }
        QVERIFY(d.InternalOnButton()->parent() == top);
        // Flags 0 after construction: both off, and one choice per group.
        QVERIFY(d.InternalOffButton()->isChecked() && d.ExternalOffButton()->isChecked());
        d.InternalOnButton()->click();
        QVERIFY(!d.InternalOffButton()->isChecked() && d.ExternalOffButton()->isChecked());
        QPushButton* ok = Button(d, QStringLiteral("OK"));
        QPushButton* cancel = Button(d, QStringLiteral("Anuluj"));
        QVERIFY(ok && cancel && ok->isDefault());
    }

    void colours() {
        CColorStatic controls[8];
        CColorDlg d;
        for (int i = 0; i < 8; ++i) {
            controls[i].SetBackgroundColour(Rgb(i, 2 * i, 3 * i));
            d.valueControls[i] = &controls[i];
        }
        Show(d);
        QCOMPARE(d.windowTitle(), QStringLiteral("Kolory"));
        QCOMPARE(LabelTexts(d),
                 (QStringList{"Tło", "Tekst", "Wejście 1", "Wejście 2", "Wejście 3", "Wejście 4",
                              "Wejście 5", "Wejście 6", "Wejście 7", "Wejście 8"}));
        // The background column first, rows in input order.
        QVERIFY(X(d, d.BackgroundSwatch(0)) < X(d, d.TextSwatch(0)));
        QVERIFY(Y(d, d.BackgroundSwatch(6)) < Y(d, d.BackgroundSwatch(7)));
        QCOMPARE(d.BackgroundSwatch(5)->GetColour(), Rgb(5, 10, 15));
        QCOMPARE(d.BackgroundSwatch(5)->grab().toImage().pixelColor(3, 3), QColor(5, 10, 15));
        QPushButton* ok = Button(d, QStringLiteral("OK"));
        QPushButton* cancel = Button(d, QStringLiteral("Anuluj"));
        QVERIFY(ok && cancel && ok->isDefault());
        QCOMPARE(CColorRect().GetColour(), Rgb(128, 128, 128));
    }

    void fonts() {
        CColorStatic controls[8];
        CFontDlg d;
        for (int i = 0; i < 8; ++i) {
            controls[i].SetLogFont(MakeFontDescription(QStringLiteral("Arial"), 20 + i));
            d.valueControls[i] = &controls[i];
        }
        Show(d);
        QCOMPARE(d.windowTitle(), QStringLiteral("Czcionki"));
        QCOMPARE(LabelTexts(d), (QStringList{"Wejście 1", "Wejście 2", "Wejście 3", "Wejście 4",
                                             "Wejście 5", "Wejście 6", "Wejście 7", "Wejście 8"}));
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(d.Preview(i)->text(), QStringLiteral("0123456789."));
            QCOMPARE(d.Preview(i)->alignment(), Qt::AlignCenter);
            QCOMPARE(d.Preview(i)->font(), controls[i].font());
        }
        QPushButton* ok = Button(d, QStringLiteral("OK"));
        QPushButton* cancel = Button(d, QStringLiteral("Anuluj"));
        QVERIFY(ok && cancel && ok->isDefault());
    }

    // OK and Anuluj stand in one order in every dialog: the platform's, as in a standard box.
    void okAndAnulujStandInThePlatformsOrder() {
        QDialogButtonBox standard(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        Show(standard);
        const bool okFirst = X(standard, standard.button(QDialogButtonBox::Ok)) <
                             X(standard, standard.button(QDialogButtonBox::Cancel));
        CComDlg::SetPortLister([](int& count, std::string& text) {
            count = 0;
            text.clear();
            return true;
        });
        std::unique_ptr<QDialog> dialogs[] = {
            std::make_unique<CAlarmsDlg>(),  std::make_unique<CColorDlg>(),
            std::make_unique<CFontDlg>(),    std::make_unique<CSettingsDlg>(),
            std::make_unique<CLogFileDlg>(), std::make_unique<CComDlg>()};
        for (auto& d : dialogs) {
            Show(*d);
            QPushButton* ok = Button(*d, QStringLiteral("OK"));
            QPushButton* cancel = Button(*d, QStringLiteral("Anuluj"));
            QVERIFY(ok && cancel && ok->isDefault());
            QVERIFY2((X(*d, ok) < X(*d, cancel)) == okFirst, d->metaObject()->className());
            // Tab follows the order they stand in.
            QVERIFY((okFirst ? ok : cancel)->nextInFocusChain() == (okFirst ? cancel : ok));
            d->reject();
        }
    }

    void about() {
        CAboutDlg d;
        Show(d);
        QCOMPARE(d.windowTitle(), QStringLiteral("O programie"));
        const QStringList texts = LabelTexts(d);
        QVERIFY2(texts.contains(QStringLiteral("ORVEX Wersja 1.09")), qPrintable(texts.join('|')));
        QPushButton* ok = Button(d, QStringLiteral("OK"));
        QVERIFY(ok && ok->isDefault());
        // OK at the top right.
        auto* version = d.findChild<QLabel*>(QStringLiteral("versionText"));
        QVERIFY(X(d, ok) > X(d, version));
        QVERIFY(Y(d, ok) <= Y(d, version) + version->height());
        for (const char* picture : {"aboutIcon", "logo"}) {
            auto* label = d.findChild<QLabel*>(QLatin1String(picture));
            QVERIFY(label != nullptr && !label->pixmap().isNull());
        }
    }

    void settings() {
        CSettingsDlg d;
        d.doNotShow = 1;
        Show(d);
        QCOMPARE(d.windowTitle(), QStringLiteral("Dialog"));
        QCOMPARE(Shown(d.CheckBox()->text()),
                 QStringLiteral("Nie pokazu informacji o oprogramowaniu Zelvio przy starcie"));
        QVERIFY(d.CheckBox()->isChecked());
        QPushButton* ok = Button(d, QStringLiteral("OK"));
        QVERIFY(ok && ok->isDefault() && Button(d, QStringLiteral("Anuluj")));
        d.CheckBox()->setChecked(false);
        ok->click();
        QCOMPARE(d.doNotShow, 0);
        QCOMPARE(d.result(), int(QDialog::Accepted));
    }

    void information() {
        CDialogAdv d;
        Show(d);
        QCOMPARE(d.windowTitle(), QStringLiteral("Promocja Zelvio"));
        QCOMPARE(d.Link()->text(),
                 QStringLiteral("Kliknij, aby uzyskać więcej informacji w internecie"));
        QCOMPARE(d.Link()->URL(), QStringLiteral("https://zelvio.example.org/"));
        QPushButton* close = Button(d, QStringLiteral("Zamknij"));
        QVERIFY(close && close->isDefault());
        // The link at the bottom left, the button at the bottom right, the text above both.
        QVERIFY(X(d, d.Link()) < X(d, close));
        QVERIFY(Y(d, d.Text()) + d.Text()->height() <= Y(d, d.Link()));
        // The text names Zelvio and carries its one picture, loaded from the resources.
        QTextDocument* doc = d.Text()->document();
        QVERIFY(doc->toPlainText().contains(QStringLiteral("Zelvio")));
        const QVariant image = doc->resource(QTextDocument::ImageResource,
                                             QUrl(QStringLiteral("qrc:/orvex/zelvio.svg")));
        QVERIFY(image.isValid() && !image.value<QImage>().isNull());
    }

    // Clicks and double clicks into the text place no caret and select nothing.
    void informationTextTakesNoClicks() {
        CDialogAdv d;
        Show(d);
        QWidget* viewport = d.Text()->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(40, 60));
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(40, 60));
        QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(20, 60));
        QTest::mouseMove(viewport, QPoint(200, 120));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(200, 120));
        QTest::mouseClick(viewport, Qt::RightButton, {}, QPoint(40, 60));
        QVERIFY(!d.Text()->textCursor().hasSelection());
        QVERIFY(!d.Text()->hasFocus());
        QTest::keyClick(&d, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(!d.Text()->textCursor().hasSelection());
    }

    void everyDialogCarriesTheIcon() {
        QVERIFY(!OrvexIcon().pixmap(32, 32).isNull());
        const QImage expected = OrvexIcon().pixmap(32, 32).toImage();
        std::unique_ptr<QDialog> dialogs[] = {
            std::make_unique<CAlarmsDlg>(),   std::make_unique<CColorDlg>(),
            std::make_unique<CFontDlg>(),     std::make_unique<CAboutDlg>(),
            std::make_unique<CSettingsDlg>(), std::make_unique<CDialogAdv>(),
            std::make_unique<CHelpWindow>()};
        for (auto& d : dialogs) {
            QCOMPARE(d->windowIcon().pixmap(32, 32).toImage(), expected);
        }
    }

    // Every link of the guide to a place in it leads somewhere, and the topics are there.
    void helpLinksResolve() {
        CHelpWindow help;
        Show(help);
        QCOMPARE(help.windowTitle(), QStringLiteral("orvex - Pomoc"));
        const QString html = help.Browser()->document()->toHtml();
        QSet<QString> anchors;
        const QRegularExpression name(QStringLiteral("<a name=\"([^\"]+)\""));
        for (auto m = name.globalMatch(html); m.hasNext();) {
            anchors << m.next().captured(1);
        }
        const QRegularExpression href(QStringLiteral("href=\"#([^\"]+)\""));
        int links = 0;
        for (auto m = href.globalMatch(html); m.hasNext();) {
            const QString target = m.next().captured(1);
            QVERIFY2(anchors.contains(target), qPrintable(target));
            ++links;
        }
        QVERIFY(links >= 8);
        // Every picture of the guide is built into the program.
        const QRegularExpression img(QStringLiteral("<img src=\"([^\"]+)\""));
        int pictures = 0;
        for (auto m = img.globalMatch(html); m.hasNext(); ++pictures) {
            const QString source = m.next().captured(1);
            QVERIFY2(
                !help.Browser()->loadResource(QTextDocument::ImageResource, QUrl(source)).isNull(),
                qPrintable(source));
        }
        QVERIFY(pictures >= 1);
        const QString text = help.Browser()->toPlainText();
        for (const char* topic : {"???", "Brak wejścia", "dialout", "ports/com7", "orvex.ini",
                                  "ORVEX_TRACE=1", ".qdx", "Ustawienia alarmów"}) {
            QVERIFY2(text.contains(QString::fromUtf8(topic)), topic);
        }
        // Following a link moves the view, and Wstecz comes back.
        help.Browser()->setSource(QUrl(QStringLiteral("#diagnostyka")));
        QTRY_VERIFY(help.Browser()->isBackwardAvailable());
        QVERIFY(help.findChild<QPushButton*>(QStringLiteral("backButton"))->isEnabled());
    }
};

QTEST_MAIN(DialogTextsTest)
#include "DialogTextsTest.moc"
