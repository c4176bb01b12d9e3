#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

#include "tests/ui/ModalAnswerer.h"
#include "ui/dialogs/LogFileDlg.h"

namespace {

// The names a chooser lists in its folder.
QStringList Listed(QFileDialog* chooser) {
    auto* view = chooser->findChild<QAbstractItemView*>("listView");
    QStringList shown;
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row)
        shown << view->model()->index(row, 0, root).data().toString();
    return shown;
}

// Qt's chooser lists its folder in the background and, once the listing is in, puts the name
// it was opened on back over anything typed meanwhile: waits for the listing to show the name
// (or for long).
bool WaitForListing(QFileDialog* chooser, const QString& name) {
    QDeadlineTimer deadline(10000);
    while (!Listed(chooser).contains(name) && !deadline.hasExpired())
        QTest::qWait(10);
    return Listed(chooser).contains(name);
}

// The dialog's controls, found by name.
struct Controls {
    explicit Controls(CLogFileDlg& dlg) {
        picker = dlg.findChild<QTimeEdit*>("intervalPicker");
        textCheck = dlg.findChild<QCheckBox*>("textRecordingCheck");
        textEdit = dlg.findChild<QLineEdit*>("textFileEdit");
        textButton = dlg.findChild<QPushButton*>("textFileButton");
        textLabel = dlg.findChild<QLabel*>("textFileLabel");
        separatorLabel = dlg.findChild<QLabel*>("separatorLabel");
        radios = {dlg.findChild<QRadioButton*>("separatorTab"),
                  dlg.findChild<QRadioButton*>("separatorComma"),
                  dlg.findChild<QRadioButton*>("separatorSemicolon")};
        for (int i = 0; i < 8; ++i)
            inputs[i] = dlg.findChild<QCheckBox*>(QString("input%1").arg(i + 1));
        commentCheck = dlg.findChild<QCheckBox*>("commentCheck");
        commentEdit = dlg.findChild<QPlainTextEdit*>("commentEdit");
        binaryCheck = dlg.findChild<QCheckBox*>("binaryRecordingCheck");
        binaryEdit = dlg.findChild<QLineEdit*>("binaryFileEdit");
        binaryButton = dlg.findChild<QPushButton*>("binaryFileButton");
        binaryLabel = dlg.findChild<QLabel*>("binaryFileLabel");
        ok = dlg.findChild<QPushButton*>("okButton");
        cancel = dlg.findChild<QPushButton*>("cancelButton");
    }
    // The controls that follow the text recording switch, except the comment edit.
    QList<QWidget*> TextControls() const {
        QList<QWidget*> list{textEdit, textButton, textLabel, separatorLabel, commentCheck};
        for (QRadioButton* radio : radios)
            list << radio;
        for (QCheckBox* input : inputs)
            list << input;
        return list;
    }
    QList<QWidget*> BinaryControls() const { return {binaryEdit, binaryButton, binaryLabel}; }

    // Every enabling that differs from the expected one, by name; empty when all agree.
    QString Mismatches(bool text, bool binary, bool comment) const {
        QStringList wrong;
        for (QWidget* w : TextControls())
            if (w->isEnabled() != text)
                wrong << w->objectName();
        for (QWidget* w : BinaryControls())
            if (w->isEnabled() != binary)
                wrong << w->objectName();
        if (commentEdit->isEnabled() != (text && comment))
            wrong << "commentEdit";
        if (!textCheck->isEnabled() || !binaryCheck->isEnabled())
            wrong << "recording check boxes";
        if (textCheck->isChecked() != text || binaryCheck->isChecked() != binary)
            wrong << "recording ticks";
        return wrong.join(' ');
    }

    QTimeEdit* picker;
    QCheckBox* textCheck;
    QLineEdit* textEdit;
    QPushButton* textButton;
    QLabel* textLabel;
    QLabel* separatorLabel;
    std::array<QRadioButton*, 3> radios;
    std::array<QCheckBox*, 8> inputs;
    QCheckBox* commentCheck;
    QPlainTextEdit* commentEdit;
    QCheckBox* binaryCheck;
    QLineEdit* binaryEdit;
    QPushButton* binaryButton;
    QLabel* binaryLabel;
    QPushButton* ok;
    QPushButton* cancel;
};

