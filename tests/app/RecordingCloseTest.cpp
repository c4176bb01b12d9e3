// The program's close while recording: records the files could not take are rescued beside the
// settings and the user is told where; a program refused by another one's lock writes nothing,
// however it is closed.
#include <fcntl.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>

#include "app/OrvexApp.h"
#include "recording/format/BinaryRecordDecoder.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/SimProcess.h"
#include "tests/ui/ModalAnswerer.h"
#include "text/Cp1250.h"
#include "ui/OrvexDlg.h"

namespace fs = std::filesystem;

namespace {

void WriteSettings(const fs::path& config, const fs::path& text, const fs::path& binary,
                   int interval) {
    fs::create_directories(config);
    std::ofstream(config / "orvex.ini", std::ios::binary)
        << "[GENERAL]\r\nPORT_NR=7\r\nPORT_SPEED=9600\r\nSHOW_ADV=0\r\n[LOG]\r\nFILE_LOG=1\r\n"
           "FILE_NAME="
        << *cp1250::FromUtf8(text.string())
        << "\r\nFILE_LOG_BIN=1\r\nFILE_NAME_BIN=" << *cp1250::FromUtf8(binary.string())
        << "\r\nFILE_INTERVAL=" << interval << "\r\n";
}

// Standard error into a file while it lives.
class StderrCapture {
public:
    explicit StderrCapture(const fs::path& file) : path(file) {
        std::fflush(stderr);
        saved = ::dup(STDERR_FILENO);
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~StderrCapture() { Stop(); }
    std::string Stop() {
        if (saved >= 0) {
            std::fflush(stderr);
            ::dup2(saved, STDERR_FILENO);
            ::close(saved);
            saved = -1;
        }
        return ReadFile(path);
    }

private:
    fs::path path;
    int saved = -1;
};

}  // namespace

class RecordingCloseTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir tmp;
    fs::path root;
    fs::path config;
    fs::path textPath;
    fs::path binaryPath;
    std::optional<FileSizeLimit> limit;

    // Records into files that already hold 8 KiB, then lets no file grow past the smaller of
    // them: three ticks are held. The rescue files and orvex.ini stay well below that.
    void RecordUntilHeld(COrvexDlg& window) {
        QVERIFY(QTest::qWaitFor([&] { return window.Driver().IsDeviceResponding(); }, 20000));
        window.RefreshDisplay();
        window.OpenRecordingFilesAtStartup();
        QVERIFY(window.Recording().TextFile() != nullptr &&
                window.Recording().BinaryFile() != nullptr);
        limit.emplace(std::min(fs::file_size(textPath), fs::file_size(binaryPath)));
        QVERIFY(limit->Active());
        for (int i = 0; i < 3; ++i) {
            window.Recording().Tick();
        }
        QCOMPARE(window.Recording().TextFile()->QueuedRecords(), std::size_t(3));
        QCOMPARE(window.Recording().BinaryFile()->QueuedRecords(), std::size_t(3));
    }

    // One run of the program on config that records until three ticks are held, then closes
    // with close().
    void RunHeld(const std::function<void(COrvexApp&)>& close) {
        SimProcess sim({{}, {"--demo"}});
        sim.LinkAs(config / "ports", 7);
        COrvexApp app(config);
        app.onWindowReady = [&](COrvexDlg& window) {
            QTimer::singleShot(0, &window, [&] {
                RecordUntilHeld(window);
                close(app);
            });
        };
        app.InitInstance();
        limit.reset();
    }

    void Prepare(const char* name) {
        config = root / name / "config";
        const fs::path data = root / name / "dane";
        fs::create_directories(data);
        textPath = data / "wyniki-ąę.txt";
        binaryPath = data / "wykres-ąę.qdx";
        std::string old;
        while (old.size() < 8192) {
            old += "stary wiersz\r\n";
        }
        WriteFile(textPath, old);
        WriteFile(binaryPath, std::string(8192, 'x'));
        WriteSettings(config, textPath, binaryPath, 3600);
    }

