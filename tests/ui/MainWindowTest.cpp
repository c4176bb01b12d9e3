// The main window without a device: layout, window rectangle, always-on-top, menu, first start.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QWindow>
#include <QtTest>

#include "ModalAnswerer.h"
#include "WindowOnSim.h"
#include "tests/ui/WindowParts.h"
#include "ui/MainLayout.h"
#include "ui/OrvexDlg.h"
#include "ui/StatusLine.h"
#include "ui/dialogs/ComDlg.h"

namespace QTest {
template <>
inline char* toString(const WindowRect& r) {
    return qstrdup(QStringLiteral("{%1, %2, %3, %4}")
                       .arg(r.left)
                       .arg(r.top)
                       .arg(r.right)
                       .arg(r.bottom)
                       .toUtf8());
}
}  // namespace QTest

namespace {

QRect Edges(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

// The layout rule stated on its own: the status line at the top, inset by the margin; below it
// and two pixels more, eight rows of equal share (to a pixel) with a margin's gap above each,
// the last ending a margin above the bottom edge.
void ExpectLaidOut(COrvexDlg& dlg) {
    const QSize client = ChildOf<QWidget>(dlg, "clientArea")->size();
    const int d = dlg.LayoutMargin();
    QVERIFY(d >= 2 && d <= 20);
    QCOMPARE(StatusLineOf(dlg).geometry(),
             QRect(d, d, client.width() - 2 * d, dlg.StatusHeight()));
    const int top = d + dlg.StatusHeight() + 2;
    const int share = client.height() - d - top;
    int slotTop = top;
    for (int i = 0; i < 8; ++i) {
        const QRect r = dlg.valueControls[i].geometry();
        QCOMPARE(r.left(), d);
        QCOMPARE(r.width(), client.width() - 2 * d);
        QCOMPARE(r.top(), slotTop + d);
        const int slot = r.bottom() + 1 - slotTop;
        QVERIFY2(std::abs(slot * 8 - share) < 8, qPrintable(QString("row %1").arg(i)));
        slotTop = r.bottom() + 1;
    }
    QCOMPARE(slotTop, client.height() - d);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        CComDlg::SetPortLister([](int& count, std::string& text) {
            count = 0;
            text.clear();
            return true;
        });
    }

    void layoutRule() {
        QCOMPARE(ClampLayoutMargin(0), 2);
        QCOMPARE(ClampLayoutMargin(3), 3);
        QCOMPARE(ClampLayoutMargin(35), 20);

        // 600 x 400, margin 3, status line 23 high: the rows start at 28 and share 369 pixels.
        const MainLayout layout = ComputeMainLayout(600, 400, 3, 23);
        QCOMPARE(layout.statusLine, Edges(3, 3, 597, 26));
        QCOMPARE(layout.valueControls[0], Edges(3, 31, 597, 74));
        QCOMPARE(layout.valueControls[1], Edges(3, 77, 597, 120));
        QCOMPARE(layout.valueControls[7], Edges(3, 353, 597, 397));

        for (int cy : {120, 333, 401, 1080}) {
            for (int d : {2, 7, 20}) {
                const MainLayout l = ComputeMainLayout(640, cy, d, 25);
                const int top = d + 25 + 2;
                QCOMPARE(l.valueControls[7].bottom() + 1, cy - d);
                for (int i = 0; i < 8; ++i) {
                    const QRect& r = l.valueControls[i];
                    QCOMPARE(r.left(), d);
                    QCOMPARE(r.right() + 1, 640 - d);
                    // Equal shares: every slot (gap included) is H/8 rounded down or up.
                    const int slot = (i == 0 ? r.bottom() + 1 - top
                                             : r.bottom() - l.valueControls[i - 1].bottom());
                    QVERIFY(std::abs(slot * 8 - (cy - d - top)) < 8);
                    if (i > 0) {
                        QCOMPARE(r.top() - (l.valueControls[i - 1].bottom() + 1), d);
                    }
                }
            }
        }
    }

    void statusTexts() {
        DeviceInfo info;
        info.status = 0;
        info.serialNumber = 1234;
        QCOMPARE(DeviceStatusText(false, info), QStringLiteral("Brak komunikacji z urządzeniem. "));
        QCOMPARE(DeviceStatusText(true, info), QStringLiteral("ORVEX nr 1234. "));
        info.serialNumber = 65535;
        QCOMPARE(DeviceStatusText(true, info), QStringLiteral("ORVEX nr 65535. "));
        info.status = 3;
        QCOMPARE(DeviceStatusText(true, info), QStringLiteral("ORVEX"));

        QCOMPARE(RecordingStatusText(90), QStringLiteral("Rejestracja do pliku co 00:01:30. "));
        QCOMPARE(RecordingStatusText(3661), QStringLiteral("Rejestracja do pliku co 01:01:01. "));
        QCOMPARE(RecordingStatusText(86399), QStringLiteral("Rejestracja do pliku co 23:59:59. "));
        QCOMPARE(RecordingStatusText(360000),
                 QStringLiteral("Rejestracja do pliku co 100:00:00. "));
    }

    // No stored port: no message, everything blinking, the port dialog half a second after the
    // window shows.
    void firstStartWithoutPort() {
        ModalAnswerer answerer;
        bool visibleWhenAsked = false;
        answerer.Expect([&](QWidget* w) {
            if (qobject_cast<CComDlg*>(w) == nullptr) {
                return false;
            }
            visibleWhenAsked = w->parentWidget() && w->parentWidget()->isVisible();
            return CancelPortDialog(w);
        });
        COrvexDlg dlg;
        answerer.Restart();
        dlg.show();
        const qint64 shownAt = answerer.ElapsedMs();

        QCOMPARE(StatusLineOf(dlg).text(), QStringLiteral("Brak komunikacji z urządzeniem. "));
        QVERIFY(StatusLineOf(dlg).isReadOnly());
        for (const CColorStatic& control : dlg.valueControls) {
            QCOMPARE(control.Caption(), QStringLiteral("Brak wejścia"));
            QCOMPARE(control.ValueText(), QStringLiteral("???"));
            QVERIFY(control.IsBlinking());
        }
        QVERIFY(TimerOf(dlg, "portRetryTimer").isActive());
        QVERIFY(TimerOf(dlg, "refreshTimer").isActive());
        QCOMPARE(TimerOf(dlg, "refreshTimer").interval(), 5000);
        QVERIFY(TimerOf(dlg, "startupTimer").isActive());
        QVERIFY(TimerOf(dlg, "startupTimer").isSingleShot());
        QVERIFY(!TimerOf(dlg, "informationTimer").isActive());

        QTRY_COMPARE_WITH_TIMEOUT(answerer.Pending(), 0, 10000);
        QVERIFY(visibleWhenAsked);
        QCOMPARE(answerer.CountSeen("QMessageBox"), 0);
        const ModalAnswerer::Seen* first = &answerer.SeenWidgets().front();
        // The search wait dialog may come first; either way not before the retry period.
        QVERIFY2(first->atMs - shownAt >= 450, qPrintable(QString::number(first->atMs - shownAt)));
        QVERIFY(first->atMs - shownAt < 5000);
        QVERIFY(!TimerOf(dlg, "portRetryTimer").isActive());
        QCOMPARE(dlg.settings.general.portNumber, 0);
    }

    // A negative stored number is no port either: the dialog says that none is in use.
    void negativePortNumberCountsAsNoPort() {
        ModalAnswerer answerer;
        QString status;
        answerer.Expect([&](QWidget* w) {
            if (qobject_cast<CComDlg*>(w) == nullptr) {
                return false;
            }
            status = w->findChild<QLabel*>(QStringLiteral("statusText"))->text();
            return CancelPortDialog(w);
        });
        COrvexDlg dlg;
        dlg.settings.general.portNumber = -5;
        dlg.show();
        QTRY_COMPARE_WITH_TIMEOUT(answerer.Pending(), 0, 10000);
        QCOMPARE(answerer.CountSeen("QMessageBox"), 0);
        QCOMPARE(status, QStringLiteral("Aktualnie żaden port nie jest używany"));
    }

    void informationTimerStartsOnlyWhenAsked() {
        ModalAnswerer answerer;
        // The information dialog first; the port settings dialog follows once it has closed.
        answerer.Expect([](QWidget* widget) {
            if (widget->metaObject()->className() != QLatin1String("CDialogAdv")) {
                return false;
            }
            static_cast<QDialog*>(widget)->reject();
            return true;
        });
        answerer.Expect(CancelPortDialog);
        COrvexDlg dlg;
        dlg.settings.general.showInfoAtStart = true;
        dlg.show();
        QVERIFY(TimerOf(dlg, "informationTimer").isActive());
        QCOMPARE(TimerOf(dlg, "informationTimer").interval(), 100);
        QTRY_VERIFY(!TimerOf(dlg, "informationTimer").isActive());
        QTRY_COMPARE_WITH_TIMEOUT(answerer.Pending(), 0, 10000);
        QVERIFY(!dlg.InfoDialogOpen());
    }

    void placedByWindowRectAndLaidOut() {
        ModalAnswerer answerer;
        answerer.Expect(CancelPortDialog);
        COrvexDlg dlg;
        dlg.settings.general.windowRect = WindowRect{150, 120, 750, 560};
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.frameGeometry(), Edges(150, 120, 750, 560));
        // The client area is what lies below the menu bar.
        QCOMPARE(ChildOf<QWidget>(dlg, "clientArea")->geometry().top(),
                 ChildOf<QMenuBar>(dlg, "menuBar")->geometry().bottom() + 1);
        QCOMPARE(ChildOf<QWidget>(dlg, "clientArea")->geometry().bottom(), dlg.height() - 1);
        QCOMPARE(ChildOf<QWidget>(dlg, "clientArea")->width(), dlg.width());
        QVERIFY(dlg.StatusHeight() > 0);
        ExpectLaidOut(dlg);
        QCOMPARE(dlg.settings.general.windowRect, (WindowRect{150, 120, 750, 560}));
    }