enum PickerEdit { Type, Clear, StepHourUp };

}  // namespace

class LogFileDlgTest : public QObject {
    Q_OBJECT
    ModalAnswerer answerer;
private slots:
    void init() { answerer.Reset(); }

    void everyControlCarriesItsText() {
        CLogFileDlg dlg;
        dlg.show();
        Controls c(dlg);
        QCOMPARE(dlg.windowTitle(), QString("Rejestracja do pliku"));
        const QList<std::pair<const char*, QString>> texts{
            {"intervalLabel", "Interwał rejestracji"},
            {"textRecordingCheck", "Rejestruj wyniki pomiarów"},
            {"textFileLabel", "W pliku"},
            {"textFileButton", "..."},
            {"separatorLabel", "Separator kolumn:"},
            {"separatorTab", "Tabulator"},
            {"separatorComma", "Przecinek"},
            {"separatorSemicolon", "Średnik"},
            {"commentCheck", "Dodaj komentarz przy rozpoczęciu rejestracji:"},
            {"binaryRecordingCheck", "Rejestruj do pliku binarnego (używany przez program Lumeo)"},
            {"binaryFileLabel", "W pliku"},
            {"binaryFileButton", "..."},
            {"okButton", "OK"},
            {"cancelButton", "Anuluj"},
        };
        for (const auto& [name, text] : texts) {
            QWidget* w = dlg.findChild<QWidget*>(name);
            QVERIFY2(w != nullptr, name);
            const QString shown = qobject_cast<QLabel*>(w)
                                      ? qobject_cast<QLabel*>(w)->text()
                                      : qobject_cast<QAbstractButton*>(w)->text();
            QCOMPARE(QString(shown).remove('&'), text);  // shown without mnemonic markers
        }
        for (int i = 0; i < 8; ++i)
            QCOMPARE(c.inputs[i]->text().remove('&'), QString("Wejście %1").arg(i + 1));

        QCOMPARE(c.picker->displayFormat(), QString("HH:mm:ss"));
        QCOMPARE(c.picker->maximumTime(), QTime(23, 59, 59));
        QVERIFY(c.picker->buttonSymbols() != QAbstractSpinBox::NoButtons);
        QVERIFY(c.ok->isDefault());

        // The picker sits above the two frames; each frame holds its recording's controls.
        auto* textGroup = dlg.findChild<QGroupBox*>("textGroup");
        auto* binaryGroup = dlg.findChild<QGroupBox*>("binaryGroup");
        QVERIFY(textGroup && binaryGroup);
        QVERIFY(!textGroup->isAncestorOf(c.picker) && !binaryGroup->isAncestorOf(c.picker));
        const QList<QWidget*> inText = c.TextControls() << c.textCheck << c.commentEdit;
        for (QWidget* w : inText)
            QVERIFY2(textGroup->isAncestorOf(w), qPrintable(w->objectName()));
        const QList<QWidget*> inBinary = c.BinaryControls() << c.binaryCheck;
        for (QWidget* w : inBinary)
            QVERIFY2(binaryGroup->isAncestorOf(w), qPrintable(w->objectName()));
    }

    void enablingFollowsTheRecordingsAndTheCommentOption_data() {
        QTest::addColumn<bool>("text");
        QTest::addColumn<bool>("binary");
        QTest::addColumn<bool>("comment");
        for (int bits = 0; bits < 8; ++bits) {
            const bool text = bits & 1, binary = bits & 2, comment = bits & 4;
            QTest::addRow("text %d binary %d comment %d", text, binary, comment)
                << text << binary << comment;
        }
    }
    void enablingFollowsTheRecordingsAndTheCommentOption() {
        QFETCH(bool, text);
        QFETCH(bool, binary);
        QFETCH(bool, comment);
        CLogFileDlg dlg;
        dlg.textRecording = text;
        dlg.binaryRecording = binary;
        dlg.addComment = comment;
        Controls c(dlg);
        dlg.show();
        QCOMPARE(c.Mismatches(text, binary, comment), QString());
        QCOMPARE(c.commentCheck->isChecked(), comment);

        c.textCheck->click();
        QCOMPARE(dlg.textRecording, int(!text));
        QCOMPARE(c.Mismatches(!text, binary, comment), QString());
        c.binaryCheck->click();
        QCOMPARE(dlg.binaryRecording, int(!binary));
        QCOMPARE(c.Mismatches(!text, !binary, comment), QString());
        // The comment box can be clicked only while text recording is on.
        c.commentCheck->click();
        const bool commentNow = text ? comment : !comment;
        QCOMPARE(dlg.addComment, int(commentNow));
        QCOMPARE(c.Mismatches(!text, !binary, commentNow), QString());
        c.textCheck->click();
        QCOMPARE(c.Mismatches(text, !binary, commentNow), QString());
    }

