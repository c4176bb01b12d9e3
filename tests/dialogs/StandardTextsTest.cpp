// The buttons and choosers that Qt draws itself speak Polish, and numbers and dates are Polish,
// whatever the locale (the test runs under LANG=C).
#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <QtTest>

#include "NoPortStart.h"
#include "tests/ui/ModalAnswerer.h"
#include "tests/ui/WindowParts.h"
#include "ui/FontStyleName.h"
#include "ui/OrvexDlg.h"
#include "ui/PolishLocale.h"
#include "ui/dialogs/ClickLabel.h"
#include "ui/dialogs/ColorDlg.h"
#include "ui/dialogs/ColorRect.h"
#include "ui/dialogs/FontDlg.h"
#include "ui/dialogs/LogFileDlg.h"

namespace {

// A button's text as shown, without its mnemonic marker.
QString Shown(const QAbstractButton* button) {
    return button == nullptr ? QStringLiteral("(none)") : button->text().remove(QLatin1Char('&'));
}

QString CancelText(QDialog* chooser) {
    auto* box = chooser->findChild<QDialogButtonBox*>();
    return box == nullptr ? QStringLiteral("(none)") : Shown(box->button(QDialogButtonBox::Cancel));
}

// Whether a text holds a word that fonts use for their styles in English.
bool HasEnglishStyleWord(const QString& text) {
    static const QStringList words{"Regular", "Bold",   "Italic", "Oblique",   "Book",
                                   "Light",   "Medium", "Roman",  "Normal",    "Condensed",
                                   "Black",   "Heavy",  "Thin",   "ExtraLight"};
    const QStringList parts = text.split(QLatin1Char(' '));
    return std::any_of(parts.begin(), parts.end(),
                       [](const QString& part) { return words.contains(part); });
}

}  // namespace

class StandardTextsTest : public QObject {
    Q_OBJECT
    ModalAnswerer answerer;
private slots:
    void init() {
        answerer.Reset();
        ListNoPorts();
    }

