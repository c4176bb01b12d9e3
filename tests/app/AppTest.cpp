#include <QAction>
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <filesystem>
#include <functional>

#include "app/OrvexApp.h"
#include "app/Settings.h"
#include "app/SignalBridge.h"
#include "link/ComPortMap.h"
#include "settings/IniText.h"
#include "settings/WindowRect.h"
#include "store/IniEx.h"
#include "store/SettingsFolder.h"
#include "tests/app/AppRun.h"
#include "ui/OrvexDlg.h"

namespace fs = std::filesystem;

namespace {

// The file a first run writes when nothing changes, in the order the keys are first written.
QByteArray FirstRunFile() {
    QByteArray text;
    auto line = [&text](const QByteArray& l) { text += l + "\r\n"; };
    for (int n = 0; n < 8; ++n) {
        QByteArray input = "[INPUT" + QByteArray::number(n) + "]\r\n";
        const quint32 background = (202 + 5 * n) | (228 + 2 * n) << 8 | 255 << 16;
        const quint32 textColour = (10 + 7 * n) | (5 * n) << 8 | (30 + 8 * n) << 16;
        input += "BACKGROUND_INPUT=" + QByteArray::number(background) + "\r\n";
        input += "TEXT_INPUT=" + QByteArray::number(textColour) + "\r\n";
        input +=
            "FONT_HEIGHT_INPUT=25\r\nFONT_NAME_INPUT=Arial\r\nFONT_ITALIC_INPUT=0\r\n"
            "FONT_WEIGHT_INPUT=0\r\n";
        text += input;
        if (n == 0) {
            text += "[LOG]\r\n";
            for (int k = 0; k < 8; ++k) {
                line("FILE_INPUT" + QByteArray::number(k) + "=1");
            }
            for (const char* l :
                 {"FILE_NAME=", "FILE_NAME_BIN=", "FILE_LOG=0", "FILE_LOG_BIN=0",
                  "FILE_SEP_FORMAT=0", "FILE_INTERVAL=60", "FILE_CHECK_COMMENT=0"}) {
                line(l);
            }
        }
    }
    for (const char* l :
         {"[GENERAL]", "PORT_NR=0", "PORT_SPEED=0", "PORT_PARITY=69", "WINDOW_TOP=50",
          "WINDOW_BOTTOM=550", "WINDOW_LEFT=100", "WINDOW_RIGHT=700", "TOPMOST=0", "SHOW_ADV=1"}) {
        line(l);
    }
    return text;
}

}  // namespace

class AppTest : public QObject {
    Q_OBJECT
private slots:
    void firstRunWritesEveryKeyInLayout() {
        QTemporaryDir dir;
        int port = -1, speed = -1, interval = -1;
        bool info = false;
        RunOnce(dir.path(), [&](COrvexDlg& window) {
            port = window.settings.general.portNumber;
            speed = window.settings.general.baudRate;
            interval = window.settings.log.interval;
            info = window.settings.general.showInfoAtStart;
        });
        // The file opened (created empty), so every key took its default, not the built-in.
        QCOMPARE(port, 0);
        QCOMPARE(speed, 0);
        QCOMPARE(interval, 60);
        QVERIFY(info);
        const QByteArray written = ReadFile(dir.filePath("orvex.ini"));
        QVERIFY(
            written.startsWith("[INPUT0]\r\nBACKGROUND_INPUT=16770250\r\nTEXT_INPUT=1966090\r\n"));
        QCOMPARE(written, FirstRunFile());
        QCOMPARE(comport::PortsFolder(), fs::path(dir.path().toStdString()) / "ports");
    }

    void unchangedFileIsReadBackAsWritten() {
        QTemporaryDir dir;
        RunOnce(dir.path());
        const QByteArray first = ReadFile(dir.filePath("orvex.ini"));
        RunOnce(dir.path());
        QCOMPARE(ReadFile(dir.filePath("orvex.ini")), first);
    }