    void windowRectFollowsOnlyRestoredSizes() {
        ModalAnswerer answerer;
        answerer.Expect(CancelPortDialog);
        COrvexDlg dlg;
        dlg.settings.general.windowRect = WindowRect{100, 90, 560, 470};
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const WindowRect restored = dlg.settings.general.windowRect;

        dlg.showMaximized();
        QTRY_VERIFY(dlg.windowState() & Qt::WindowMaximized);
        QTRY_VERIFY(dlg.frameGeometry().size() != QSize(460, 380));
        QCOMPARE(dlg.settings.general.windowRect, restored);
        ExpectLaidOut(dlg);

        dlg.showNormal();
        QTRY_COMPARE(dlg.frameGeometry().size(), QSize(460, 380));
        // Where the window system puts the restored window is its business; the rectangle
        // follows it.
        const QRect back = dlg.frameGeometry();
        QCOMPARE(dlg.settings.general.windowRect,
                 (WindowRect{back.left(), back.top(), back.left() + 460, back.top() + 380}));
        ExpectLaidOut(dlg);
        QCoreApplication::processEvents();
        dlg.move(100, 90);
        QTRY_COMPARE(dlg.frameGeometry().topLeft(), QPoint(100, 90));

        // A resize in the normal state is kept; a bare move is not.
        const QSize frameExtra = dlg.frameGeometry().size() - dlg.size();
        dlg.resize(QSize(500, 420) - frameExtra);
        QTRY_COMPARE(dlg.settings.general.windowRect, (WindowRect{100, 90, 600, 510}));
        ExpectLaidOut(dlg);
        QCoreApplication::processEvents();  // a user's move comes as an event of its own
        dlg.move(180, 160);
        QTRY_COMPARE(dlg.frameGeometry().topLeft(), QPoint(180, 160));
        QCOMPARE(dlg.settings.general.windowRect, (WindowRect{100, 90, 600, 510}));

        dlg.showMinimized();
        QTRY_VERIFY(dlg.windowState() & Qt::WindowMinimized);
        dlg.showNormal();
        QTRY_VERIFY(!(dlg.windowState() & Qt::WindowMinimized));
        ExpectLaidOut(dlg);

        // Shrunk by the user as far as it goes: still a window worth saving.
        dlg.resize(20, 10);
        QTRY_VERIFY(dlg.settings.general.windowRect.Width() >= WindowRect::kMinWidth);
        QVERIFY(dlg.settings.general.windowRect.Height() >= WindowRect::kMinHeight);
    }

