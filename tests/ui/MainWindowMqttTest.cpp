// The window publishing orvex-sim's readings to a real broker, and the broker's state on the
// status line.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "ModalAnswerer.h"
#include "WindowOnSim.h"
#include "app/Settings.h"
#include "publish/MqttFailure.h"
#include "publish/MqttPublisher.h"
#include "store/IniEx.h"
#include "tests/publish/Broker.h"
#include "tests/support/SimProcess.h"
#include "tests/ui/WindowParts.h"
#include "ui/OrvexDlg.h"
#include "ui/StatusLine.h"

namespace fs = std::filesystem;

namespace {

const char* const kConfig = R"(device id=23073 serial=4711
input 1 type=1 serial=101 valid=1 values=45.3,-2.5
)";

// A window with its own settings folder, publishing to the test's broker.
void PublishTo(COrvexDlg& dlg, const fs::path& root, const Broker& broker) {
    dlg.settingsFolder = root / "settings";
    fs::create_directories(dlg.settingsFolder);
    dlg.settings.mqtt.enabled = true;
    dlg.settings.mqtt.host = "127.0.0.1";
    dlg.settings.mqtt.port = broker.Port();
}

}  // namespace

class MainWindowMqttTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir tmp;
    fs::path ports;

private slots:
    void init() {
        QVERIFY(tmp.isValid());
        ports = UseTestPorts(tmp);
    }

    void statusTexts() {
        QCOMPARE(MqttStatusText(true, 5), QStringLiteral("MQTT: połączono"));
        QCOMPARE(MqttStatusText(false, 1234),
                 QStringLiteral("MQTT: brak połączenia (1234 w kolejce)"));
        // A refusal stays named while it lasts; a lost connection needs no one to act.
        QCOMPARE(
            MqttStatusText(
                false, 3, QString::fromStdString(MqttRefusalShortText(MqttFailure::NotAuthorized))),
            QStringLiteral("MQTT: brak połączenia: odmowa dostępu (3 w kolejce)"));
        QCOMPARE(MqttRefusalShortText(MqttFailure::ConnectionLost), std::string());
    }

    void menuItemIsLastInSettings() {
        COrvexDlg dlg;
        QMenu* settings = nullptr;
        for (QAction* a : ChildOf<QMenuBar>(dlg, "menuBar")->actions()) {
            if (QString(a->text()).remove(QLatin1Char('&')) == QStringLiteral("Ustawienia")) {
                settings = a->menu();
            }
        }
        QVERIFY(settings != nullptr);
        QCOMPARE(QString(settings->actions().last()->text()).remove(QLatin1Char('&')),
                 QStringLiteral("Publikowanie MQTT..."));
    }

    void olderFilesKeepTheirLayoutAndTheSectionRoundTrips() {
        COrvexDlg dlg;
        CIniEx ini;
        ini.LoadText("[GENERAL]\r\nPORT_NR=3\r\n", true);
        LoadSettings(ini, dlg);
        QVERIFY(dlg.settings.mqtt == MqttSettings{});
        SaveSettings(ini, dlg);
        QVERIFY(!HasMqttSection(ini));
        dlg.settings.mqtt.enabled = true;
        dlg.settings.mqtt.host = "broker";
        SaveSettings(ini, dlg);
        COrvexDlg again;
        CIniEx read;
        read.LoadText(ini.ToText(), true);
        LoadSettings(read, again);
        QVERIFY(again.settings.mqtt == dlg.settings.mqtt);
    }

    void publishesEveryCycleAndShowsTheBroker() {
        const fs::path root = tmp.path().toStdString();
        Broker broker(root / "broker", {});
        QVERIFY(broker.Start());
        Subscriber sub(broker.Port(), {"orvex/4711/#"});
        QVERIFY(sub.WaitConnected());
        SimProcess sim({kConfig, {}});
        sim.LinkAs(ports, 7);
        ModalAnswerer answerer;
        COrvexDlg dlg;
        PublishTo(dlg, root, broker);
        QVERIFY(ShowOnPort(dlg, 7));
        QVERIFY(sub.WaitFor("orvex/4711/input1", 2, 20000));
        const std::string payload = sub.On("orvex/4711/input1")[0].payload;
        QVERIFY2(payload.find(R"("model": "TQ21", "serial": 101, "values": {"humidity": )"
                              R"({"value": 45.3, "unit": "%"}, "temperature": {"value": null)") !=
                     std::string::npos,
                 payload.c_str());
        QCOMPARE(sub.On("orvex/4711/status")[0].payload, std::string("online"));
        QTRY_VERIFY(StatusLineOf(dlg).text().endsWith(QStringLiteral("MQTT: połączono. ")));

        broker.Stop();
        const QRegularExpression away(QStringLiteral("MQTT: brak połączenia \\(\\d+ w kolejce\\)"));
        QTRY_VERIFY_WITH_TIMEOUT(StatusLineOf(dlg).text().contains(away), 10000);
        // Cycles go on arriving and wait for the broker.
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Publishing().Publisher()->GetStats().queued >= 2, 15000);
    }

    // The command is carried out beside the window, which goes on showing and publishing.
    void anAlarmCommandSetsTheDeviceAndIsAnswered() {
        const fs::path root = tmp.path().toStdString();
        Broker broker(root / "broker", {});
        QVERIFY(broker.Start());
        Subscriber sub(broker.Port(), {"orvex/4711/#"});
        QVERIFY(sub.WaitConnected());
        SimProcess sim({std::string(kConfig) + "reg 6 0\nreg 7 1\n", {}});
        sim.LinkAs(ports, 7);
        ModalAnswerer answerer;
        COrvexDlg dlg;
        PublishTo(dlg, root, broker);
        dlg.settings.mqtt.commands = true;
        dlg.settings.mqtt.commandsInsecure = true;
        QVERIFY(ShowOnPort(dlg, 7));
        // Published after the connect's subscription.
        QVERIFY(sub.WaitFor("orvex/4711/alarms", 1, 20000));
        QVERIFY(sub.On("orvex/4711/alarms")[0].payload.find(R"("internal": 0, "external": 1})") !=
                std::string::npos);
        sub.Publish("orvex/4711/alarms/set", R"({"internal": 1})");
        QVERIFY(sub.WaitFor("orvex/4711/alarms/result", 1, 20000));
        const std::string answer = sub.On("orvex/4711/alarms/result")[0].payload;
        QVERIFY2(answer.find(R"("result": "ok", "message": null, "internal": 1, "external": 1})") !=
                     std::string::npos,
                 answer.c_str());
        std::uint8_t enables[2] = {0, 0};
        QCOMPARE(dlg.Driver().ReadAlarms(enables), 0);
        QCOMPARE(int(enables[0]), 1);
        const std::size_t readings = sub.On("orvex/4711/input1").size();
        QVERIFY(sub.WaitFor("orvex/4711/input1", readings + 1, 20000));
    }

    void aRefusedLoginIsToldOnceWithTheReason() {
        const fs::path root = tmp.path().toStdString();
        QVERIFY(Run("mosquitto_passwd -b -c " + (root / "passwd").string() + " orvex good"));
        std::ofstream(root / "bad.pw") << "wrong\n";
        Broker::Config config;
        config.passwordFile = root / "passwd";
        Broker broker(root / "broker", config);
        QVERIFY(broker.Start());
        SimProcess sim({kConfig, {}});
        sim.LinkAs(ports, 7);
        ModalAnswerer answerer;
        COrvexDlg dlg;
        PublishTo(dlg, root, broker);
        dlg.settings.mqtt.username = "orvex";
        dlg.settings.mqtt.passwordFile = (root / "bad.pw").string();
        QVERIFY(ShowOnPort(dlg, 7));
        QMessageBox* box = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(
            (box = dlg.findChild<QMessageBox*>(QStringLiteral("mqttRefusedBox"))) != nullptr,
            20000);
        QVERIFY(box->text().startsWith(
            QStringLiteral("Publikowanie MQTT: broker odrzucił nazwę użytkownika lub hasło")));
        QVERIFY(!box->isModal());
        QVERIFY(!box->text().contains(QStringLiteral("wrong")));  // never the password
        // The status line keeps the reason while the refusal lasts.
        QTRY_VERIFY(StatusLineOf(dlg).text().contains(
            QStringLiteral("MQTT: brak połączenia: zła nazwa użytkownika lub hasło (")));
        QCOMPARE(dlg.findChildren<QMessageBox*>(QStringLiteral("mqttRefusedBox")).size(), 1);
    }
};

QTEST_MAIN(MainWindowMqttTest)
#include "MainWindowMqttTest.moc"
