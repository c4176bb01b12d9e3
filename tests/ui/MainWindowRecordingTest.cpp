// Recording from the main window: the command, the start-up step and write failures, with real
// files in a temporary folder and orvex-sim as the device.
#include <sys/file.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <filesystem>
#include <optional>

#include "link/ComPortMap.h"
#include "recording/format/BinaryRecordDecoder.h"
#include "recording/format/FileText.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/SimProcess.h"
#include "tests/ui/RecordingDialogScript.h"
#include "tests/ui/WindowParts.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/LogFileDlg.h"

namespace fs = std::filesystem;

namespace {

// TQ21 on input 1 and a TQ22 with probes 3 and 5 absent on input 2.
const char* const kConfig = R"(device id=23073 serial=4711
input 1 type=1 serial=1234 valid=3 values=52.3,21.5
input 2 type=7 serial=77 valid=0xEB values=1.0,2.0,0,4.0,0,6.0,7.0,8.0
)";

// Lines of a text file, each with its CR LF cut off; a last line without one is kept as is.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

const QString kTextUnavailable =
    QStringLiteral("Wybrany plik rejestracji wyników pomiaru jest niedostępny.");

}  // namespace

class MainWindowRecordingTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir tmp;
    fs::path folder;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<COrvexDlg> dlg;
    std::unique_ptr<ModalAnswerer> answerer;

    // The window on the simulator, with the device answering and the display refreshed.
    void StartWindow(int interval = 3600) {
        sim = std::make_unique<SimProcess>(SimOptions{kConfig, {}});
        sim->LinkAs(folder / "ports", 7);
        dlg = std::make_unique<COrvexDlg>();
        dlg->settings.general.portNumber = 7;
        dlg->settings.log.interval = interval;
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        QTRY_VERIFY_WITH_TIMEOUT(Identified(), 10000);
        dlg->RefreshDisplay();
        QVERIFY(dlg->DeviceResponding());
    }

    bool Identified() {
        DeviceInfo info;
        dlg->Driver().GetDeviceInfo(info);
        InputReading second;
        dlg->Driver().GetReading(1, second);
        return dlg->Driver().IsDeviceResponding() && info.serialNumber == 4711 &&
               second.model == ModelTQ22;
    }

    // Runs the recording command with the answers queued before.
    void RunCommand() {
        QTimer::singleShot(0, ChildOf<QAction>(*dlg, "actionRecording"), &QAction::trigger);
        QTRY_COMPARE_WITH_TIMEOUT(answerer->Pending(), 0, 10000);
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    }

    QString Path(const char* name) const {
        return QString::fromStdString((folder / name).string());
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
    }

    // Both files from the command: one record each at once, the timer with the interval, the
    // header line once, and a path with Polish letters.
    void commandRecordsBothFiles() {
        StartWindow();
        const QString text = Path("pomiary-żółć.csv");
        const QString binary = Path("wykres-ąę.qdx");
        answerer->Expect(Recording({true, true, text, binary, 2}));
        RunCommand();
        QVERIFY(dlg->Recording().TextFile() != nullptr);
        QVERIFY(dlg->Recording().BinaryFile() != nullptr);
        QVERIFY(dlg->Recording().IsRecording());
        QCOMPARE(TimerOf(*dlg, "recordingTimer").interval(), 3600 * 1000);
        QCOMPARE(StatusLineOf(*dlg).text(),
                 QStringLiteral("ORVEX nr 4711. Rejestracja do pliku co 01:00:00. "));

        dlg->Recording().Tick();
        const std::vector<std::string> lines = Lines(ReadFile(fs::path(text.toStdString())));
        QCOMPARE(lines.size(), std::size_t(3));
        const std::string header = FileText(
            "Data i Godzina;TQ21 1234 Wilgotność [%];TQ21 1234 Temperatura [°C];"
            "TQ22 77 Temperatura1 [°C];TQ22 77 Temperatura2 [°C];TQ22 77 Temperatura4 [°C];"
            "TQ22 77 Temperatura6 [°C];TQ22 77 Temperatura7 [°C];TQ22 77 Temperatura8 [°C];"
            "TQ22 77 Temperatura średnia [°C];");
        QCOMPARE(lines[0], header);
        for (int row : {1, 2}) {
            QCOMPARE(lines[row].size(),
                     std::string("2024.03.07 14:05:09").size() +
                         std::string(";52.3;21.5;1.0;2.0;4.0;6.0;7.0;8.0;4.6;").size());
            QVERIFY(lines[row].ends_with(";52.3;21.5;1.0;2.0;4.0;6.0;7.0;8.0;4.6;"));
        }

        const BinaryDecodeResult decoded = DecodeBinaryRecords(ReadFile(binary.toStdString()));
        QCOMPARE(decoded.records.size(), std::size_t(2));
        QCOMPARE(decoded.wholeBytes, fs::file_size(binary.toStdString()));
        for (const std::string& record : decoded.records) {
            QCOMPARE(record.substr(14),
                     std::string("$21,1234,26,52.3,1$21,1234,25,21.5,1$22,77,25,1.0,1$"
                                 "22,77,25,2.0,1$"));
        }
        QVERIFY(answerer->FirstSeen("QMessageBox") == nullptr);
    }

    // An existing file: Yes appends after the old content; a changed separator reopens the
    // file, and No empties it.
    void yesAppendsNoTruncates() {
        StartWindow();
        const QString text = Path("old.txt");
        WriteFile(text.toStdString(), "old row\r\n");
        answerer->Expect(Recording({true, false, text, {}, 0}));
        answerer->Expect(Answer(QMessageBox::Yes));
        RunCommand();
        const ModalAnswerer::Seen* question = answerer->FirstSeen("QMessageBox");
        QVERIFY(question != nullptr);
        QCOMPARE(question->icon, int(QMessageBox::Question));
        QVERIFY(
            question->text.startsWith(QStringLiteral("Plik rejestracji pomiarów już istnieje.")));
        std::vector<std::string> lines = Lines(ReadFile(text.toStdString()));
        QCOMPARE(lines.size(), std::size_t(3));
        QCOMPARE(lines[0], std::string("old row"));
        QVERIFY(lines[1].starts_with("Data i Godzina\t"));

        answerer->Expect(Recording({{}, {}, {}, {}, 1}));
        answerer->Expect(Answer(QMessageBox::No));
        RunCommand();
        lines = Lines(ReadFile(text.toStdString()));
        QCOMPARE(lines.size(), std::size_t(2));
        QVERIFY(lines[0].starts_with("Data i Godzina,TQ21 1234 "));
        QVERIFY(lines[1].ends_with(",52.3,21.5,1.0,2.0,4.0,6.0,7.0,8.0,4.6,"));
    }

    // Appending with the comment option: an empty line, the comment, then the rows. A header
    // already written in this run is not repeated.
    void commentOnAppend() {
        StartWindow();
        const QString text = Path("comment.txt");
        answerer->Expect(Recording({true, false, text, {}, 0}));
        RunCommand();
        dlg->settings.log.writeComment = 1;
        dlg->Recording().comment = QStringLiteral("Szklarnia 2\nzmiana nocna");
        answerer->Expect(Recording({false, {}, {}, {}, {}}));
        RunCommand();
        QVERIFY(dlg->Recording().TextFile() == nullptr);
        QVERIFY(!dlg->Recording().IsRecording());
        answerer->Expect(Recording({true, {}, {}, {}, {}}));
        answerer->Expect(Answer(QMessageBox::Yes));
        RunCommand();
        const std::vector<std::string> lines = Lines(ReadFile(text.toStdString()));
        QCOMPARE(lines.size(), std::size_t(6));
        QCOMPARE(lines[2], std::string());
        QCOMPARE(lines[3], std::string("Szklarnia 2"));
        QCOMPARE(lines[4], std::string("zmiana nocna"));
        QVERIFY(lines[5].ends_with("\t52.3\t21.5\t1.0\t2.0\t4.0\t6.0\t7.0\t8.0\t4.6\t"));
    }

    // A folder that does not exist: the message, the dialog again, and Cancel there switches
    // that recording off without a timer.
    void failedOpeningThenCancel() {
        StartWindow();
        answerer->Expect(Recording({true, false, Path("missing/x.csv"), {}, 0}));
        answerer->Expect(Answer(QMessageBox::Ok));
        answerer->Expect(Recording(CancelChoice()));
        RunCommand();
        const ModalAnswerer::Seen* box = answerer->FirstSeen("QMessageBox");
        QVERIFY(box != nullptr);
        QCOMPARE(box->text, kTextUnavailable);
        QCOMPARE(box->icon, int(QMessageBox::Warning));
        QCOMPARE(answerer->CountSeen("CLogFileDlg"), 2);
        QVERIFY(!dlg->settings.log.textOn);
        QVERIFY(!dlg->Recording().IsRecording());
        QCOMPARE(QString::fromStdString(dlg->settings.log.textPath), Path("missing/x.csv"));
    }

    // Only the interval changes: no reopening (no question although the file exists now), one
    // record at once, the timer restarted with the new period.
    void onlyIntervalChangedKeepsTheFile() {
        StartWindow();
        const QString text = Path("interval.txt");
        answerer->Expect(Recording({true, false, text, {}, 0}));
        RunCommand();
        const CRecordingFile* opened = dlg->Recording().TextFile();
        dlg->settings.log.interval = 90;
        answerer->Expect(Recording({}));
        RunCommand();
        QCOMPARE(dlg->Recording().TextFile(), opened);
        QCOMPARE(answerer->CountSeen("QMessageBox"), 0);
        QCOMPARE(Lines(ReadFile(text.toStdString())).size(), std::size_t(3));
        QCOMPARE(TimerOf(*dlg, "recordingTimer").interval(), 90 * 1000);
        QVERIFY(StatusLineOf(*dlg).text().endsWith(QStringLiteral("co 00:01:30. ")));
    }

    // Only binary recording switched off: its file closes, the text file stays and gets a
    // record at once, and the timer goes on.
    void onlyBinarySwitchedOff() {
        StartWindow();
        const QString text = Path("a.txt");
        const QString binary = Path("a.qdx");
        answerer->Expect(Recording({true, true, text, binary, 0}));
        RunCommand();
        const CRecordingFile* opened = dlg->Recording().TextFile();
        answerer->Expect(Recording({{}, false, {}, {}, {}}));
        RunCommand();
        QVERIFY(dlg->Recording().BinaryFile() == nullptr);
        QCOMPARE(dlg->Recording().TextFile(), opened);
        QVERIFY(dlg->Recording().IsRecording());
        QCOMPARE(Lines(ReadFile(text.toStdString())).size(), std::size_t(3));
        QCOMPARE(DecodeBinaryRecords(ReadFile(binary.toStdString())).records.size(),
                 std::size_t(1));
        // Binary records no longer grow.
        dlg->Recording().Tick();
        QCOMPARE(DecodeBinaryRecords(ReadFile(binary.toStdString())).records.size(),
                 std::size_t(1));
    }

    // The start-up step with the text file's folder missing: the message, then the dialog;
    // after it closes the binary file is still opened and recorded.
    void startupWithMissingFolder() {
        StartWindow();
        const QString binary = Path("start.qdx");
        WriteFile(binary.toStdString(), "");
        dlg->settings.log.textOn = true;
        dlg->settings.log.textPath = Path("gone/start.csv").toStdString();
        dlg->settings.log.binaryOn = true;
        dlg->settings.log.binaryPath = binary.toStdString();
        answerer->Expect(Answer(QMessageBox::Ok));
        answerer->Expect(Recording(CancelChoice()));
        dlg->OpenRecordingFilesAtStartup();
        QCOMPARE(answerer->Pending(), 0);
        QCOMPARE(answerer->SeenWidgets().front().text, kTextUnavailable);
        QVERIFY(!dlg->settings.log.textOn);
        QVERIFY(dlg->Recording().BinaryFile() != nullptr);
        QVERIFY(dlg->Recording().IsRecording());
        QCOMPARE(DecodeBinaryRecords(ReadFile(binary.toStdString())).records.size(),
                 std::size_t(1));
        QVERIFY(!TimerOf(*dlg, "startupTimer").isActive());
    }

    // The device falls silent and comes back: a short header line, no binary records while
    // silent, then the full header again.
    void silenceAndRecovery() {
        StartWindow();
        const QString text = Path("s.txt");
        const QString binary = Path("s.qdx");
        answerer->Expect(Recording({true, true, text, binary, 0}));
        RunCommand();
        sim->Command("silence on");
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->Driver().IsDeviceResponding(), 20000);
        dlg->RefreshDisplay();
        const auto binarySize = fs::file_size(binary.toStdString());
        dlg->Recording().Tick();
        dlg->Recording().Tick();
        QCOMPARE(fs::file_size(binary.toStdString()), binarySize);
        sim->Command("silence off");
        QTRY_VERIFY_WITH_TIMEOUT(Identified(), 20000);
        dlg->RefreshDisplay();
        dlg->Recording().Tick();
        const std::vector<std::string> lines = Lines(ReadFile(text.toStdString()));
        QCOMPARE(lines.size(), std::size_t(7));
        QCOMPARE(lines[2], std::string("Data i Godzina\t"));
        QCOMPARE(lines[3].size(), std::string("2024.03.07 14:05:09\t").size());
        QCOMPARE(lines[5], lines[0]);
        QCOMPARE(DecodeBinaryRecords(ReadFile(binary.toStdString())).records.size(),
                 std::size_t(2));
    }

    // Waits for the driver without handling any event, so that nothing the window would do
    // on its own (a refresh, a queued call) can happen before the next step.
    bool DriverResponds(bool wanted) {
        for (int i = 0; i < 2000; ++i) {
            if (dlg->Driver().IsDeviceResponding() == wanted) {
                return true;
            }
            QThread::msleep(10);
        }
        return false;
    }

    // A tick records what the driver says at that moment, not what the display copied at its
    // last refresh: the first row after the device falls silent has no readings.
    void tickUsesTheDriversStateOfThatMoment() {
        StartWindow();
        const QString text = Path("tick.txt");
        const QString binary = Path("tick.qdx");
        answerer->Expect(Recording({true, true, text, binary, 0}));
        RunCommand();
        QVERIFY(dlg->DeviceResponding());
        sim->Command("silence on");
        QVERIFY(DriverResponds(false));
        const auto binarySize = fs::file_size(binary.toStdString());
        dlg->Recording().Tick();
        const std::vector<std::string> lines = Lines(ReadFile(text.toStdString()));
        QCOMPARE(lines.back().size(), std::string("2024.03.07 14:05:09\t").size());
        QCOMPARE(fs::file_size(binary.toStdString()), binarySize);
    }

    // The adapter pulled out (the simulator ends, its pty and the link go): at once a silent
    // device for the display and both files, not the last readings over and over; readings
    // return after the re-plug.
    void unpluggedAdapterRecordsNoReadings() {
        StartWindow();
        const QString text = Path("unplug.txt");
        const QString binary = Path("unplug.qdx");
        answerer->Expect(Recording({true, true, text, binary, 0}));
        RunCommand();
        sim.reset();
        QVERIFY(DriverResponds(false));
        const auto binarySize = fs::file_size(binary.toStdString());
        for (int i = 0; i < 3; ++i) {
            dlg->Recording().Tick();
        }
        std::vector<std::string> lines = Lines(ReadFile(text.toStdString()));
        QVERIFY(lines.size() >= 4);
        QCOMPARE(lines[lines.size() - 4], std::string("Data i Godzina\t"));
        for (std::size_t i = lines.size() - 3; i < lines.size(); ++i) {
            QCOMPARE(lines[i].size(), std::string("2024.03.07 14:05:09\t").size());
        }
        QCOMPARE(fs::file_size(binary.toStdString()), binarySize);
        // The display follows without waiting for its five-second refresh.
        QTRY_COMPARE_WITH_TIMEOUT(StatusLineOf(*dlg).text().left(32),
                                  QStringLiteral("Brak komunikacji z urządzeniem. "), 3000);
        QCOMPARE(dlg->valueControls[0].ValueText(), QStringLiteral("???"));
        QVERIFY(dlg->valueControls[0].IsBlinking());

        sim = std::make_unique<SimProcess>(SimOptions{kConfig, {}});
        sim->LinkAs(folder / "ports", 7);
        QTRY_VERIFY_WITH_TIMEOUT(Identified(), 20000);
        dlg->Recording().Tick();
        lines = Lines(ReadFile(text.toStdString()));
        QVERIFY(lines.back().find("\t52.3\t21.5\t") != std::string::npos);
        QVERIFY(fs::file_size(binary.toStdString()) > binarySize);
    }

    // One input that stops answering while the others answer: its columns say "???" (the row
    // keeps its column count), the binary record leaves it out, the other input is recorded.
    void failingInputIsNotRecordedAsMeasured() {
        StartWindow();
        const QString text = Path("fail.txt");
        const QString binary = Path("fail.qdx");
        answerer->Expect(Recording({true, true, text, binary, 0}));
        RunCommand();
        sim->Command("fail 142");  // the temperature of input 1
        QTRY_VERIFY_WITH_TIMEOUT(
            [this] {
                InputReading first;
                dlg->Driver().GetReading(0, first);
                return first.status != 0;
            }(),
            30000);
        dlg->Recording().Tick();
        const std::vector<std::string> lines = Lines(ReadFile(text.toStdString()));
        const std::string& row = lines.back();
        QCOMPARE(row.substr(19), std::string("\t???\t???\t1.0\t2.0\t4.0\t6.0\t7.0\t8.0\t4.6\t"));
        const std::vector<std::string> records =
            DecodeBinaryRecords(ReadFile(binary.toStdString())).records;
        QVERIFY(records.back().find("21,1234,") == std::string::npos);
        QVERIFY(records.back().find("22,77,25,1.0,1$") != std::string::npos);
        QVERIFY(records.front().find("21,1234,26,52.3,1$") != std::string::npos);
    }

    // Another program holds the file: the "not available" message, not interleaved rows.
    void fileLockedByAnotherProgram() {
        StartWindow();
        const QString text = Path("locked.csv");
        WriteFile(text.toStdString(), "");
        const int other = ::open(text.toStdString().c_str(), O_RDWR | O_CLOEXEC);
        QVERIFY(other >= 0);
        QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
        answerer->Expect(Recording({true, false, text, {}, 0}));
        answerer->Expect(Answer(QMessageBox::Ok));
        answerer->Expect(Recording(CancelChoice()));
        RunCommand();
        ::close(other);
        const ModalAnswerer::Seen* box = answerer->FirstSeen("QMessageBox");
        QVERIFY(box != nullptr);
        QCOMPARE(box->text, kTextUnavailable);
        QVERIFY(!box->informativeText.isEmpty());
        QCOMPARE(fs::file_size(text.toStdString()), std::uintmax_t(0));
    }

    // A write failure (the file may not grow): one message for the spell, the failure in the
    // status line, the rows kept and written in order once writing works again.
    void writeFailureSpell() {
        StartWindow();
        const QString text = Path("full.txt");
        answerer->Expect(Recording({true, false, text, {}, 0}));
        RunCommand();
        const auto size = fs::file_size(text.toStdString());

        {
            FileSizeLimit limit(size);
            QVERIFY(limit.Active());
            for (int i = 0; i < 3; ++i) {
                dlg->Recording().Tick();
            }
        }

        QCOMPARE(fs::file_size(text.toStdString()), size);
        QCOMPARE(dlg->findChildren<QMessageBox*>(QStringLiteral("writeFailureBox")).size(), 1);
        QVERIFY2(StatusLineOf(*dlg).text().contains(QStringLiteral("Błąd zapisu")),
                 qPrintable(StatusLineOf(*dlg).text()));
        QCOMPARE(dlg->Recording().TextFile()->QueuedRecords(), std::size_t(3));

        dlg->Recording().Tick();
        QVERIFY(!StatusLineOf(*dlg).text().contains(QStringLiteral("Błąd zapisu")));
        const std::vector<std::string> lines = Lines(ReadFile(text.toStdString()));
        QCOMPARE(lines.size(), std::size_t(6));
        for (std::size_t i = 2; i < lines.size(); ++i) {
            QVERIFY(lines[i - 1].substr(0, 19) <= lines[i].substr(0, 19));
            QVERIFY(lines[i].ends_with("\t4.6\t"));
        }
    }

    // The file removed while recording: the path is opened anew and begins with its header.
    void removedFileIsReopenedWithAHeader() {
        StartWindow();
        const QString text = Path("removed.txt");
        answerer->Expect(Recording({true, false, text, {}, 0}));
        RunCommand();
        fs::remove(text.toStdString());
        dlg->Recording().Tick();
        const std::vector<std::string> lines = Lines(ReadFile(text.toStdString()));
        QCOMPARE(lines.size(), std::size_t(2));
        QVERIFY(lines[0].starts_with("Data i Godzina\tTQ21 1234 "));
    }
};

QTEST_MAIN(MainWindowRecordingTest)
#include "MainWindowRecordingTest.moc"
