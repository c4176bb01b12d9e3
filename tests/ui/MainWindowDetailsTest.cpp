// What a daily user meets in the main window: a status line too long for its width, and a
// recording to view that is not there.
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

#include "ModalAnswerer.h"
#include "WindowOnSim.h"
#include "tests/ui/WindowParts.h"
#include "ui/OrvexDlg.h"
#include "ui/StatusLine.h"
#include "ui/dialogs/ComDlg.h"

namespace {

// The left part of a line edit's picture that shows the start of its text.
QImage Start(QLineEdit& line, int width) {
    return line.grab(QRect(0, 0, width, line.height())).toImage();
}

}  // namespace

class MainWindowDetailsTest : public QObject {
    Q_OBJECT
private slots:
    // The device state comes first and stays readable: a line too narrow for its text shows
    // the text's beginning, as a line holding only that beginning does, and the whole text as
    // its tooltip.
    void statusLineKeepsItsBeginning() {
        ModalAnswerer answerer;
        answerer.Expect(CancelPortDialog);
        COrvexDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QLineEdit& line = StatusLineOf(dlg);
        const QString text = line.text();
        QVERIFY(text.startsWith(QStringLiteral("Brak komunikacji")));
        QCOMPARE(line.toolTip(), text);

        // Narrowed below its text, as several states at the default width make it.
        const QString start = QStringLiteral("Brak komunikacji");
        const int textWidth = line.fontMetrics().horizontalAdvance(text);
        line.resize(textWidth * 3 / 4, line.height());
        QVERIFY(line.fontMetrics().horizontalAdvance(start) < textWidth * 3 / 4 - 8);
        QLineEdit reference(line.parentWidget());
        reference.setReadOnly(true);
        reference.setText(start);
        reference.setGeometry(line.geometry());
        const int shown = line.fontMetrics().horizontalAdvance(start);
        QCOMPARE(Start(line, shown), Start(reference, shown));

        // A new text, longer than the line, starts in view as well.
        ShowStatusText(line, text + QStringLiteral("Rejestracja do pliku co 00:00:01. "));
        QCOMPARE(Start(line, shown), Start(reference, shown));
        QCOMPARE(line.toolTip(), line.text());
    }

    // Viewing a file that is not there names the file, not its folder, which is there.
    void viewingAMissingFileSaysSo() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        ModalAnswerer answerer;
        answerer.Expect(CancelPortDialog);
        COrvexDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.ViewRecording(folder.filePath(QStringLiteral("brak.csv")));
        QMessageBox* box = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(
            (box = dlg.findChild<QMessageBox*>(QStringLiteral("trendMessage"))) != nullptr, 10000);
        QVERIFY2(box->text().contains(QStringLiteral("plik nie istnieje")),
                 qPrintable(box->text()));
        QVERIFY(!box->text().contains(QStringLiteral("folder")));
    }
};

QTEST_MAIN(MainWindowDetailsTest)
#include "MainWindowDetailsTest.moc"