    void pickerShowsTheStoredIntervalClamped_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QTime>("shown");
        QTest::newRow("1:01:01") << 3661 << QTime(1, 1, 1);
        QTest::newRow("longest") << 86399 << QTime(23, 59, 59);
        QTest::newRow("a day") << 86400 << QTime(23, 59, 59);
        QTest::newRow("huge") << 1000000 << QTime(23, 59, 59);
        QTest::newRow("zero") << 0 << QTime(0, 0, 1);
        QTest::newRow("negative") << -7 << QTime(0, 0, 1);
    }
    void pickerShowsTheStoredIntervalClamped() {
        QFETCH(int, stored);
        QFETCH(QTime, shown);
        CLogFileDlg dlg;
        dlg.interval = stored;
        dlg.inputFlags[0] = 1;
        Controls c(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QCOMPARE(c.picker->time(), shown);
        // Passing through the picker without changing it keeps the stored value.
        c.picker->setFocus();
        c.cancel->setFocus();
        QVERIFY(!c.picker->hasFocus());
        QCOMPARE(dlg.interval, stored);
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.interval, stored);
    }

    // Focus loss and Enter (which also presses OK) both take the picker's time.
    void pickerEditsBecomeTheInterval_data() {
        QTest::addColumn<int>("edit");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("enter");
        QTest::addColumn<QTime>("shown");
        QTest::addColumn<int>("interval");
        QTest::newRow("typed") << int(Type) << "012345" << false << QTime(1, 23, 45) << 5025;
        QTest::newRow("typed, Enter") << int(Type) << "000203" << true << QTime(0, 2, 3) << 123;
        QTest::newRow("typed zero") << int(Type) << "000000" << false << QTime(0, 0, 1) << 1;
        QTest::newRow("typed zero, Enter") << int(Type) << "000000" << true << QTime(0, 0, 1) << 1;
        QTest::newRow("emptied") << int(Clear) << "" << false << QTime(0, 0, 1) << 1;
        QTest::newRow("hour up") << int(StepHourUp) << "" << false << QTime(3, 0, 0) << 10800;
    }
    void pickerEditsBecomeTheInterval() {
        QFETCH(int, edit);
        QFETCH(QString, keys);
        QFETCH(bool, enter);
        QFETCH(QTime, shown);
        QFETCH(int, interval);
        CLogFileDlg dlg;
        dlg.interval = 7200;
        dlg.inputFlags[7] = 1;
        Controls c(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        c.picker->setFocus();
        if (edit == Clear) {
            for (auto section : {QDateTimeEdit::HourSection, QDateTimeEdit::MinuteSection,
                                 QDateTimeEdit::SecondSection}) {
                c.picker->setSelectedSection(section);
                QTest::keyClick(c.picker, Qt::Key_Backspace);
            }
        } else {
            c.picker->setSelectedSection(QDateTimeEdit::HourSection);
            if (edit == Type)
                QTest::keyClicks(c.picker, keys);
            else
                QTest::keyClick(c.picker, Qt::Key_Up);
        }
        QCOMPARE(dlg.interval, 7200);  // nothing is taken while the picker has focus
        if (enter)
            QTest::keyClick(c.picker, Qt::Key_Return);
        else
            c.cancel->setFocus();
        QCOMPARE(dlg.result(), int(enter ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(c.picker->time(), shown);
        QCOMPARE(dlg.interval, interval);
    }

    void okWithoutInputsIsRefused_data() {
        QTest::addColumn<bool>("text");
        QTest::newRow("text recording on") << true;
        QTest::newRow("text recording off") << false;
    }
    void okWithoutInputsIsRefused() {
        QFETCH(bool, text);
        CLogFileDlg dlg;
        dlg.textRecording = text;
        dlg.binaryRecording = 1;
        Controls c(dlg);
        QString message, title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool stayedOpen = false;
        int boxes = 0;
        answerer.On<CLogFileDlg>([&](CLogFileDlg*) {
            answerer.On<QMessageBox>([&](QMessageBox* box) {
                ++boxes;
                message = box->text();
                title = box->windowTitle();
                icon = box->icon();
                box->button(QMessageBox::Ok)->click();
            });
            c.ok->click();
            stayedOpen = dlg.isVisible();
            // With text recording off the boxes are disabled; the flag alone counts.
            dlg.inputFlags[2] = 1;
            c.ok->click();
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QCOMPARE(answerer.Unmet(), QStringList());
        QCOMPARE(boxes, 1);
        QCOMPARE(message, QString("Wybierz przynajmniej jedną wielkość do zapisu"));
        QCOMPARE(title, QString("orvex"));
        QCOMPARE(icon, QMessageBox::Information);
        QVERIFY(stayedOpen);
    }

    void valuesRoundTripThroughTheControls() {
        CLogFileDlg dlg;
        dlg.textRecording = 1;
        dlg.binaryRecording = 1;
        dlg.textFileName = "/data/pomiary.csv";
        dlg.binaryFileName = "/data/wykres.qdx";
        dlg.interval = 3723;
        dlg.separator = 2;
        const int flags[8] = {1, 0, 1, 0, 0, 0, 0, 1};
        std::copy(std::begin(flags), std::end(flags), dlg.inputFlags);
        dlg.addComment = 1;
        dlg.comment = "Seria A\nczujnik 3";
        Controls c(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));

        QCOMPARE(c.textEdit->text(), QString("/data/pomiary.csv"));
        QCOMPARE(c.binaryEdit->text(), QString("/data/wykres.qdx"));
        QCOMPARE(c.picker->time(), QTime(1, 2, 3));
        QVERIFY(!c.radios[0]->isChecked() && !c.radios[1]->isChecked() && c.radios[2]->isChecked());
        for (int i = 0; i < 8; ++i)
            QCOMPARE(c.inputs[i]->isChecked(), flags[i] != 0);
        QVERIFY(c.commentCheck->isChecked());
        QCOMPARE(c.commentEdit->toPlainText(), QString("Seria A\nczujnik 3"));

        // A path typed into an edit is taken when the edit loses focus.
        c.textEdit->setFocus();
        c.textEdit->selectAll();
        QTest::keyClicks(c.textEdit, "/tmp/nowy.txt");
        QCOMPARE(dlg.textFileName, QString("/data/pomiary.csv"));
        c.binaryEdit->setFocus();
        QCOMPARE(dlg.textFileName, QString("/tmp/nowy.txt"));
        c.binaryEdit->selectAll();
        QTest::keyClicks(c.binaryEdit, "/tmp/nowy.qdx");

        c.radios[1]->click();
        c.inputs[0]->click();
        c.inputs[4]->click();
        // Enter in the comment makes a new line instead of pressing OK.
        c.commentEdit->setFocus();
        c.commentEdit->moveCursor(QTextCursor::End);
        QTest::keyClick(c.commentEdit, Qt::Key_Return);
        QTest::keyClicks(c.commentEdit, "koniec");
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));

        c.ok->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.textRecording, 1);
        QCOMPARE(dlg.binaryRecording, 1);
        QCOMPARE(dlg.textFileName, QString("/tmp/nowy.txt"));
        QCOMPARE(dlg.binaryFileName, QString("/tmp/nowy.qdx"));
        QCOMPARE(dlg.interval, 3723);
        QCOMPARE(dlg.separator, 1);
        const int expected[8] = {0, 0, 1, 0, 1, 0, 0, 1};
        for (int i = 0; i < 8; ++i)
            QCOMPARE(dlg.inputFlags[i], expected[i]);
        QCOMPARE(dlg.addComment, 1);
        QCOMPARE(dlg.comment, QString("Seria A\nczujnik 3\nkoniec"));
    }

    void eachShowingStartsFromTheMembers() {
        CLogFileDlg dlg;
        dlg.separator = 2;
        dlg.textRecording = 1;
        dlg.textFileName = "/tmp/pierwszy.txt";
        dlg.inputFlags[1] = 1;
        Controls c(dlg);
        dlg.show();
        QVERIFY(c.radios[2]->isChecked());
        dlg.accept();

        dlg.separator = 7;  // from a settings file: no radio stands for it
        dlg.textRecording = 0;
        dlg.textFileName = "/tmp/drugi.txt";
        dlg.interval = 90;
        dlg.show();
        for (QRadioButton* radio : c.radios)
            QVERIFY(!radio->isChecked());
        QCOMPARE(c.Mismatches(false, false, false), QString());
        QCOMPARE(c.textEdit->text(), QString("/tmp/drugi.txt"));
        QCOMPARE(c.picker->time(), QTime(0, 1, 30));
        dlg.accept();
        QCOMPARE(dlg.separator, 7);
    }

    void extensionFollowsTheSelectedFilter_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("result");
        QTest::newRow("bare, first filter") << "/a/raport"
                                            << "txt"
                                            << "/a/raport.txt";
        QTest::newRow("bare, second filter") << "/a/raport"
                                             << "csv"
                                             << "/a/raport.csv";
        QTest::newRow("own extension kept") << "/a/raport.dat"
                                            << "csv"
                                            << "/a/raport.dat";
        QTest::newRow("other filter's extension kept") << "/a/r.txt"
                                                       << "csv"
                                                       << "/a/r.txt";
        QTest::newRow("dot only in a folder") << "/a.b/raport"
                                              << "qdx"
                                              << "/a.b/raport.qdx";
        QTest::newRow("binary") << "/a/wykres"
                                << "qdx"
                                << "/a/wykres.qdx";
        QTest::newRow("no folder") << "raport"
                                   << "txt"
                                   << "raport.txt";
        QTest::newRow("cancelled") << ""
                                   << "txt"
                                   << "";
    }
    void extensionFollowsTheSelectedFilter() {
        QFETCH(QString, path);
        QFETCH(QString, extension);
        QFETCH(QString, result);
        QCOMPARE(WithDefaultExtension(path, extension), result);
    }

    void choosersTakeThePathWithItsExtension_data() {
        QTest::addColumn<bool>("binary");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("taken");  // empty: cancelled, the old name stays
        // The current file is a .csv: the filter of both kinds keeps its kind.
        QTest::newRow("text, both kinds") << false << 0 << "raport"
                                          << "raport.csv";
        QTest::newRow("text, text filter") << false << 1 << "raport"
                                           << "raport.txt";
        QTest::newRow("text, CSV filter") << false << 2 << "raport"
                                          << "raport.csv";
        QTest::newRow("text, own extension") << false << 1 << "raport.log"
                                             << "raport.log";
        QTest::newRow("text, cancelled") << false << 0 << "raport"
                                         << "";
        QTest::newRow("binary") << true << 0 << "wykres"
                                << "wykres.qdx";
        QTest::newRow("binary, cancelled") << true << 0 << "wykres"
                                           << "";
    }
    void choosersTakeThePathWithItsExtension() {
        QFETCH(bool, binary);
        QFETCH(int, filter);
        QFETCH(QString, typed);
        QFETCH(QString, taken);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkdir("stare"));
        const QString folder = dir.filePath("stare");
        const QString old = folder + (binary ? "/stary.qdx" : "/stary.csv");
        {
            QFile oldFile(old);
            QVERIFY(oldFile.open(QIODevice::WriteOnly));
        }

        CLogFileDlg dlg;
        dlg.textRecording = 1;
        dlg.binaryRecording = 1;
        (binary ? dlg.binaryFileName : dlg.textFileName) = old;
        Controls c(dlg);
        dlg.show();

        QString title, startFolder;
        QStringList filters;
        bool native = true;
        bool chooserStayed = false;
        bool listed = false;
        answerer.On<QFileDialog>([&](QFileDialog* chooser) {
            title = chooser->windowTitle();
            filters = chooser->nameFilters();
            startFolder = chooser->directory().absolutePath();
            native = !chooser->testOption(QFileDialog::DontUseNativeDialog);
            listed = WaitForListing(chooser, QFileInfo(old).fileName());
            chooser->selectNameFilter(filters.value(filter));
            // Typed as a user does: a name relative to the starting folder, into the focused
            // field (which deselects the listed file).
            auto* nameEdit = chooser->findChild<QLineEdit*>("fileNameEdit");
            chooser->activateWindow();
            listed = listed && QTest::qWaitForWindowActive(chooser);
            nameEdit->setFocus();
            nameEdit->clear();
            QTest::keyClicks(nameEdit, typed);
            if (taken.isEmpty()) {
                chooser->reject();
            } else {
                chooser->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
                chooserStayed = chooser->isVisible();
                if (chooserStayed)
                    chooser->reject();
            }
        });
        (binary ? c.binaryButton : c.textButton)->click();
        QCOMPARE(answerer.Unmet(), QStringList());
        QVERIFY(listed);
        QVERIFY(!chooserStayed);
        QVERIFY(!native);
        QCOMPARE(startFolder, folder);
        if (binary) {
            QCOMPARE(title, QString("Wybierz plik binarny"));
            QCOMPARE(filters, QStringList{"Plik binarny (*.qdx)"});
        } else {
            QCOMPARE(title, QString("Wybierz plik raportu"));
            QCOMPARE(filters, (QStringList{"Plik tekstowy lub CSV (*.txt *.csv)",
                                           "Plik tekstowy (*.txt)", "Lista CSV (*.csv)"}));
        }
        const QString expected = taken.isEmpty() ? old : folder + "/" + taken;
        QCOMPARE((binary ? c.binaryEdit : c.textEdit)->text(), expected);
        QCOMPARE(binary ? dlg.binaryFileName : dlg.textFileName, expected);
        QCOMPARE(binary ? dlg.textFileName : dlg.binaryFileName, QString());
    }

    // The chooser opens on the file being recorded: in its folder, its name in the name field,
    // and listed under the filter it starts with, be it a text or a CSV file.
    void choosersOpenOnTheCurrentFile_data() {
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QString>("name");
        QTest::newRow("csv") << false << "pomiary.csv";
        QTest::newRow("txt") << false << "pomiary.txt";
        QTest::newRow("binary") << true << "wykres.qdx";
    }
    void choosersOpenOnTheCurrentFile() {
        QFETCH(bool, binary);
        QFETCH(QString, name);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const QString& file : {name, QString("inny.dat")}) {
            QFile f(dir.filePath(file));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        CLogFileDlg dlg;
        (binary ? dlg.binaryFileName : dlg.textFileName) = dir.filePath(name);
        (binary ? dlg.binaryRecording : dlg.textRecording) = 1;
        Controls c(dlg);
        dlg.show();

        QString typedName;
        QStringList selected;
        QStringList listed;
        answerer.On<QFileDialog>([&](QFileDialog* chooser) {
            typedName = chooser->findChild<QLineEdit*>("fileNameEdit")->text();
            selected = chooser->selectedFiles();
            WaitForListing(chooser, name);
            listed = Listed(chooser);
            chooser->reject();
        });
        (binary ? c.binaryButton : c.textButton)->click();
        QCOMPARE(answerer.Unmet(), QStringList());
        QCOMPARE(typedName, name);
        QCOMPARE(selected, QStringList{dir.filePath(name)});
        QVERIFY2(listed.contains(name), qPrintable(listed.join('|')));
        QVERIFY2(!listed.contains("inny.dat"), qPrintable(listed.join('|')));
    }

    // One Tab leaves the interval (Tab would otherwise step through its hours, minutes and
    // seconds first), and one Shift+Tab comes back to it.
    void oneTabLeavesTheInterval() {
        CLogFileDlg dlg;
        Controls c(dlg);
        dlg.show();
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        c.picker->setFocus(Qt::TabFocusReason);
        QVERIFY(c.picker->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* next = QApplication::focusWidget();
        QVERIFY(next != nullptr);
        QVERIFY2(next != c.picker && !c.picker->isAncestorOf(next), qPrintable(next->objectName()));
        QTest::keyClick(next, Qt::Key_Backtab);
        QVERIFY(c.picker->hasFocus());
        // Within the field the arrows step the section the cursor is in.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(c.picker->time(), QTime(0, 0, 2));
    }
};

QTEST_MAIN(LogFileDlgTest)
#include "LogFileDlgTest.moc"