    // Toggling must not hide the window: hiding a dialog would end its modal run.
    void alwaysOnTopTwiceReturnsToSameState() {
        ModalAnswerer answerer;
        answerer.Expect(CancelPortDialog);
        COrvexDlg dlg;
        dlg.settings.general.alwaysOnTop = true;
        QAction* action = ChildOf<QAction>(dlg, "actionAlwaysOnTop");
        bool afterOne = true, flagAfterOne = true, afterTwo = false, flagAfterTwo = false,
             visible = false;
        QTimer::singleShot(100, &dlg, [&] {
            QVERIFY(dlg.settings.general.alwaysOnTop);
            QVERIFY(action->isChecked());
            QVERIFY(dlg.windowFlags() & Qt::WindowStaysOnTopHint);
            QVERIFY(dlg.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
            action->trigger();
            afterOne = action->isChecked() || dlg.settings.general.alwaysOnTop;
            flagAfterOne = (dlg.windowHandle()->flags() & Qt::WindowStaysOnTopHint) != 0;
            action->trigger();
            afterTwo = action->isChecked() && dlg.settings.general.alwaysOnTop;
            flagAfterTwo = (dlg.windowHandle()->flags() & Qt::WindowStaysOnTopHint) != 0 &&
                           (dlg.windowFlags() & Qt::WindowStaysOnTopHint);
            QTimer::singleShot(100, &dlg, [&] {
                visible = dlg.isVisible();
                dlg.done(42);
            });
        });
        QCOMPARE(dlg.exec(), 42);
        QVERIFY(!afterOne);
        QVERIFY(!flagAfterOne);
        QVERIFY(afterTwo);
        QVERIFY(flagAfterTwo);
        QVERIFY(visible);
    }

    void menuTexts() {
        COrvexDlg dlg;
        const QList<QAction*> menus = ChildOf<QMenuBar>(dlg, "menuBar")->actions();
        QStringList titles;
        for (QAction* m : menus) {
            titles << QString(m->text()).remove(QLatin1Char('&'));
        }
        QCOMPARE(titles, (QStringList{"Program", "Alarmy", "Widok", "Ustawienia", "Pomoc"}));
        auto items = [&](int i) {
            QStringList texts;
            for (QAction* a : menus[i]->menu()->actions()) {
                texts << QString(a->text()).remove(QLatin1Char('&')) +
                             (a->isEnabled() ? "" : " (off)");
            }
            return texts;
        };
        QCOMPARE(items(0), (QStringList{"Otwórz zapis...", "Zamknij"}));
        QCOMPARE(items(1), (QStringList{"Ustawienia alarmów"}));
        QCOMPARE(items(2), (QStringList{"Kolory", "Czcionki", "Zawsze na wierzchu", "Wykres..."}));
        QCOMPARE(items(3), (QStringList{"Port szeregowy", "Rejestracja do pliku",
                                        "Ustawienia dodatkowe", "Publikowanie MQTT..."}));
        QCOMPARE(items(4), (QStringList{"Pomoc", "Program Zelvio", "O programie"}));
        QCOMPARE(menus[4]->menu()->actions()[0]->shortcut(), QKeySequence(Qt::Key_F1));
        QVERIFY(ChildOf<QAction>(dlg, "actionAlwaysOnTop")->isCheckable());
        QCOMPARE(ChildOf<QMenu>(dlg, "contextMenu")->actions().size(), 1);
        QCOMPARE(ChildOf<QMenu>(dlg, "contextMenu")->actions()[0]->text(),
                 QStringLiteral("&O programie..."));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("orvex"));
    }