    void lowerCaseFileKeepsItsCaseAndParityN() {
        QTemporaryDir dir;
        WriteFile(dir.filePath("orvex.ini"),
                  "; hand-edited\r\n"
                  "[general]\r\n"
                  "port_speed=19200\r\n"
                  "Port_Parity=78\r\n"
                  "topmost=0\r\n"
                  "\r\n"
                  "[input3]\r\n"
                  "background_input=255\r\n"
                  "font_name_input=Courier New\r\n"
                  "font_weight_input=700\r\n"
                  "font_italic_input=257\r\n"
                  "[log]\r\n"
                  "file_interval=90\r\n");
        char parity = 0;
        int speed = 0, interval = 0, weight = 0, italic = -1;
        Colour background = 0;
        QString face;
        RunOnce(dir.path(), [&](COrvexDlg& window) {
            parity = window.settings.general.parity;
            speed = window.settings.general.baudRate;
            interval = window.settings.log.interval;
            background = window.valueControls[3].GetBackgroundColour();
            face = window.valueControls[3].GetFontDescription().FaceName();
            weight = window.valueControls[3].GetFontDescription().weight;
            italic = window.valueControls[3].GetFontDescription().italic;
        });
        QCOMPARE(parity, 'N');
        QCOMPARE(speed, 19200);
        QCOMPARE(interval, 90);
        QCOMPARE(background, Colour{255});
        QCOMPARE(face, QString("Courier New"));
        QCOMPARE(weight, 700);
        QCOMPARE(italic, 1);  // low 8 bits

        const QByteArray written = ReadFile(dir.filePath("orvex.ini"));
        QVERIFY(
            written.startsWith("; hand-edited=\r\n[general]\r\nport_speed=19200\r\n"
                               "Port_Parity=78\r\ntopmost=0\r\n\r\n"));
        QVERIFY(
            written.contains("[input3]\r\nbackground_input=255\r\n"
                             "font_name_input=Courier New\r\nfont_weight_input=700\r\n"
                             "font_italic_input=1\r\n"));
        QVERIFY(written.contains("[log]\r\nfile_interval=90\r\n"));
        for (const char* absent : {"[GENERAL]", "[INPUT3]", "[LOG]", "PORT_PARITY"}) {
            QVERIFY2(!written.contains(absent), absent);
        }
        // Missing keys went to the end of their own section.
        QVERIFY(written.indexOf("PORT_NR=0") < written.indexOf("[input3]"));
    }

