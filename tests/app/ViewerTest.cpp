// orvex --view: the trend window alone, never a second monitor.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include "app/OrvexApp.h"
#include "tests/app/AppRun.h"
#include "text/Cp1250.h"
#include "ui/OrvexDlg.h"
#include "ui/trend/TrendWnd.h"

namespace fs = std::filesystem;

class ViewerTest : public QObject {
    Q_OBJECT
private slots:
    // Settings that make the monitor poll COM7, record both files and publish: the viewer does
    // none of it, and of orvex.ini it may change only its own section.
    void viewerOpensNoPortRecordsNothingAndKeepsSettings() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        int master = -1;
        int slave = -1;
        char slaveName[256] = {};
        QCOMPARE(openpty(&master, &slave, slaveName, nullptr, nullptr), 0);
        ::close(slave);  // from here on the slave is open only if someone opens it
        QVERIFY(fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) == 0);
        fs::create_directories(fs::path(dir.path().toStdString()) / "ports");
        fs::create_symlink(slaveName, fs::path(dir.path().toStdString()) / "ports" / "com7");

        const QString recording = dir.filePath("pomiary.txt");
        WriteFile(recording, QByteArray::fromStdString(
                                 cp1250::FromUtf8("Data i Godzina\tTQ21 11 Wilgotność "
                                                  "[%]\tTQ21 11 Temperatura [°C]\t\r\n"
                                                  "2024.03.07 14:00:00\t45.0\t21.5\t\r\n"
                                                  "2024.03.07 14:00:01\t45.1\t21.4\t\r\n")
                                     .value_or(std::string())));
        const QByteArray settings =
            "[GENERAL]\r\nPORT_NR=7\r\nPORT_SPEED=9600\r\nPORT_PARITY=69\r\n[LOG]\r\n"
            "FILE_NAME=" +
            dir.filePath("nowy.txt").toUtf8() +
            "\r\nFILE_NAME_BIN=" + dir.filePath("nowy.qdx").toUtf8() +
            "\r\nFILE_LOG=1\r\nFILE_LOG_BIN=1\r\nFILE_INTERVAL=1\r\n"
            "[MQTT]\r\nENABLED=1\r\nHOST=127.0.0.1\r\nPORT=1\r\n";
        WriteFile(dir.filePath("orvex.ini"), settings);

        bool shown = false;
        {
            COrvexApp app(fs::path(dir.path().toStdString()));
            app.onWindowReady = [](COrvexDlg& window) {
                QFAIL("the viewer started the monitor");
                window.close();
            };
            app.onViewerReady = [&](QWidget& window) {
                auto* trend = qobject_cast<CTrendWnd*>(&window);
                QVERIFY(trend != nullptr);
                QSignalSpy spy(trend, &CTrendWnd::recordingShown);
                shown = spy.count() > 0 || spy.wait(20000);
                // The monitor would have asked the device and opened the files long before the
                // file is read; give it the recording timer's period on top.
                QTest::qWait(1500);
                window.close();
            };
            app.RunViewer(recording);
            QVERIFY(app.ViewerWindow() == nullptr);
        }
        QVERIFY(shown);
        char byte = 0;
        const ssize_t got = ::read(master, &byte, 1);
        ::close(master);
        QVERIFY2(got <= 0, "the viewer wrote to the port");
        QVERIFY(!QFile::exists(dir.filePath("nowy.txt")));
        QVERIFY(!QFile::exists(dir.filePath("nowy.qdx")));
        QVERIFY(!QFile::exists(dir.filePath("mqtt-queue.bin")));
        const QByteArray after = ReadFile(dir.filePath("orvex.ini"));
        QCOMPARE(after.left(settings.size()), settings);
        QVERIFY(after.size() == settings.size() ||
                after.mid(settings.size()).startsWith("[TREND]"));
    }

    // Without a settings file the viewer leaves none behind.
    void viewerCreatesNoSettingsFile() {
        QTemporaryDir dir;
        const QString recording = dir.filePath("brak.txt");
        {
            COrvexApp app(fs::path(dir.path().toStdString()));
            app.onViewerReady = [](QWidget& window) { window.close(); };
            app.RunViewer(recording);
        }
        QVERIFY(!QFile::exists(dir.filePath("orvex.ini")));
    }
};

QTEST_MAIN(ViewerTest)
#include "ViewerTest.moc"