    void closeCommandEndsTheRun() {
        ModalAnswerer answerer;
        answerer.Expect(CancelPortDialog);
        COrvexDlg dlg;
        QTimer::singleShot(
            50, &dlg, [&] { dlg.findChild<QAction*>(QStringLiteral("actionClose"))->trigger(); });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QVERIFY(!dlg.isVisible());
        // The run's end ends the timers: nothing fires into a closed window.
        QVERIFY(!TimerOf(dlg, "refreshTimer").isActive());
        QVERIFY(!TimerOf(dlg, "portRetryTimer").isActive());
        QVERIFY(!TimerOf(dlg, "startupTimer").isActive());
    }

    // A slip of Enter or Escape while closing a menu must not end a recording run.
    void enterAndEscapeDoNotEndTheRun() {
        ModalAnswerer answerer;
        answerer.Expect(CancelPortDialog);
        COrvexDlg dlg;
        bool stillRunning = false;
        QTimer::singleShot(50, &dlg, [&] {
            for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
                QTest::keyClick(&dlg, key);
                QTest::keyClick(dlg.focusWidget() ? dlg.focusWidget() : &dlg, key);
            }
            QCoreApplication::processEvents();
            stillRunning = dlg.isVisible();
            dlg.findChild<QAction*>(QStringLiteral("actionClose"))->trigger();
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QVERIFY(stillRunning);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
