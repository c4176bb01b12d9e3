// The recording command's refusals and cancels, the messages of failing files and a medium
// that goes away, with real files and orvex-sim as the device.
#include <sys/mount.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "link/ComPortMap.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/SimProcess.h"
#include "tests/ui/RecordingDialogScript.h"
#include "tests/ui/WindowParts.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/LogFileDlg.h"

namespace fs = std::filesystem;

namespace {

const char* const kConfig = R"(device id=23073 serial=4711
input 1 type=1 serial=1234 valid=3 values=52.3,21.5
)";

}  // namespace

class MainWindowRecordingFaultsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir tmp;
    fs::path folder;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<COrvexDlg> dlg;
    std::unique_ptr<ModalAnswerer> answerer;
    std::vector<fs::path> mounts;

    void StartWindow(int interval = 3600) {
        sim = std::make_unique<SimProcess>(SimOptions{kConfig, {}});
        sim->LinkAs(folder / "ports", 7);
        dlg = std::make_unique<COrvexDlg>();
        dlg->settings.general.portNumber = 7;
        dlg->settings.log.interval = interval;
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        QTRY_VERIFY_WITH_TIMEOUT(dlg->Driver().IsDeviceResponding(), 10000);
        dlg->RefreshDisplay();
        QVERIFY(dlg->DeviceResponding());
    }

    void RunCommand() {
        QTimer::singleShot(0, ChildOf<QAction>(*dlg, "actionRecording"), &QAction::trigger);
        QTRY_COMPARE_WITH_TIMEOUT(answerer->Pending(), 0, 10000);
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    }

    // Text recording into a.txt with a tab, the state every command test starts from.
    void RecordIntoA() {
        StartWindow();
        Choice choice;
        choice.text = true;
        choice.binary = false;
        choice.textPath = Path("a.txt");
        choice.separator = 0;
        answerer->Expect(Recording(choice));
        RunCommand();
        QVERIFY(dlg->Recording().TextFile() != nullptr);
    }

    QString Path(const char* name) const {
        return QString::fromStdString((folder / name).string());
    }

    bool RecordingText() const {
        return StatusLineOf(*dlg).text().contains(QStringLiteral("Rejestracja do pliku"));
    }