    void recordingQuestionSaysTakNie() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("pomiary.csv"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("old row\r\n");
        }
        COrvexDlg window;
        PassPortDialog(answerer, window);
        QString yes;
        QString no;
        answerer.On<CLogFileDlg>([&](CLogFileDlg* d) {
            auto* check = d->findChild<QCheckBox*>(QStringLiteral("textRecordingCheck"));
            if (!check->isChecked()) {
                check->click();
            }
            d->findChild<QLineEdit*>(QStringLiteral("textFileEdit"))->setText(path);
            d->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        answerer.On<QMessageBox>([&](QMessageBox* box) {
            yes = Shown(box->button(QMessageBox::Yes));
            no = Shown(box->button(QMessageBox::No));
            box->button(QMessageBox::Yes)->click();
        });
        ChildOf<QAction>(window, "actionRecording")->trigger();
        QCOMPARE(yes, QStringLiteral("Tak"));
        QCOMPARE(no, QStringLiteral("Nie"));
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    void choosersSayAnuluj() {
        COrvexDlg window;
        PassPortDialog(answerer, window);
        QString colourCancel;
        QString fontCancel;
        answerer.On<CColorDlg>([&](CColorDlg* d) {
            answerer.On<QColorDialog>([&](QColorDialog* chooser) {
                colourCancel = CancelText(chooser);
                chooser->reject();
            });
            QTest::mouseClick(d->BackgroundSwatch(0), Qt::LeftButton);
            d->reject();
        });
        window.findChild<QAction*>(QStringLiteral("actionColours"))->trigger();
        answerer.On<CFontDlg>([&](CFontDlg* d) {
            answerer.On<QFontDialog>([&](QFontDialog* chooser) {
                fontCancel = CancelText(chooser);
                chooser->reject();
            });
            QTest::mouseClick(d->Preview(0), Qt::LeftButton);
            d->reject();
        });
        window.findChild<QAction*>(QStringLiteral("actionFonts"))->trigger();
        QCOMPARE(colourCancel, QStringLiteral("Anuluj"));
        QCOMPARE(fontCancel, QStringLiteral("Anuluj"));
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    void numbersAreWrittenThePolishWay() {
        QDoubleSpinBox box;
        box.setDecimals(2);
        box.setValue(2.5);
        QCOMPARE(box.text(), QStringLiteral("2,50"));
    }

    void fontStyleNames_data() {
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("polish");
        QTest::newRow("regular") << "Regular"
                                 << "Normalny";
        QTest::newRow("book") << "Book"
                              << "Normalny";
        QTest::newRow("italic") << "Italic"
                                << "Kursywa";
        QTest::newRow("bold italic") << "Bold Italic"
                                     << "Pogrubiona kursywa";
        QTest::newRow("oblique") << "Bold Oblique"
                                 << "Pogrubiony pochylony";
        QTest::newRow("width first") << "Bold Condensed Oblique"
                                     << "Zwężony pogrubiony pochylony";
        QTest::newRow("run together") << "SemiBold"
                                      << "Półpogrubiony";
        QTest::newRow("written apart") << "Extra Light Italic"
                                       << "Bardzo lekka kursywa";
        QTest::newRow("regular beside another") << "Condensed Regular"
                                                << "Zwężony";
        QTest::newRow("font's own word") << "Bold Retina"
                                         << "Pogrubiony Retina";
        QTest::newRow("only the font's own") << "Retina"
                                             << "Retina";
        QTest::newRow("empty") << ""
                               << "";
    }
    void fontStyleNames() {
        QFETCH(QString, english);
        QFETCH(QString, polish);
        QCOMPARE(PolishFontStyle(english), polish);
    }

    // The font chooser shows the styles of whatever fonts are installed in Polish.
    void fontChooserShowsPolishStyles() {
        COrvexDlg window;
        PassPortDialog(answerer, window);
        QStringList shown;
        QString styleLine;
        answerer.On<CFontDlg>([&](CFontDlg* d) {
            answerer.On<QFontDialog>([&](QFontDialog* chooser) {
                const auto lists = chooser->findChildren<QListView*>(Qt::FindDirectChildrenOnly);
                const auto lines = chooser->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly);
                if (lists.size() >= 2 && lines.size() >= 2) {
                    QListView* styles = lists[1];
                    for (int row = 0; row < styles->model()->rowCount(); ++row) {
                        const QModelIndex index = styles->model()->index(row, 0);
                        auto* delegate =
                            qobject_cast<QStyledItemDelegate*>(styles->itemDelegateForIndex(index));
                        shown << (delegate != nullptr
                                      ? delegate->displayText(index.data(), styles->locale())
                                      : index.data().toString());
                    }
                    styleLine = lines[1]->text();
                }
                chooser->reject();
            });
            QTest::mouseClick(d->Preview(0), Qt::LeftButton);
            d->reject();
        });
        window.findChild<QAction*>(QStringLiteral("actionFonts"))->trigger();
        QCOMPARE(answerer.Unmet(), QStringList());
        QVERIFY(!shown.isEmpty());
        for (const QString& style : shown) {
            QVERIFY2(!HasEnglishStyleWord(style), qPrintable(style));
        }
        QVERIFY2(shown.contains(styleLine), qPrintable(styleLine));
    }

    // The file chooser's dates are Polish ("7.12.2026", not "7 Dec 2026").
    void fileChooserDatesArePolish() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("pomiary.csv"));
        const QDateTime stamp(QDate(2026, 12, 7), QTime(12, 34));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("x");
        }
        {
            // Set on a file that is not written to after.
            QFile file(path);
            QVERIFY(file.open(QIODevice::Append));
            QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
        }
        CLogFileDlg dialog;
        dialog.textRecording = 1;
        dialog.textFileName = path;
        dialog.show();
        QString date;
        answerer.On<QFileDialog>([&](QFileDialog* chooser) {
            auto* view = chooser->findChild<QAbstractItemView*>(QStringLiteral("treeView"));
            // The folder is listed in the background: wait for the file, or for long.
            QDeadlineTimer deadline(10000);
            while (date.isEmpty() && !deadline.hasExpired()) {
                const QModelIndex root = view->rootIndex();
                for (int row = 0; row < view->model()->rowCount(root); ++row) {
                    if (view->model()->index(row, 0, root).data() ==
                        QStringLiteral("pomiary.csv")) {
                        // The text the detail view draws in its date column.
                        const QModelIndex index = view->model()->index(row, 3, root);
                        date = dynamic_cast<CFileColumns*>(view->itemDelegateForIndex(index))
                                   ? CFileColumns::ShownText(index)
                                   : index.data().toString();
                    }
                }
                QTest::qWait(20);
            }
            chooser->reject();
        });
        dialog.findChild<QPushButton*>(QStringLiteral("textFileButton"))->click();
        dialog.reject();
        QCOMPARE(answerer.Unmet(), QStringList());
        QVERIFY2(!date.contains(QStringLiteral("Dec")), qPrintable(date));
        QCOMPARE(date, QLocale(QLocale::Polish).toString(stamp, QLocale::ShortFormat));
    }
};

QTEST_MAIN(StandardTextsTest)
#include "StandardTextsTest.moc"