    std::vector<fs::path> RescueFiles() const {
        std::vector<fs::path> files;
        if (fs::is_directory(config / "niezapisane")) {
            for (const auto& entry : fs::directory_iterator(config / "niezapisane")) {
                files.push_back(entry.path());
            }
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    void CheckRescued() {
        const std::vector<fs::path> files = RescueFiles();
        QCOMPARE(files.size(), std::size_t(2));
        // "wykres-ąę <date> <time>.qdx" sorts before "wyniki-ąę <date> <time>.txt".
        QCOMPARE(files[0].extension().string(), std::string(".qdx"));
        QVERIFY(files[0].filename().string().starts_with("wykres-ąę 20"));
        const BinaryDecodeResult decoded = DecodeBinaryRecords(ReadFile(files[0]));
        QCOMPARE(decoded.records.size(), std::size_t(3));
        const std::string text = ReadFile(files[1]);
        QVERIFY2(text.starts_with("Data i Godzina\t"), text.c_str());
        QCOMPARE(CountRows(text), std::size_t(4));
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        root = fs::path(tmp.path().toStdString());
    }

    void cleanup() { limit.reset(); }

    // A normal close: the held records go to niezapisane/ and a message says where.
    void closeRescuesHeldRecords() {
        Prepare("zwykle");
        ModalAnswerer answerer;
        QStringList told;
        for (int i = 0; i < 2; ++i) {
            answerer.Expect([&told](QWidget* widget) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (box == nullptr || box->objectName() != QLatin1String("recordingRescueBox")) {
                    return false;
                }
                told << box->text();
                box->accept();
                return true;
            });
        }
        RunHeld([](COrvexApp& app) { app.CloseMainWindow(); });
        CheckRescued();
        QCOMPARE(told.size(), 2);
        const std::vector<fs::path> files = RescueFiles();
        QVERIFY2(told.join('\n').contains(QString::fromStdString(files[1].string())),
                 qPrintable(told.join('\n')));
        QVERIFY(told.join('\n').contains(QStringLiteral("(3)")));
    }

    // A close by signal: no message box, a line on standard error.
    void signalCloseTellsOnStandardError() {
        Prepare("sygnal");
        ModalAnswerer answerer;
        StderrCapture capture(root / "sygnal" / "stderr.txt");
        RunHeld([](COrvexApp&) { std::raise(SIGTERM); });
        const std::string err = capture.Stop();
        CheckRescued();
        QCOMPARE(answerer.CountSeen("QMessageBox"), 0);
        QVERIFY2(
            err.find("orvex: Pomiary, których nie udało się zapisać do pliku") != std::string::npos,
            err.c_str());
        QVERIFY(err.find(RescueFiles()[0].string()) != std::string::npos);
    }

    // No rescue possible either (niezapisane is a file): the message counts the lost records.
    void lostRecordsAreCounted() {
        Prepare("utracone");
        WriteFile(config / "niezapisane", "");
        ModalAnswerer answerer;
        QStringList told;
        for (int i = 0; i < 2; ++i) {
            answerer.Expect([&told](QWidget* widget) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (box == nullptr) {
                    return false;
                }
                told << box->text();
                box->accept();
                return true;
            });
        }
        RunHeld([](COrvexApp& app) { app.CloseMainWindow(); });
        QCOMPARE(told.size(), 2);
        for (const QString& text : told) {
            QVERIFY2(text.endsWith(QStringLiteral("Utracone pomiary: 3.")), qPrintable(text));
        }
    }

    // Two programs on one pair of files: the second is refused; the first ends while the
    // second's message is open; the second, closed then, must not open the files now free.
    void refusedProgramNeverWrites() {
        const fs::path data = root / "dwa" / "dane";
        fs::create_directories(data);
        textPath = data / "wspolny.txt";
        binaryPath = data / "wspolny.qdx";
        const fs::path configA = root / "dwa" / "a";
        config = root / "dwa" / "b";
        WriteSettings(configA, textPath, binaryPath, 1);
        WriteSettings(config, textPath, binaryPath, 1);

        SimProcess simA({{}, {"--demo"}});
        simA.LinkAs(configA / "ports", 7);
        QProcess first;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("ORVEX_CONFIG_DIR"), QString::fromStdString(configA.string()));
        first.setProcessEnvironment(env);
        first.setProcessChannelMode(QProcess::ForwardedChannels);
        first.start(QStringLiteral(ORVEX_BINARY), {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(DecodeBinaryRecords(ReadFile(binaryPath)).records.size() >= 2,
                                 40000);

        SimProcess simB({{}, {"--demo"}});
        simB.LinkAs(config / "ports", 7);
        COrvexApp second(config);
        ModalAnswerer answerer;
        std::size_t rows = 0;
        std::size_t records = 0;
        answerer.Expect([&](QWidget* widget) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box == nullptr) {
                return false;
            }
            first.terminate();
            first.waitForFinished(5000);
            rows = CountRows(ReadFile(textPath));
            records = DecodeBinaryRecords(ReadFile(binaryPath)).records.size();
            second.CloseMainWindow();
            return true;
        });
        second.onWindowReady = [&](COrvexDlg& window) {
            QTimer::singleShot(0, &window, [&] {
                QVERIFY(
                    QTest::qWaitFor([&] { return window.Driver().IsDeviceResponding(); }, 20000));
                window.RefreshDisplay();
                window.OpenRecordingFilesAtStartup();
            });
        };
        second.InitInstance();
        QCOMPARE(first.state(), QProcess::NotRunning);
        const ModalAnswerer::Seen* refused = answerer.FirstSeen("QMessageBox");
        QVERIFY(refused != nullptr);
        QCOMPARE(refused->informativeText, QStringLiteral("plik jest używany przez inny program"));
        QVERIFY(rows > 0 && records > 0);
        QCOMPARE(CountRows(ReadFile(textPath)), rows);
        QCOMPARE(DecodeBinaryRecords(ReadFile(binaryPath)).records.size(), records);
    }
};

QTEST_MAIN(RecordingCloseTest)
#include "RecordingCloseTest.moc"