private slots:
    void init() {
        QVERIFY(tmp.isValid());
        folder = fs::path(tmp.path().toStdString()) / "t";
        fs::remove_all(folder);
        fs::create_directories(folder / "ports");
        comport::SetPortsFolder(folder / "ports");
        answerer = std::make_unique<ModalAnswerer>();
    }

    void cleanup() {
        dlg.reset();
        sim.reset();
        answerer.reset();
        for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
            umount2(it->c_str(), MNT_DETACH);
        }
        mounts.clear();
    }

    // A comment the file's code page cannot hold is refused before anything changes: the
    // dialog comes back with the user's choices, and Anuluj leaves the recording as it was.
    void refusedCommentThenCancelChangesNothing() {
        RecordIntoA();
        const CRecordingFile* opened = dlg->Recording().TextFile();
        Choice choice;
        choice.textPath = Path("b.txt");
        choice.separator = 1;
        choice.comment = QStringLiteral("Привет");
        Shown again;
        answerer->Expect(Recording(choice));
        answerer->Expect(Answer(QMessageBox::Ok));
        answerer->Expect(Recording(CancelChoice(), &again));
        RunCommand();
        QCOMPARE(answerer->FirstSeen("QMessageBox")->icon, int(QMessageBox::Warning));
        QCOMPARE(again.textPath, Path("b.txt"));
        QVERIFY(again.commaSeparator);
        QCOMPARE(again.comment, QStringLiteral("Привет"));

        QCOMPARE(QString::fromStdString(dlg->settings.log.textPath), Path("a.txt"));
        QCOMPARE(dlg->settings.log.separatorCode, 0);
        QCOMPARE(dlg->settings.log.writeComment, 0);
        QVERIFY(dlg->Recording().comment.isEmpty());
        QVERIFY(dlg->settings.log.textOn);
        QCOMPARE(dlg->Recording().TextFile(), opened);
        QVERIFY(dlg->Recording().IsRecording());
        QVERIFY(!fs::exists(folder / "b.txt"));
        dlg->Recording().Tick();
        const std::string text = ReadFile(folder / "a.txt");
        QCOMPARE(CountRows(text), std::size_t(3));
        QVERIFY(text.find(',') == std::string::npos);
    }

    // After the refusal the user mends the comment: now everything chosen applies at once.
    void refusedCommentThenMendedApplies() {
        RecordIntoA();
        Choice choice;
        choice.textPath = Path("b.txt");
        choice.separator = 1;
        choice.comment = QStringLiteral("Привет");
        Choice mended;
        mended.comment = QStringLiteral("Szklarnia");
        answerer->Expect(Recording(choice));
        answerer->Expect(Answer(QMessageBox::Ok));
        answerer->Expect(Recording(mended));
        RunCommand();
        QCOMPARE(QString::fromStdString(dlg->settings.log.textPath), Path("b.txt"));
        QCOMPARE(dlg->settings.log.separatorCode, 1);
        QCOMPARE(QString::fromStdString(dlg->Recording().TextFile()->Path()), Path("b.txt"));
        const std::string text = ReadFile(folder / "b.txt");
        QVERIFY2(text.starts_with("Szklarnia\r\nData i Godzina,"), text.c_str());
    }

    // A failed opening and Anuluj in the dialog that returns: no file, no timer, no recording
    // text in the status line.
    void failedOpeningThenCancelStopsTheTimer() {
        RecordIntoA();
        QVERIFY(RecordingText());
        Choice choice;
        choice.textPath = Path("missing/x.txt");
        answerer->Expect(Recording(choice));
        answerer->Expect(Answer(QMessageBox::Ok));
        answerer->Expect(Recording(CancelChoice()));
        RunCommand();
        QVERIFY(!dlg->settings.log.textOn);
        QVERIFY(dlg->Recording().TextFile() == nullptr);
        QVERIFY(!dlg->Recording().IsRecording());
        QVERIFY2(!RecordingText(), qPrintable(StatusLineOf(*dlg).text()));
    }

    // A path under /proc gets its real reason; one file for both recordings is refused as such.
    void openingReasons() {
        StartWindow();
        Choice proc;
        proc.text = true;
        proc.textPath = QStringLiteral("/proc/x.txt");
        answerer->Expect(Recording(proc));
        answerer->Expect(Answer(QMessageBox::Ok));
        answerer->Expect(Recording(CancelChoice()));
        RunCommand();
        QCOMPARE(answerer->FirstSeen("QMessageBox")->informativeText,
                 QStringLiteral("w tym folderze nie można tworzyć plików"));

        Choice shared;
        shared.text = true;
        shared.binary = true;
        shared.textPath = Path("jeden.txt");
        shared.binaryPath = Path("jeden.txt");
        answerer->Expect(Recording(shared));
        answerer->Expect(Answer(QMessageBox::Ok));
        answerer->Expect(Recording(CancelChoice()));
        RunCommand();
        const ModalAnswerer::Seen& box =
            answerer->SeenWidgets()[answerer->SeenWidgets().size() - 2];
        QCOMPARE(box.text, QStringLiteral("Wybrany plik binarny jest niedostępny."));
        QCOMPARE(box.informativeText,
                 QStringLiteral("zapis tekstowy i binarny nie mogą trafiać do jednego pliku"));
        QVERIFY(dlg->Recording().TextFile() != nullptr);
        QVERIFY(dlg->Recording().BinaryFile() == nullptr);
    }

    // Both files failing at once: the one message names each.
    void bothFailingFilesAreNamed() {
        StartWindow();
        Choice both;
        both.text = true;
        both.binary = true;
        both.textPath = Path("w.txt");
        both.binaryPath = Path("w.qdx");
        answerer->Expect(Recording(both));
        RunCommand();
        {
            FileSizeLimit limit(
                std::min(fs::file_size(folder / "w.txt"), fs::file_size(folder / "w.qdx")));
            QVERIFY(limit.Active());
            dlg->Recording().Tick();
        }
        const QList<QMessageBox*> boxes =
            dlg->findChildren<QMessageBox*>(QStringLiteral("writeFailureBox"));
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(
            boxes[0]->text().contains(Path("w.txt")) && boxes[0]->text().contains(Path("w.qdx")),
            qPrintable(boxes[0]->text()));
    }

    // A failing file switched off by the command: its held rows are rescued and the user is
    // told where.
    void switchingAFailingFileOffRescuesItsRows() {
        StartWindow();
        dlg->Recording().rescueFolder = folder / "niezapisane";
        WriteFile(folder / "f.txt", std::string(8192, '.') + "\r\n");
        Choice on;
        on.text = true;
        on.textPath = Path("f.txt");
        answerer->Expect(Recording(on));
        answerer->Expect([](QWidget* widget) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            return box != nullptr && (box->button(QMessageBox::Yes)->click(), true);
        });
        RunCommand();
        FileSizeLimit limit(fs::file_size(folder / "f.txt"));
        QVERIFY(limit.Active());
        for (int i = 0; i < 3; ++i) {
            dlg->Recording().Tick();
        }
        Choice off;
        off.text = false;
        answerer->Expect(Recording(off));
        answerer->Expect(Answer(QMessageBox::Ok));
        RunCommand();
        limit.Lift();
        QVERIFY(dlg->Recording().TextFile() == nullptr);
        QVERIFY(fs::is_directory(folder / "niezapisane"));
        const fs::path rescued = fs::directory_iterator(folder / "niezapisane")->path();
        QVERIFY(rescued.filename().string().starts_with("f 20"));
        QCOMPARE(CountRows(ReadFile(rescued)), std::size_t(4));
        const ModalAnswerer::Seen& box = answerer->SeenWidgets().back();
        QVERIFY2(box.text.contains(QString::fromStdString(rescued.string())), qPrintable(box.text));
    }

    // A stored interval beyond what the dialog can show is used as the dialog shows it.
    void storedIntervalIsClampedWhereUsed() {
        StartWindow(99999999);
        dlg->settings.log.textOn = true;
        dlg->settings.log.textPath = Path("i.txt").toStdString();
        dlg->OpenRecordingFilesAtStartup();
        QCOMPARE(TimerOf(*dlg, "recordingTimer").interval(), 86399 * 1000);
        QVERIFY2(StatusLineOf(*dlg).text().endsWith(QStringLiteral("co 23:59:59. ")),
                 qPrintable(StatusLineOf(*dlg).text()));
    }

    // A medium lazily unmounted under the recording: one message naming the file, the status
    // line says so, nothing appears in the bare mount point; back, the status line clears and
    // the medium's file holds every row.
    void mediumAwayIsToldOnce() {
        const fs::path medium = folder / "nosnik";
        const fs::path mountPoint = folder / "M";
        fs::create_directories(medium);
        fs::create_directories(mountPoint);
        if (mount("tmpfs", medium.c_str(), "tmpfs", 0, "size=256k") != 0) {
            QSKIP(qPrintable(QStringLiteral("needs root to mount a medium: %1")
                                 .arg(QString::fromLocal8Bit(std::strerror(errno)))));
        }
        mounts.push_back(medium);
        QCOMPARE(mount(medium.c_str(), mountPoint.c_str(), nullptr, MS_BIND, nullptr), 0);
        mounts.push_back(mountPoint);

        StartWindow();
        Choice choice;
        choice.text = true;
        choice.textPath = QString::fromStdString((mountPoint / "x.txt").string());
        answerer->Expect(Recording(choice));
        RunCommand();
        QCOMPARE(umount2(mountPoint.c_str(), MNT_DETACH), 0);
        for (int i = 0; i < 3; ++i) {
            dlg->Recording().Tick();
        }
        QVERIFY(fs::is_empty(mountPoint));
        const QList<QMessageBox*> boxes =
            dlg->findChildren<QMessageBox*>(QStringLiteral("mediumAwayBox"));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->text(),
                 QStringLiteral("Nośnik z plikiem %1 jest niedostępny.").arg(*choice.textPath));
        QVERIFY2(StatusLineOf(*dlg).text().contains(
                     QStringLiteral("Nośnik z plikiem jest niedostępny.")),
                 qPrintable(StatusLineOf(*dlg).text()));

        QCOMPARE(mount(medium.c_str(), mountPoint.c_str(), nullptr, MS_BIND, nullptr), 0);
        dlg->Recording().Tick();
        QVERIFY(!StatusLineOf(*dlg).text().contains(QStringLiteral("Nośnik")));
        QCOMPARE(CountRows(ReadFile(medium / "x.txt")), std::size_t(1 + 1 + 4));
    }
};

QTEST_MAIN(MainWindowRecordingFaultsTest)
#include "MainWindowRecordingFaultsTest.moc"
