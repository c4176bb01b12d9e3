// Settings at start and exit: every key read and written, damaged values, and settings files
// that are refused, read-only, or in a folder that takes no new file.
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <filesystem>
#include <functional>
#include <limits>

#include <sys/stat.h>

#include "app/OrvexApp.h"
#include "app/Settings.h"
#include "app/WindowPlacement.h"
#include "store/IniEx.h"
#include "store/SettingsFolder.h"
#include "tests/app/AppRun.h"
#include "tests/store/WriteProtect.h"
#include "tests/support/SimProcess.h"
#include "tests/ui/ModalAnswerer.h"
#include "ui/OrvexDlg.h"

namespace fs = std::filesystem;

namespace {

fs::path Path(const QString& path) {
    return fs::path(path.toStdString());
}

// Answers the next message box with OK, if it carries objectName.
ModalAnswerer::Handler AcceptBox(const char* objectName) {
    return [objectName](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box == nullptr || box->objectName() != QLatin1String(objectName)) {
            return false;
        }
        box->button(QMessageBox::Ok)->click();
        return true;
    };
}

// Every persisted field, as the test sets them in the file and expects them in the window.
struct Input {
    Colour background, text;
    int height, weight, italic;
    QString face;
    int record;
};

Input InputValues(int n) {
    const QString face = n == 3 ? QString::fromUtf8("Łódź Sans") : "Face " + QString::number(n);
    return Input{
        0x102030u + 0x010101u * n, 0xA0B0C0u + 0x010101u * n, -(14 + n), 100 * (n + 1), 1, face, 0};
}

// The file a program writes for these values, in the order of a first write. FONT_NAME_INPUT of
// input 3 is in Windows-1250.
QByteArray EveryKeyFile(const QString& textPath, const QString& binaryPath) {
    QByteArray file;
    auto line = [&file](const QByteArray& text) { file += text + "\r\n"; };
    for (int n = 0; n < 8; ++n) {
        const Input in = InputValues(n);
        line("[INPUT" + QByteArray::number(n) + "]");
        line("BACKGROUND_INPUT=" + QByteArray::number(in.background));
        line("TEXT_INPUT=" + QByteArray::number(in.text));
        line("FONT_HEIGHT_INPUT=" + QByteArray::number(in.height));
        line("FONT_NAME_INPUT=" +
             (n == 3 ? QByteArray("\xA3\xF3\x64\x9F Sans") : in.face.toLatin1()));
        line("FONT_ITALIC_INPUT=" + QByteArray::number(in.italic));
        line("FONT_WEIGHT_INPUT=" + QByteArray::number(in.weight));
        if (n == 0) {
            line("[LOG]");
            for (int k = 0; k < 8; ++k) {
                line("FILE_INPUT" + QByteArray::number(k) + "=0");
            }
            line("FILE_NAME=" + textPath.toUtf8());
            line("FILE_NAME_BIN=" + binaryPath.toUtf8());
            for (const char* l : {"FILE_LOG=1", "FILE_LOG_BIN=1", "FILE_SEP_FORMAT=2",
                                  "FILE_INTERVAL=90", "FILE_CHECK_COMMENT=1"}) {
                line(l);
            }
        }
    }
    for (const char* l :
         {"[GENERAL]", "PORT_NR=7", "PORT_SPEED=19200", "PORT_PARITY=78", "WINDOW_TOP=80",
          "WINDOW_BOTTOM=480", "WINDOW_LEFT=120", "WINDOW_RIGHT=620", "TOPMOST=1", "SHOW_ADV=0"}) {
        line(l);
    }
    return file;
}

// The program as a separate process on folder, its standard error gathered into err.
struct Program {
    QProcess process;
    QByteArray err;