    void everyWayOfClosingSaves_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("menu Zamknij") << 0;
        QTest::newRow("close box") << 1;
    }

    void everyWayOfClosingSaves() {
        QFETCH(int, way);
        QTemporaryDir dir;
        bool fallbackUsed = false;
        {
            COrvexApp app(fs::path(dir.path().toStdString()));
            app.onWindowReady = [&](COrvexDlg& window) {
                window.settings.log.interval = 123;
                QTimer::singleShot(0, &window, [&window, way] {
                    if (way == 0) {
                        auto* close = window.findChild<QAction*>("actionClose");
                        QVERIFY(close != nullptr);
                        close->trigger();
                    } else {
                        window.close();
                    }
                });
                // Should the way under test fail, end the run all the same.
                QTimer::singleShot(10000, &app, [&] {
                    fallbackUsed = true;
                    app.CloseMainWindow();
                });
            };
            app.InitInstance();
        }
        QVERIFY(!fallbackUsed);
        QVERIFY(ReadFile(dir.filePath("orvex.ini")).contains("FILE_INTERVAL=123\r\n"));
    }

    void textValuesRoundTrip() {
        QTemporaryDir dir;
        const QString withSemicolon = "/data/pomiary;stare/zapis.csv";
        const QString polish = QString::fromUtf8("/dane/łódź/żółw.qdx");
        const QString foreign = QString::fromUtf8("/данные/日本.csv");
        const QString longFace = QString(40, QChar('F'));
        RunOnce(dir.path(), [&](COrvexDlg& window) {
            window.settings.log.textPath = withSemicolon.toStdString();
            window.settings.log.binaryPath = polish.toStdString();
            FontDescription font = window.valueControls[1].GetFontDescription();
            font.SetFaceName(QString::fromUtf8("Zażółć;Sans"));
            window.valueControls[1].SetFontDescription(font);
            font.SetFaceName(foreign);
            window.valueControls[2].SetFontDescription(font);
        });
        const QByteArray written = ReadFile(dir.filePath("orvex.ini"));
        // Windows-1250 bytes where the code page holds the text.
        QVERIFY(written.contains("FILE_NAME_BIN=/dane/\xB3\xF3\x64\x9F/\xBF\xF3\xB3w.qdx\r\n"));
        QVERIFY(written.contains("FONT_NAME_INPUT=Za\xBF\xF3\xB3\xE6;Sans;\r\n"));

        QString text, binary, face1, face2;
        RunOnce(dir.path(), [&](COrvexDlg& window) {
            text = QString::fromStdString(window.settings.log.textPath);
            binary = QString::fromStdString(window.settings.log.binaryPath);
            face1 = window.valueControls[1].GetFontDescription().FaceName();
            face2 = window.valueControls[2].GetFontDescription().FaceName();
            window.settings.log.textPath = foreign.toStdString();
        });
        QCOMPARE(text, withSemicolon);
        QCOMPARE(binary, polish);
        QCOMPARE(face1, QString::fromUtf8("Zażółć;Sans"));
        QCOMPARE(face2, foreign);
        RunOnce(dir.path(), [&](COrvexDlg& window) {
            text = QString::fromStdString(window.settings.log.textPath);
        });
        QCOMPARE(text, foreign);

        // A face name longer than the field is cut to 31 characters.
        CIniEx ini(4);
        QVERIFY(ini.Open(dir.filePath("orvex.ini").toStdString(), true, false, true));
        ini.SetText("INPUT5", "FONT_NAME_INPUT", longFace.toStdString());
        ini.Save();
        ini.Clear();
        RunOnce(dir.path(), [&](COrvexDlg& window) {
            face1 = window.valueControls[5].GetFontDescription().FaceName();
        });
        QCOMPARE(face1, longFace.left(31));
        QVERIFY(ReadFile(dir.filePath("orvex.ini"))
                    .contains("FONT_NAME_INPUT=" + QByteArray(31, 'F') + "\r\n"));
    }

    void textEncoding() {
        QCOMPARE(EncodeIniText("Łódź"), std::string("\xA3\xF3\x64\x9F"));
        QCOMPARE(DecodeIniText("\xA3\xF3\x64\x9F"), std::string("Łódź"));
        const std::string foreign = "日本";
        QCOMPARE(DecodeIniText(EncodeIniText(foreign)), foreign);
        // A Windows-1250 text that happens to begin like the marker still reads back.
        const std::string lookalike = "ď»żx";
        QCOMPARE(DecodeIniText(EncodeIniText(lookalike)), lookalike);
        // A marker followed by bytes that are not UTF-8 is plain Windows-1250.
        QCOMPARE(DecodeIniText("\xEF\xBB\xBF\xFE"), std::string("ď»żţ"));
    }

    void windowClamping() {
        using R = WindowRect;
        QCOMPARE(ClampWindowRect(R{100, 50, 700, 550}, 1024, 768), (R{100, 50, 700, 550}));
        QCOMPARE(ClampWindowRect(R{500, 50, 1034, 778}, 1024, 768), (R{500, 50, 1034, 778}));
        QCOMPARE(ClampWindowRect(R{500, 100, 1100, 500}, 1024, 768), (R{424, 100, 1024, 500}));
        QCOMPARE(ClampWindowRect(R{100, 400, 700, 800}, 1024, 768), (R{100, 368, 700, 768}));
        QCOMPARE(ClampWindowRect(R{-10, -10, 500, 400}, 1024, 768), (R{-10, -10, 500, 400}));
        QCOMPARE(ClampWindowRect(R{-11, -30, 500, 400}, 1024, 768), (R{0, 0, 500, 400}));
        // Wider than the screen and beyond its right edge: moved, then the left edge is 0.
        QCOMPARE(ClampWindowRect(R{0, 0, 2000, 400}, 1024, 768), (R{0, 0, 1024, 400}));
        // Edges from a damaged file do not overflow.
        const int big = std::numeric_limits<int>::max();
        const int small = std::numeric_limits<int>::min();
        QCOMPARE(ClampWindowRect(R{small, small, big, big}, 1024, 768), (R{0, 0, 1024, 768}));
    }

    void windowBeyondTheScreenIsStoredInside() {
        QTemporaryDir dir;
        const QSize screen = QGuiApplication::primaryScreen()->size();
        {
            COrvexApp app(fs::path(dir.path().toStdString()));
            app.onWindowReady = [&](COrvexDlg& window) {
                QTimer::singleShot(0, &app, [&] {
                    QVERIFY(QTest::qWaitForWindowExposed(&window));
                    QCoreApplication::processEvents();
                    // Where the window was last restored or resized: partly off screen.
                    window.settings.general.windowRect =
                        WindowRect{screen.width(), -200, screen.width() + 400, 200};
                    app.CloseMainWindow();
                });
            };
            app.InitInstance();
        }
        CIniEx ini(4);
        QVERIFY(ini.Open(dir.filePath("orvex.ini").toStdString(), false, false, true));
        QCOMPARE(ini.GetInt("GENERAL", "WINDOW_RIGHT", 0), screen.width());
        QCOMPARE(ini.GetInt("GENERAL", "WINDOW_LEFT", 0), screen.width() - 400);
        QCOMPARE(ini.GetInt("GENERAL", "WINDOW_TOP", -1), 0);
        QCOMPARE(ini.GetInt("GENERAL", "WINDOW_BOTTOM", 0), 200);
    }

    void unopenableFileGivesBuiltInValues() {
        QTemporaryDir dir;
        const QString notAFolder = dir.filePath("file");
        WriteFile(notAFolder, "x");
        int speed = 0, interval = 0;
        Colour text = 0;
        RunOnce(notAFolder, [&](COrvexDlg& window) {
            speed = window.settings.general.baudRate;
            interval = window.settings.log.interval;
            text = window.valueControls[2].GetTextColour();
        });
        QCOMPARE(speed, 9600);
        QCOMPARE(interval, 1);
        QCOMPARE(text, Rgb(10, 74, 128));
        QCOMPARE(ReadFile(notAFolder), QByteArray("x"));
    }

    void settingsFolderChoice() {
        QCOMPARE(UserConfigFolder("/x/conf", "/home/u"), fs::path("/x/conf/orvex"));
        QCOMPARE(UserConfigFolder("relative", "/home/u"), fs::path("/home/u/.config/orvex"));
        QCOMPARE(UserConfigFolder(nullptr, "/home/u"), fs::path("/home/u/.config/orvex"));
        QTemporaryDir dir;
        const fs::path folder = dir.path().toStdString();
        QVERIFY(CanKeepSettingsIn(folder));
        QVERIFY(!CanKeepSettingsIn(folder / "missing"));
        qputenv("ORVEX_CONFIG_DIR", (dir.path() + "/a/b").toUtf8());
        QCOMPARE(ResolveSettingsFolder(), folder / "a" / "b");
        QVERIFY(fs::is_directory(folder / "a" / "b"));
        qunsetenv("ORVEX_CONFIG_DIR");
        if (::geteuid() != 0) {  // root may write anywhere
            fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
            QVERIFY(!CanKeepSettingsIn(folder));
            fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
        }
    }

    // A signal while a dialog is open over the window: the dialog and the window close, and
    // the settings are saved.
    void signalClosesDialogsAndSaves() {
        QTemporaryDir dir;
        bool dialogSeen = false;
        {
            COrvexApp app(fs::path(dir.path().toStdString()));
            app.onWindowReady = [&](COrvexDlg& window) {
                window.settings.log.interval = 77;
                // No port is stored, so the port settings dialog opens soon after the window.
                QTimer* poll = new QTimer(&window);
                QObject::connect(poll, &QTimer::timeout, [&, poll] {
                    QWidget* modal = QApplication::activeModalWidget();
                    if (modal != nullptr && modal != &window) {
                        dialogSeen = true;
                        poll->stop();
                        std::raise(SIGTERM);
                    }
                });
                poll->start(20);
                QTimer::singleShot(10000, &window, [&app] { app.CloseMainWindow(); });
            };
            app.InitInstance();
        }
        QVERIFY(dialogSeen);
        QVERIFY(ReadFile(dir.filePath("orvex.ini")).contains("FILE_INTERVAL=77\r\n"));
    }

    // A signal ignored when the program starts (nohup, a background job) stays ignored.
    void signalIgnoredAtStartStaysIgnored() {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        struct sigaction before = {};
        QCOMPARE(::sigaction(SIGHUP, &ignore, &before), 0);
        {
            CSignalBridge bridge;
            QVERIFY(bridge.IsInstalled());
            QList<int> received;
            connect(&bridge, &CSignalBridge::Signalled, this, [&](int n) { received << n; });
            // Both bytes would be in the pipe, in order, before the first is read.
            std::raise(SIGHUP);
            std::raise(SIGTERM);
            QTRY_VERIFY(!received.isEmpty());
            QCOMPARE(received, QList<int>{SIGTERM});
        }
        struct sigaction after = {};
        QCOMPARE(::sigaction(SIGHUP, &before, &after), 0);
        QVERIFY(after.sa_handler == SIG_IGN);
    }

    void signalToTheProgramSavesSettings_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void signalToTheProgramSavesSettings() {
        QFETCH(int, signalNumber);
        QTemporaryDir dir;
        WriteFile(dir.filePath("orvex.ini"), "[LOG]\r\nFILE_INTERVAL=33\r\n");
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("ORVEX_CONFIG_DIR", dir.path());
        env.insert("ORVEX_STARTUP_TIMING", "1");
        program.setProcessEnvironment(env);
        // Whatever the test runner ignores, the program starts with the default handling.
        program.setChildProcessModifier([] {
            for (int n : {SIGTERM, SIGINT, SIGHUP}) {
                ::signal(n, SIG_DFL);
            }
        });
        program.start(ORVEX_BINARY, {});
        QVERIFY(program.waitForStarted(10000));
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT(
            (err += program.readAllStandardError()).contains("first paint of the main window"),
            20000);
        QVERIFY(ReadFile(dir.filePath("orvex.ini")) == "[LOG]\r\nFILE_INTERVAL=33\r\n");
        ::kill(static_cast<pid_t>(program.processId()), signalNumber);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const QByteArray written = ReadFile(dir.filePath("orvex.ini"));
        QVERIFY(written.startsWith("[LOG]\r\nFILE_INTERVAL=33\r\nFILE_INPUT0=1\r\n"));
        QVERIFY(written.contains("[GENERAL]\r\nPORT_NR=0\r\n"));
    }
};

QTEST_MAIN(AppTest)
#include "AppTest.moc"
