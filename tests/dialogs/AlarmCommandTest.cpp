// The "Ustawienia alarmów" command of the main window against orvex-sim.
#include <QAction>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <csignal>
#include <filesystem>

#include "app/OrvexApp.h"
#include "tests/support/SimProcess.h"
#include "tests/ui/ModalAnswerer.h"
#include "tests/ui/WindowOnSim.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/AlarmsDlg.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Writes(SimProcess& sim) {
    std::vector<std::string> writes;
    for (const std::string& line : sim.Log()) {
        if (line.rfind("REQ 6 ", 0) == 0) {
            writes.push_back(line);
        }
    }
    return writes;
}

// Records every dialog that is shown, however briefly.
class ShownDialogs : public QObject {
public:
    ShownDialogs() { qApp->installEventFilter(this); }
    ~ShownDialogs() override { qApp->removeEventFilter(this); }
    QStringList names;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<QDialog*>(watched) != nullptr &&
            watched->metaObject()->className() != QLatin1String("COrvexDlg")) {
            names << QString::fromLatin1(watched->metaObject()->className());
        }
        return false;
    }
};

}  // namespace

class AlarmCommandTest : public QObject {
    Q_OBJECT
    ModalAnswerer answerer;

private:
    QTemporaryDir tmp;
    fs::path ports;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<COrvexDlg> dlg;

    void Trigger() {
        auto* action = dlg->findChild<QAction*>(QStringLiteral("actionAlarms"));
        QVERIFY(action != nullptr && action->isEnabled());
        action->trigger();
    }

private slots:
    void init() {
        QVERIFY(tmp.isValid());
        ports = UseTestPorts(tmp);
        answerer.Reset();
        sim = std::make_unique<SimProcess>(
            SimOptions{"device id=23073 serial=4711\nreg 6 2\nreg 7 0\n", {"--log"}});
        sim->LinkAs(ports, 7);
        dlg = std::make_unique<COrvexDlg>();
        dlg->settings.general.portNumber = 7;
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        QTRY_VERIFY_WITH_TIMEOUT(Published(*dlg, 4711), 10000);
    }

    void cleanup() {
        dlg.reset();
        sim.reset();
    }

    // A 2 shows as on; OK without changes writes both values, the 2 as 1.
    void okWritesBothEvenUnchanged() {
        bool shownAsRead = false;
        answerer.On<CAlarmsDlg>([&](CAlarmsDlg* d) {
            shownAsRead = d->InternalOnButton()->isChecked() && d->ExternalOffButton()->isChecked();
            sim->ClearLog();
            d->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        ModalAnswerer seen;
        Trigger();
        QVERIFY(shownAsRead);
        QCOMPARE(Writes(*sim), (std::vector<std::string>{"REQ 6 6 1", "REQ 6 7 0"}));
        QCOMPARE(seen.CountSeen("QMessageBox"), 0);
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    void changedChoiceIsWritten() {
        answerer.On<CAlarmsDlg>([&](CAlarmsDlg* d) {
            sim->ClearLog();
            d->InternalOffButton()->click();
            d->ExternalOnButton()->click();
            d->accept();
        });
        Trigger();
        QCOMPARE(Writes(*sim), (std::vector<std::string>{"REQ 6 6 0", "REQ 6 7 1"}));
        // The device stored what was chosen: the next run of the command shows it.
        bool shownAsWritten = false;
        answerer.On<CAlarmsDlg>([&](CAlarmsDlg* d) {
            shownAsWritten =
                d->InternalOffButton()->isChecked() && d->ExternalOnButton()->isChecked();
            d->reject();
        });
        Trigger();
        QVERIFY(shownAsWritten);
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    void cancelWritesNothing() {
        answerer.On<CAlarmsDlg>([&](CAlarmsDlg* d) {
            sim->ClearLog();
            d->InternalOffButton()->click();
            d->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        });
        Trigger();
        QVERIFY(Writes(*sim).empty());
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    void silentDeviceGivesReadMessageAndNoDialog() {
        sim->Command("silence on");
        QString text;
        int icon = -1;
        QString title;
        answerer.On<QMessageBox>([&](QMessageBox* box) {
            text = box->text();
            icon = box->icon();
            title = box->windowTitle();
            box->accept();
        });
        ModalAnswerer seen;
        Trigger();
        QCOMPARE(text, QStringLiteral("Nie można odczytać ustawień alarmów"));
        QCOMPARE(icon, int(QMessageBox::Warning));
        QCOMPARE(title, QStringLiteral("orvex"));
        QCOMPARE(seen.CountSeen("CAlarmsDlg"), 0);
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    void failingWriteGivesWriteMessage() {
        answerer.On<CAlarmsDlg>([&](CAlarmsDlg* d) {
            sim->Command("fault exception");
            d->accept();
        });
        QString text;
        int icon = -1;
        answerer.On<QMessageBox>([&](QMessageBox* box) {
            text = box->text();
            icon = box->icon();
            box->accept();
        });
        Trigger();
        QCOMPARE(text, QStringLiteral("Ustawienie alarmów nie powiodło się"));
        QCOMPARE(icon, int(QMessageBox::Warning));
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    // A close that arrives while the device call blocks acts as soon as the call is over: no
    // dialog is shown over a closing window.
    void closeDuringTheReadEndsTheCommand() {
        ShownDialogs shown;
        // Only so that a wrong dialog cannot hang the test.
        answerer.On<QDialog>([](QDialog* d) { d->reject(); }, 3000);
        QMetaObject::invokeMethod(dlg.get(), &QWidget::close, Qt::QueuedConnection);
        Trigger();
        QVERIFY(!dlg->isVisible());
        QCOMPARE(shown.names, QStringList());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    // The same with the program's own close on SIGTERM: the run ends without the dialog.
    void terminationDuringTheReadEndsTheProgram() {
        cleanup();  // this case runs the whole program
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        {
            QFile ini(folder.filePath(QStringLiteral("orvex.ini")));
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write("[GENERAL]\r\nPORT_NR=7\r\nSHOW_ADV=0\r\n");
        }
        SimProcess device(SimOptions{"device id=23073 serial=4711\n", {"--log"}});
        device.LinkAs(fs::path(folder.path().toStdString()) / "ports", 7);
        COrvexApp app(fs::path(folder.path().toStdString()));
        ShownDialogs shown;
        bool triggered = false;
        app.onWindowReady = [&](COrvexDlg& window) {
            QTimer::singleShot(0, &window, [&] {
                QTRY_VERIFY_WITH_TIMEOUT(Published(window, 4711), 10000);
                ::raise(SIGTERM);  // arrives while the read blocks the user interface
                triggered = true;
                window.findChild<QAction*>(QStringLiteral("actionAlarms"))->trigger();
            });
        };
        app.InitInstance();
        QVERIFY(triggered);
        QCOMPARE(shown.names, QStringList());
    }
};

QTEST_MAIN(AlarmCommandTest)
#include "AlarmCommandTest.moc"
