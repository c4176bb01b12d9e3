// The buttons and choosers that Qt draws itself speak Polish, whatever the locale (the test
// runs under LANG=C).
#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "ModalScript.h"
#include "NoPortStart.h"
#include "recording/dialog/LogFileDlg.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/ClickLabel.h"
#include "ui/dialogs/ColorDlg.h"
#include "ui/dialogs/ColorRect.h"
#include "ui/dialogs/FontDlg.h"

namespace {

// A button's text as shown, without its mnemonic marker.
QString Shown(const QAbstractButton* button) {
    return button == nullptr ? QStringLiteral("(none)") : button->text().remove(QLatin1Char('&'));
}

QString CancelText(QDialog* chooser) {
    auto* box = chooser->findChild<QDialogButtonBox*>();
    return box == nullptr ? QStringLiteral("(none)") : Shown(box->button(QDialogButtonBox::Cancel));
}

}  // namespace

class StandardTextsTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        ModalStep::Reset();
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
        PassPortDialog(window);
        QString yes;
        QString no;
        ModalStep::On<CLogFileDlg>([&](CLogFileDlg* d) {
            auto* check = d->findChild<QCheckBox*>(QStringLiteral("textRecordingCheck"));
            if (!check->isChecked()) {
                check->click();
            }
            d->findChild<QLineEdit*>(QStringLiteral("textFileEdit"))->setText(path);
            d->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        ModalStep::On<QMessageBox>([&](QMessageBox* box) {
            yes = Shown(box->button(QMessageBox::Yes));
            no = Shown(box->button(QMessageBox::No));
            box->button(QMessageBox::Yes)->click();
        });
        window.RecordingAction()->trigger();
        QCOMPARE(yes, QStringLiteral("Tak"));
        QCOMPARE(no, QStringLiteral("Nie"));
        QCOMPARE(ModalStep::Unmet(), QStringList());
    }

    void choosersSayAnuluj() {
        COrvexDlg window;
        PassPortDialog(window);
        QString colourCancel;
        QString fontCancel;
        ModalStep::On<CColorDlg>([&](CColorDlg* d) {
            ModalStep::On<QColorDialog>([&](QColorDialog* chooser) {
                colourCancel = CancelText(chooser);
                chooser->reject();
            });
            QTest::mouseClick(d->BackgroundSwatch(0), Qt::LeftButton);
            d->reject();
        });
        window.findChild<QAction*>(QStringLiteral("actionColours"))->trigger();
        ModalStep::On<CFontDlg>([&](CFontDlg* d) {
            ModalStep::On<QFontDialog>([&](QFontDialog* chooser) {
                fontCancel = CancelText(chooser);
                chooser->reject();
            });
            QTest::mouseClick(d->Preview(0), Qt::LeftButton);
            d->reject();
        });
        window.findChild<QAction*>(QStringLiteral("actionFonts"))->trigger();
        QCOMPARE(colourCancel, QStringLiteral("Anuluj"));
        QCOMPARE(fontCancel, QStringLiteral("Anuluj"));
        QCOMPARE(ModalStep::Unmet(), QStringList());
    }
};

QTEST_MAIN(StandardTextsTest)
#include "StandardTextsTest.moc"
