// The main window against orvex-sim behind a real pseudo-terminal.
#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <filesystem>

#include "ModalAnswerer.h"
#include "WindowOnSim.h"
#include "tests/support/SimProcess.h"
#include "tests/ui/WindowParts.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/ComDlg.h"

namespace fs = std::filesystem;

namespace {

// A mixed set: errors in captions, an empty input, binary inputs on and off, a type the
// program cannot present, and a hundredths temperature below zero.
const char* const kMixedConfig = R"(device id=23073 serial=4711
input 1 type=1 serial=101 valid=3 values=45.3,-2.5
input 2 type=2 serial=202 valid=2 values=55.0,21.5,1013.2
input 3 none
input 4 type=9 serial=404 valid=0
input 5 type=8 serial=505 values=1.0
input 6 type=8 serial=606 values=0
input 7 type=5 serial=707 valid=3 values=270,3.4
input 8 type=4110 serial=808 valid=15 values=12.3,45.6,67.8,-3.05
)";

bool HasLine(const std::vector<std::string>& log, const std::string& word) {
    return std::any_of(log.begin(), log.end(),
                       [&](const std::string& line) { return line.rfind(word, 0) == 0; });
}

// Picks COM `port` and the address in the port settings dialog and confirms it.
ModalAnswerer::Handler ChoosePort(int port, const QString& address, QString* problem) {
    return [=](QWidget* widget) {
        auto* dialog = qobject_cast<CComDlg*>(widget);
        if (dialog == nullptr) {
            return false;
        }
        const QString prefix = QStringLiteral("COM%1").arg(port);
        bool found = false;
        for (QComboBox* list : dialog->findChildren<QComboBox*>()) {
            for (int i = 0; i < list->count() && !found; ++i) {
                const QString entry = list->itemText(i);
                if (entry.startsWith(prefix) &&
                    (entry.size() == prefix.size() || !entry[prefix.size()].isDigit())) {
                    list->setCurrentIndex(i);
                    found = true;
                }
            }
        }
        const auto edits = dialog->findChildren<QLineEdit*>();
        if (!found || edits.size() != 1) {
            *problem = QStringLiteral("no entry for %1 or no address field").arg(prefix);
            dialog->reject();
            return true;
        }
        edits.front()->setText(address);
        dialog->accept();
        return true;
    };
}

bool AnswerBox(QWidget* widget) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box == nullptr) {
        return false;
    }
    box->accept();
    return true;
}

}  // namespace

class MainWindowDeviceTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir tmp;
    fs::path ports;