    explicit Program(const QString& folder) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("ORVEX_CONFIG_DIR", folder);
        env.insert("ORVEX_STARTUP_TIMING", "1");
        process.setProcessEnvironment(env);
        process.setChildProcessModifier([] { ::signal(SIGTERM, SIG_DFL); });
        process.start(ORVEX_BINARY, {});
    }
    bool WaitForError(const char* text) {
        QElapsedTimer clock;
        clock.start();
        while (!err.contains(text) && clock.elapsed() < 20000) {
            process.waitForReadyRead(1000);
            err += process.readAllStandardError();
        }
        return err.contains(text);
    }
    bool Terminate() {
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        const bool ended = process.waitForFinished(20000);
        err += process.readAllStandardError();
        return ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }
};

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    // Every key of the table with a value that is neither its default nor its built-in value:
    // read into the window, and written back to the same file.
    void everyKeyRoundTrips() {
        QTemporaryDir dir;
        SimProcess sim;
        sim.LinkAs(Path(dir.filePath("ports")), 7);
        const QByteArray file = EveryKeyFile(dir.filePath("zapis.csv"), dir.filePath("zapis.qdx"));
        WriteFile(dir.filePath("orvex.ini"), file);

        ModalAnswerer answerer;  // counts any dialog that should not have opened
        QString written;
        RunOnce(dir.path(), [&](COrvexDlg& w) {
            for (int n = 0; n < 8; ++n) {
                const Input in = InputValues(n);
                const CColorStatic& control = w.valueControls[n];
                const FontDescription& font = control.GetFontDescription();
                QCOMPARE(control.GetBackgroundColour(), in.background);
                QCOMPARE(control.GetTextColour(), in.text);
                QCOMPARE(font.height, in.height);
                QCOMPARE(font.FaceName(), in.face);
                QCOMPARE(int(font.italic), in.italic);
                QCOMPARE(font.weight, in.weight);
                QCOMPARE(w.settings.log.recordInput[n], in.record);
            }
            QCOMPARE(w.settings.general.portNumber, 7);
            QCOMPARE(w.settings.general.baudRate, 19200);
            QCOMPARE(w.settings.general.parity, 'N');
            QCOMPARE(w.settings.general.windowRect, (WindowRect{120, 80, 620, 480}));
            QCOMPARE(QString::fromStdString(w.settings.log.textPath), dir.filePath("zapis.csv"));
            QCOMPARE(QString::fromStdString(w.settings.log.binaryPath), dir.filePath("zapis.qdx"));
            QVERIFY(w.settings.log.textOn);
            QVERIFY(w.settings.log.binaryOn);
            QCOMPARE(w.settings.log.separatorCode, 2);
            QCOMPARE(w.settings.log.interval, 90);
            QVERIFY(w.settings.general.alwaysOnTop);
            QCOMPARE(w.settings.log.writeComment, 1);
            QVERIFY(!w.settings.general.showInfoAtStart);
            // Written into an empty store, the fields give this very file.
            CIniEx fresh(4);
            fresh.LoadText("", true);
            SaveSettings(fresh, w);
            written = QString::fromLatin1(fresh.ToText());
        });
        QCOMPARE(written, QString::fromLatin1(file));
        QCOMPARE(ReadFile(dir.filePath("orvex.ini")), file);
        QCOMPARE(answerer.SeenWidgets().size(), std::size_t{0});
    }

    void portNumberBeyondTheMapIsNoPort_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("257") << QByteArray("257");
        QTest::newRow("2147483647") << QByteArray("2147483647");
        QTest::newRow("overflowing") << QByteArray("99999999999");
        QTest::newRow("negative") << QByteArray("-3");
    }

    void portNumberBeyondTheMapIsNoPort() {
        QFETCH(QByteArray, stored);
        QTemporaryDir dir;
        WriteFile(dir.filePath("orvex.ini"), "[GENERAL]\r\nPORT_NR=" + stored + "\r\n");
        int port = -1;
        RunOnce(dir.path(), [&](COrvexDlg& w) { port = w.settings.general.portNumber; });
        QCOMPARE(port, 0);
        QVERIFY(ReadFile(dir.filePath("orvex.ini")).contains("PORT_NR=0\r\n"));
    }

    void windowPlacement() {
        using R = WindowRect;
        const R builtIn{100, 100, 700, 500};
        const std::vector<R> one{{0, 0, 1920, 1040}};
        // Usable rectangles stay, partly off screen included.
        QCOMPARE(PlaceWindowRect(R{10, 20, 810, 620}, builtIn, one), (R{10, 20, 810, 620}));
        QCOMPARE(PlaceWindowRect(R{1800, 900, 2400, 1300}, builtIn, one),
                 (R{1800, 900, 2400, 1300}));
        // Empty or inverted: the built-in rectangle.
        QCOMPARE(PlaceWindowRect(R{500, 50, 500, 550}, builtIn, one), builtIn);
        QCOMPARE(PlaceWindowRect(R{700, 50, 100, 550}, builtIn, one), builtIn);
        QCOMPARE(PlaceWindowRect(R{100, 550, 700, 50}, builtIn, one), builtIn);
        // Too small: the minimum size, where it was.
        QCOMPARE(PlaceWindowRect(R{300, 200, 301, 201}, builtIn, one),
                 (R{300, 200, 300 + kMinWindowWidth, 200 + kMinWindowHeight}));
        // Off every screen: moved onto the nearest, with its size.
        QCOMPARE(PlaceWindowRect(R{5000, 300, 5600, 700}, builtIn, one), (R{1320, 300, 1920, 700}));
        QCOMPARE(PlaceWindowRect(R{-900, -2000, -300, -1600}, builtIn, one), (R{0, 0, 600, 400}));
        // Showing less than a grip's worth: as good as off screen.
        QCOMPARE(PlaceWindowRect(R{1910, 100, 2510, 500}, builtIn, one), (R{1320, 100, 1920, 500}));
        // Edges near the 32-bit limits: width and height do not overflow.
        const int big = std::numeric_limits<int>::max();
        const int small = std::numeric_limits<int>::min();
        QCOMPARE(PlaceWindowRect(R{small, small, big, big}, builtIn, one), (R{0, 0, 1920, 1040}));
        QCOMPARE(PlaceWindowRect(R{big - 5, 10, big, 400}, builtIn, one),
                 (R{1920 - kMinWindowWidth, 10, 1920, 400}));
        QCOMPARE(PlaceWindowRect(R{small, 100, small + 600, 500}, builtIn, one),
                 (R{0, 100, 600, 500}));

        // Two screens side by side: larger than one is fine, larger than both is not; a window
        // beyond the second goes onto the second.
        const std::vector<R> two{{0, 0, 1920, 1040}, {1920, 0, 3200, 1024}};
        QCOMPARE(PlaceWindowRect(R{100, 100, 2900, 900}, builtIn, two), (R{100, 100, 2900, 900}));
        QCOMPARE(PlaceWindowRect(R{0, 0, 5000, 3000}, builtIn, two), (R{0, 0, 3200, 1040}));
        QCOMPARE(PlaceWindowRect(R{4000, 200, 4600, 600}, builtIn, two), (R{2600, 200, 3200, 600}));
        // A window taller than the screen it lands on is cut to it.
        QCOMPARE(PlaceWindowRect(R{4000, 0, 4600, 1040}, builtIn, two), (R{2600, 0, 3200, 1024}));

        // No screen to go by: the rectangle is only made valid.
        QCOMPARE(PlaceWindowRect(R{big - 5, 0, big, 1}, builtIn, {}),
                 (R{big - kMinWindowWidth, 0, big, kMinWindowHeight}));
    }

    void unusableWindowRectangleStartsVisible_data() {
        QTest::addColumn<QByteArray>("rect");  // left, top, right, bottom
        QTest::newRow("inverted") << QByteArray("500 50 100 550");
        QTest::newRow("one pixel") << QByteArray("200 200 201 201");
        QTest::newRow("32-bit limits") << QByteArray(
            "-2147483648 -2147483648 2147483647 "
            "2147483647");
        QTest::newRow("off every screen") << QByteArray("100000 100000 100600 100400");
    }

    void unusableWindowRectangleStartsVisible() {
        QFETCH(QByteArray, rect);
        const QList<QByteArray> edges = rect.split(' ');
        QTemporaryDir dir;
        WriteFile(dir.filePath("orvex.ini"),
                  "[GENERAL]\r\nWINDOW_LEFT=" + edges[0] + "\r\nWINDOW_TOP=" + edges[1] +
                      "\r\nWINDOW_RIGHT=" + edges[2] + "\r\nWINDOW_BOTTOM=" + edges[3] + "\r\n");
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QRect shown;
        {
            COrvexApp app(Path(dir.path()));
            app.onWindowReady = [&](COrvexDlg& window) {
                QTimer::singleShot(0, &app, [&] {
                    if (QTest::qWaitForWindowExposed(&window)) {
                        shown = window.frameGeometry();
                    }
                    app.CloseMainWindow();
                });
            };
            app.InitInstance();
        }
        QVERIFY(shown.width() >= kMinWindowWidth && shown.height() >= kMinWindowHeight);
        QVERIFY(screen.contains(shown));
        CIniEx ini(4);
        QVERIFY(ini.Open(Path(dir.filePath("orvex.ini")), false, false, true));
        QCOMPARE(ini.GetInt("GENERAL", "WINDOW_LEFT", 0), shown.left());
        QCOMPARE(ini.GetInt("GENERAL", "WINDOW_RIGHT", 0), shown.left() + shown.width());
        QCOMPARE(ini.GetInt("GENERAL", "WINDOW_TOP", 0), shown.top());
        QCOMPARE(ini.GetInt("GENERAL", "WINDOW_BOTTOM", 0), shown.top() + shown.height());
    }

    // A settings file that is not a regular file, or too large: the user is told, the program
    // runs on its built-in values, and the file is left as it was.
    void refusedFileIsReportedAndLeftAlone_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("named pipe") << 0;
        QTest::newRow("link to /dev/zero") << 1;
        QTest::newRow("above 16 MB") << 2;
    }

    void refusedFileIsReportedAndLeftAlone() {
        QFETCH(int, kind);
        QTemporaryDir dir;
        const fs::path file = Path(dir.filePath("orvex.ini"));
        if (kind == 0) {
            QCOMPARE(::mkfifo(file.c_str(), 0644), 0);
        } else if (kind == 1) {
            fs::create_symlink("/dev/zero", file);
        } else {
            WriteFile(dir.filePath("orvex.ini"), "[LOG]\r\nFILE_INTERVAL=33\r\n");
            fs::resize_file(file, CIniEx::kMaxFileSize + 1);
        }
        const auto before = fs::symlink_status(file).type();

        ModalAnswerer answerer;
        answerer.Expect(AcceptBox("settingsRefusedBox"));
        int speed = 0, interval = 0;
        RunOnce(dir.path(), [&](COrvexDlg& w) {
            speed = w.settings.general.baudRate;
            interval = w.settings.log.interval;
        });
        QCOMPARE(answerer.Pending(), 0);
        QCOMPARE(answerer.CountSeen("QMessageBox"), 1);
        const ModalAnswerer::Seen* box = answerer.FirstSeen("QMessageBox");
        QCOMPARE(box->title, QStringLiteral("orvex"));
        QVERIFY(box->text.contains(QString::fromStdString(file.string())));
        QVERIFY(box->text.contains(kind == 2 ? QStringLiteral("większy niż 16 MB")
                                             : QStringLiteral("nie jest zwykłym plikiem")));
        QCOMPARE(speed, 9600);  // built-in values
        QCOMPARE(interval, 1);
        QCOMPARE(fs::symlink_status(file).type(), before);
        if (kind == 2) {
            QCOMPARE(fs::file_size(file), CIniEx::kMaxFileSize + 1);
            QVERIFY(
                ReadFile(dir.filePath("orvex.ini")).startsWith("[LOG]\r\nFILE_INTERVAL=33\r\n"));
        }
    }

    // A named pipe as the settings file once kept the program from ever showing its window and
    // from heeding SIGTERM.
    void namedPipeAsSettingsFileLetsTheProgramEnd() {
        QTemporaryDir dir;
        const fs::path file = Path(dir.filePath("orvex.ini"));
        QCOMPARE(::mkfifo(file.c_str(), 0644), 0);
        Program program(dir.path());
        QVERIFY(program.process.waitForStarted(10000));
        QVERIFY2(program.WaitForError("nie jest zwyk"), program.err.constData());
        QVERIFY(program.Terminate());
        QVERIFY(fs::is_fifo(file));
    }

    // A read-only file is read; as the changes of the run cannot be saved, the user is told.
    void readOnlyFileIsReadAndTheUserToldAtExit() {
        QTemporaryDir dir;
        const QByteArray old = "[LOG]\r\nFILE_INTERVAL=33\r\n";
        WriteFile(dir.filePath("orvex.ini"), old);
        WriteProtect protect(Path(dir.filePath("orvex.ini")));
        if (!protect.Active()) {
            QSKIP("cannot write-protect a file here");
        }
        ModalAnswerer answerer;
        answerer.Expect(AcceptBox("settingsUnsavedBox"));
        int interval = 0;
        RunOnce(dir.path(), [&](COrvexDlg& w) { interval = w.settings.log.interval; });
        QCOMPARE(interval, 33);
        QCOMPARE(answerer.Pending(), 0);
        const ModalAnswerer::Seen* box = answerer.FirstSeen("QMessageBox");
        QVERIFY(box != nullptr);
        QCOMPARE(box->title, QStringLiteral("orvex"));
        QCOMPARE(box->text, QStringLiteral("Nie zapisano ustawień: plik %1 jest tylko do odczytu.")
                                .arg(dir.filePath("orvex.ini")));
        QCOMPARE(ReadFile(dir.filePath("orvex.ini")), old);
    }

    // Closed by a signal, nobody may be at the screen: standard error says it instead.
    void readOnlyFileAtACloseBySignal() {
        QTemporaryDir dir;
        const QByteArray old = "[LOG]\r\nFILE_INTERVAL=33\r\n";
        WriteFile(dir.filePath("orvex.ini"), old);
        WriteProtect protect(Path(dir.filePath("orvex.ini")));
        if (!protect.Active()) {
            QSKIP("cannot write-protect a file here");
        }
        Program program(dir.path());
        QVERIFY(program.process.waitForStarted(10000));
        QVERIFY2(program.WaitForError("first paint of the main window"), program.err.constData());
        QVERIFY2(program.Terminate(), program.err.constData());
        QVERIFY2(program.err.contains(
                     QStringLiteral("orvex: Nie zapisano ustawień: plik %1 jest tylko do odczytu.")
                         .arg(dir.filePath("orvex.ini"))
                         .toUtf8()),
                 program.err.constData());
        QCOMPARE(ReadFile(dir.filePath("orvex.ini")), old);
    }

    // A read-only settings file in the program's folder is the one used, not passed over for
    // the user's configuration folder; a read-only folder without one is.
    void readOnlyFileKeepsItsFolder() {
        QTemporaryDir dir;
        const fs::path folder = Path(dir.path());
        WriteFile(dir.filePath("orvex.ini"), "[LOG]\r\nFILE_INTERVAL=33\r\n");
        {
            WriteProtect protect(folder / "orvex.ini");
            if (!protect.Active()) {
                QSKIP("cannot write-protect a file here");
            }
            QVERIFY(CanKeepSettingsIn(folder));
        }
        fs::remove(folder / "orvex.ini");
        WriteProtect protect(folder);
        if (!protect.Active()) {
            QSKIP("cannot write-protect a folder here");
        }
        QVERIFY(!CanKeepSettingsIn(folder));
    }

    // The folder takes no new file but the file itself is writable: saved in place, silently.
    void unwritableFolderSavesInPlace() {
        QTemporaryDir dir;
        WriteFile(dir.filePath("orvex.ini"), "[LOG]\r\nFILE_INTERVAL=33\r\n");
        WriteProtect protect(Path(dir.path()));
        if (!protect.Active()) {
            QSKIP("cannot write-protect a folder here");
        }
        ModalAnswerer answerer;
        RunOnce(dir.path(), [&](COrvexDlg& w) { w.settings.log.interval = 123; });
        QCOMPARE(answerer.CountSeen("QMessageBox"), 0);
        const QByteArray written = ReadFile(dir.filePath("orvex.ini"));
        QVERIFY(written.startsWith("[LOG]\r\nFILE_INTERVAL=123\r\nFILE_INPUT0=1\r\n"));
        QVERIFY(written.contains("[GENERAL]\r\nPORT_NR=0\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"orvex.ini"});
    }
};

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
