// The main window's small commands: additional settings, the information dialog (also at
// start), the about box from the menu and the context menu, and the help.
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>

#include "NoPortStart.h"
#include "app/OrvexApp.h"
#include "tests/ui/ModalAnswerer.h"
#include "tests/ui/WindowParts.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/AboutDlg.h"
#include "ui/dialogs/ComDlg.h"
#include "ui/dialogs/DialogAdv.h"
#include "ui/dialogs/HelpWindow.h"
#include "ui/dialogs/SettingsDlg.h"

namespace {

QAction* Action(QWidget& window, const char* name) {
    return window.findChild<QAction*>(QLatin1String(name));
}

}  // namespace

class SmallCommandsTest : public QObject {
    Q_OBJECT
    ModalAnswerer answerer;
private slots:
    void init() {
        answerer.Reset();
        ListNoPorts();
    }

    void additionalSettingsShowTheNegation() {
        COrvexDlg window;
        PassPortDialog(answerer, window);
        window.settings.general.showInfoAtStart = true;

        // Shown unchecked; checked and OK clears the start-up option.
        bool checkedAtOpen = true;
        answerer.On<CSettingsDlg>([&](CSettingsDlg* d) {
            checkedAtOpen = d->CheckBox()->isChecked();
            d->CheckBox()->click();
            d->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        Action(window, "actionAdditionalSettings")->trigger();
        QVERIFY(!checkedAtOpen);
        QVERIFY(!window.settings.general.showInfoAtStart);

        // Now shown checked; a change then Anuluj leaves the option alone.
        answerer.On<CSettingsDlg>([&](CSettingsDlg* d) {
            checkedAtOpen = d->CheckBox()->isChecked();
            d->CheckBox()->click();
            d->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        });
        Action(window, "actionAdditionalSettings")->trigger();
        QVERIFY(checkedAtOpen);
        QVERIFY(!window.settings.general.showInfoAtStart);

        // Unchecked and OK sets it again.
        answerer.On<CSettingsDlg>([&](CSettingsDlg* d) {
            d->CheckBox()->click();
            d->accept();
        });
        Action(window, "actionAdditionalSettings")->trigger();
        QVERIFY(window.settings.general.showInfoAtStart);
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    // SHOW_ADV=1 in orvex.ini: the information dialog opens at start, and the port settings
    // dialog (no port stored) waits for it, opening only after it has been closed.
    void informationAtStartThenPortDialog() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        {
            QFile ini(folder.filePath(QStringLiteral("orvex.ini")));
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write("[GENERAL]\r\nSHOW_ADV=1\r\nPORT_NR=0\r\n");
        }
        COrvexApp app(std::filesystem::path(folder.path().toStdString()));
        QStringList order;
        int retriesWhileOpen = 0;
        app.onWindowReady = [&](COrvexDlg& window) {
            answerer.On<CDialogAdv>([&](CDialogAdv* d) {
                order << QStringLiteral("information");
                QVERIFY(window.InfoDialogOpen());
                // Hold it open while the port retry timer fires twice, then close it.
                connect(&TimerOf(window, "portRetryTimer"), &QTimer::timeout, d, [&, d] {
                    if (++retriesWhileOpen == 2) {
                        d->findChild<QPushButton*>(QStringLiteral("closeButton"))->click();
                    }
                });
            });
            answerer.On<CComDlg>([&](CComDlg* d) {
                order << (window.InfoDialogOpen() ? QStringLiteral("port while information")
                                                  : QStringLiteral("port"));
                d->reject();
                QTimer::singleShot(0, &app, [&] { app.CloseMainWindow(); });
            });
        };
        app.InitInstance();
        QCOMPARE(order, (QStringList{"information", "port"}));
        QVERIFY(retriesWhileOpen >= 2);
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    void aboutFromMenuAndContextMenu() {
        COrvexDlg window;
        PassPortDialog(answerer, window);
        int shown = 0;
        for (const char* name : {"actionAbout", "actionAboutContext"}) {
            answerer.On<CAboutDlg>([&](CAboutDlg* d) {
                ++shown;
                d->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
            });
            Action(window, name)->trigger();
        }
        QCOMPARE(shown, 2);
        QVERIFY(ChildOf<QMenu>(window, "contextMenu")
                    ->actions()
                    .contains(Action(window, "actionAboutContext")));
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    void informationFromMenu() {
        COrvexDlg window;
        PassPortDialog(answerer, window);
        bool flagWhileOpen = true;
        answerer.On<CDialogAdv>([&](CDialogAdv* d) {
            flagWhileOpen = window.InfoDialogOpen();
            QTest::keyClick(d, Qt::Key_Escape);
        });
        Action(window, "actionInformation")->trigger();
        // Only the start-up showing holds the port settings dialog back.
        QVERIFY(!flagWhileOpen);
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    void helpOnF1BesideTheWindow() {
        COrvexDlg window;
        PassPortDialog(answerer, window);
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_F1);
        QTRY_VERIFY(window.findChild<CHelpWindow*>() != nullptr &&
                    window.findChild<CHelpWindow*>()->isVisible());
        CHelpWindow* help = window.findChild<CHelpWindow*>();
        // Not modal: the main window goes on taking input.
        QVERIFY(!help->isModal());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        help->close();
        Action(window, "actionHelp")->trigger();
        QVERIFY(window.findChild<CHelpWindow*>() == help && help->isVisible());
    }
};

QTEST_MAIN(SmallCommandsTest)
#include "SmallCommandsTest.moc"