private slots:
    void init() {
        QVERIFY(tmp.isValid());
        ports = UseTestPorts(tmp);
    }

    void liveReadingsThenSilence() {
        SimProcess sim({kMixedConfig, {"--log"}});
        sim.LinkAs(ports, 7);
        ModalAnswerer answerer;
        COrvexDlg dlg;
        QVERIFY(ShowOnPort(dlg, 7));
        QCOMPARE(StatusLineOf(dlg).text(), QStringLiteral("Brak komunikacji z urządzeniem. "));

        // A maximise and restore before the device answers: the re-layout that the first
        // answer brings must use the restored size.
        dlg.showMaximized();
        QTRY_VERIFY(dlg.frameGeometry().size() != QSize(640, 480));
        dlg.showNormal();
        QTRY_COMPARE(dlg.frameGeometry().size(), QSize(640, 480));

        // The same as the window system may order it: the restored size after the maximised.
        const QSize restoredClient = ChildOf<QWidget>(dlg, "clientArea")->size();
        dlg.OnSize(COrvexDlg::SizeType::Maximized, 790, 700);
        dlg.OnSize(COrvexDlg::SizeType::Restored, restoredClient.width(), restoredClient.height());
        QTRY_VERIFY_WITH_TIMEOUT(Published(dlg, 4711), 10000);
        dlg.RefreshDisplay();
        QVERIFY(dlg.DeviceResponding());
        QCOMPARE(StatusLineOf(dlg).text(), QStringLiteral("ORVEX nr 4711. "));

        // Laid out for the restored size: the last row ends a margin inside the client area.
        const QSize client = ChildOf<QWidget>(dlg, "clientArea")->size();
        const QRect last = dlg.valueControls[7].geometry();
        QVERIFY(dlg.DeviceResponding());
        QCOMPARE(last.left(), dlg.LayoutMargin());
        QCOMPARE(last.right() + 1, client.width() - dlg.LayoutMargin());
        QCOMPARE(last.bottom() + 1, client.height() - dlg.LayoutMargin());

        const struct {
            const char* caption;
            const char* value;
            bool blinking;
        } expected[8] = {
            {"TQ21 nr 101 ", "RH = 45,3 %, T = -2,5 °C", false},
            {"TQ23 nr 202 Błąd wilgotności Błąd ciśnienia ",
             "RH = 55,0 %, T = 21,5 °C, P = 1013,2 hPa", false},
            {"Brak wejścia", "???", true},
            {"??? nr ??? ", "???", false},
            {"Wejście binarne", "1 - włączone", false},
            {"Wejście binarne", "0 - wyłączone", false},
            {"TQ25 nr 707 ", "V = 3,4 m/s, DIR = 270 °", false},
            {"TQ28 nr 808 ", "RH = 67,8 %, T = -3,05 °C, PE = 12,3, K = 45,6 mS/m", false},
        };
        for (int i = 0; i < 8; ++i) {
            const CColorStatic& control = dlg.valueControls[i];
            QCOMPARE(control.Caption(), QString::fromUtf8(expected[i].caption));
            QCOMPARE(control.ValueText(), QString::fromUtf8(expected[i].value));
            QCOMPARE(control.IsBlinking(), expected[i].blinking);
        }

        // Silence: the next request times out, and the refresh timer shows it.
        sim.Command("silence on");
        QTRY_COMPARE_WITH_TIMEOUT(StatusLineOf(dlg).text(),
                                  QStringLiteral("Brak komunikacji z urządzeniem. "), 20000);
        for (const CColorStatic& control : dlg.valueControls) {
            QCOMPARE(control.Caption(), QStringLiteral("Brak wejścia"));
            QCOMPARE(control.ValueText(), QStringLiteral("???"));
            QVERIFY(control.IsBlinking());
        }
        QVERIFY(answerer.SeenWidgets().empty());
    }

    void storedPortThatDoesNotExist() {
        ModalAnswerer answerer;
        bool hiddenWhileAsked = false;
        answerer.Expect([&](QWidget* w) {
            if (!AnswerBox(w)) {
                return false;
            }
            hiddenWhileAsked = !w->parentWidget()->isVisible();
            return true;
        });
        answerer.Expect(CancelPortDialog);
        COrvexDlg dlg;
        dlg.settings.general.portNumber = 200;  // no link and no device family behind it
        dlg.show();
        QTRY_COMPARE_WITH_TIMEOUT(answerer.Pending(), 0, 10000);

        const ModalAnswerer::Seen* box = answerer.FirstSeen("QMessageBox");
        QVERIFY(box != nullptr);
        QCOMPARE(box->text, QStringLiteral("Nie można otworzyć portu COM200"));
        QCOMPARE(box->title, QStringLiteral("orvex"));
        QCOMPARE(box->icon, int(QMessageBox::Warning));
        QVERIFY(box->informativeText.contains(QStringLiteral("COM200")));
        QVERIFY(hiddenWhileAsked);
        QCOMPARE(answerer.SeenWidgets().front().className, QStringLiteral("QMessageBox"));
        QVERIFY(answerer.FirstSeen("CComDlg") != nullptr);
        // A failure at start leaves the stored number for the dialog and the next run.
        QCOMPARE(dlg.settings.general.portNumber, 200);
        QVERIFY(!dlg.Driver().IsDeviceResponding());
    }

    // An adapter plugged in after the start: after the message and the dialog, the configured
    // port is tried in the background until it opens, and the status line says so meanwhile.
    void configuredPortIsRetriedUntilItOpens() {
        ModalAnswerer answerer;
        answerer.Expect(AnswerBox);
        answerer.Expect(CancelPortDialog);
        COrvexDlg dlg;
        dlg.settings.general.portNumber = 201;
        dlg.show();
        QTRY_COMPARE_WITH_TIMEOUT(answerer.Pending(), 0, 10000);
        QVERIFY(dlg.Link().WaitingForPort());
        QCOMPARE(StatusLineOf(dlg).text(),
                 QStringLiteral("Brak komunikacji z urządzeniem. Oczekiwanie na port COM201. "));

        SimProcess sim({kMixedConfig, {"--log"}});
        sim.LinkAs(ports, 201);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.Link().WaitingForPort(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(Published(dlg, 4711), 10000);
        dlg.RefreshDisplay();
        QCOMPARE(StatusLineOf(dlg).text(), QStringLiteral("ORVEX nr 4711. "));
        QCOMPARE(dlg.settings.general.portNumber, 201);
        QCOMPARE(answerer.CountSeen("QMessageBox"), 1);
    }

    // The stored port could not be opened at start; once it is there, confirming the same port,
    // speed and parity in the dialog starts the link (nothing else would).
    void samePortAfterAFailedStartStartsTheLink() {
        ModalAnswerer answerer;
        answerer.Expect(AnswerBox);
        answerer.Expect(CancelPortDialog);
        COrvexDlg dlg;
        dlg.settings.general.portNumber = 200;  // nothing behind it yet
        dlg.show();
        QTRY_COMPARE_WITH_TIMEOUT(answerer.Pending(), 0, 10000);
        QCOMPARE(dlg.settings.general.portNumber, 200);

        SimProcess sim({kMixedConfig, {"--log"}});
        sim.LinkAs(ports, 200);
        QString problem;
        answerer.Expect(ChoosePort(200, QStringLiteral("1"), &problem));
        QTimer::singleShot(0, ChildOf<QAction>(dlg, "actionSerialPort"), &QAction::trigger);
        QTRY_COMPARE_WITH_TIMEOUT(answerer.Pending(), 0, 10000);
        QCOMPARE(problem, QString());
        QCOMPARE(answerer.CountSeen("QMessageBox"), 1);
        QVERIFY(sim.WaitForLog([](const auto& log) { return HasLine(log, "REQ"); },
                               std::chrono::seconds(10)));
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Driver().IsDeviceResponding(), 10000);
        QCOMPARE(dlg.settings.general.portNumber, 200);
        QCOMPARE(dlg.settings.general.baudRate, 9600);
        QCOMPARE(dlg.settings.general.parity, 'E');
    }

    // First start without a port: choose the simulator, change only the address, then choose a
    // port that another program holds.
    void portSettingsCommand() {
        SimProcess sim({kMixedConfig, {"--log"}});
        sim.LinkAs(ports, 7);

        int master = -1, slave = -1;
        QCOMPARE(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        const fs::path busyPath = ::ttyname(slave);
        QCOMPARE(::flock(slave, LOCK_EX | LOCK_NB), 0);
        fs::create_symlink(busyPath, ports / "com8");

        QString problem;
        ModalAnswerer answerer;
        answerer.Expect(ChoosePort(7, QStringLiteral("1"), &problem));
        COrvexDlg dlg;
        dlg.show();
        QTRY_COMPARE_WITH_TIMEOUT(answerer.Pending(), 0, 10000);
        QCOMPARE(problem, QString());
        QCOMPARE(answerer.CountSeen("QMessageBox"), 0);
        QCOMPARE(dlg.settings.general.portNumber, 7);
        QVERIFY(sim.WaitForLog([](const auto& log) { return HasLine(log, "REQ"); },
                               std::chrono::seconds(10)));
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Driver().IsDeviceResponding(), 10000);

        // Only the address changes: no reopen; requests now go to an address nobody answers.
        sim.ClearLog();
        answerer.Expect(ChoosePort(7, QStringLiteral("7"), &problem));
        QTimer::singleShot(0, ChildOf<QAction>(dlg, "actionSerialPort"), &QAction::trigger);
        QTRY_COMPARE_WITH_TIMEOUT(answerer.Pending(), 0, 10000);
        QCOMPARE(problem, QString());
        QCOMPARE(dlg.Link().address, 7);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.Driver().IsDeviceResponding(), 15000);
        QVERIFY(!HasLine(sim.Log(), "OPEN"));
        QVERIFY(!HasLine(sim.Log(), "CLOSE"));
        QCOMPARE(dlg.settings.general.portNumber, 7);

        // A port held by another program: the message names it and the dialog comes back.
        answerer.Expect(ChoosePort(8, QStringLiteral("1"), &problem));
        answerer.Expect(AnswerBox);
        answerer.Expect(CancelPortDialog);
        QTimer::singleShot(0, ChildOf<QAction>(dlg, "actionSerialPort"), &QAction::trigger);
        QTRY_COMPARE_WITH_TIMEOUT(answerer.Pending(), 0, 30000);
        QCOMPARE(problem, QString());
        const ModalAnswerer::Seen* box = answerer.FirstSeen("QMessageBox");
        QVERIFY(box != nullptr);
        QCOMPARE(box->text, QStringLiteral("Nie można otworzyć portu COM8"));
        QVERIFY2(box->informativeText.contains(QStringLiteral("używany przez inny program")),
                 qPrintable(box->informativeText));
        QCOMPARE(dlg.settings.general.portNumber, 0);
        QVERIFY(sim.WaitForLog([](const auto& log) { return HasLine(log, "CLOSE"); },
                               std::chrono::seconds(5)));

        ::close(slave);
        ::close(master);
    }
};

QTEST_MAIN(MainWindowDeviceTest)
#include "MainWindowDeviceTest.moc"
