// Every window and dialog lies fully on the screen that holds the main window, title bar
// included.
#include <QScreen>
#include <QtTest>

#include "NoPortStart.h"
#include "ui/OrvexDlg.h"
#include "ui/ScreenKeeper.h"
#include "ui/dialogs/HelpWindow.h"

class ScreenKeeperTest : public QObject {
    Q_OBJECT
    ModalAnswerer answerer;
private slots:
    void init() {
        answerer.Reset();
        ListNoPorts();
    }

    // The help window (640x560) centred over the main window in its built-in place on a
    // 1024x768 screen, with a 30 px title bar: its frame's top would be 10 px above the screen.
    void fitMovesAsLittleAsNeededAndKeepsTheTitleBarOnScreen() {
        const QMargins frame(4, 30, 4, 4);
        const QRect screen(0, 0, 1024, 768);
        const QRect centred(80, 20, 640, 560);
        const QRect fitted = FitOnScreen(centred, frame, screen, QSize(100, 100));
        QCOMPARE(fitted, QRect(80, 30, 640, 560));

        // Already on the screen: left alone.
        QCOMPARE(FitOnScreen(QRect(300, 100, 640, 560), frame, screen, {}),
                 QRect(300, 100, 640, 560));
        // Past the right and bottom edges, on a screen whose top holds a panel.
        const QRect belowPanel(0, 28, 1024, 740);
        QCOMPARE(FitOnScreen(QRect(900, 700, 200, 100), frame, belowPanel, {}),
                 QRect(1024 - 4 - 200, 768 - 4 - 100, 200, 100));
        QCOMPARE(FitOnScreen(QRect(-50, 10, 200, 100), frame, belowPanel, {}),
                 QRect(4, 28 + 30, 200, 100));
        // Taller than the screen: shrunk to it.
        QCOMPARE(FitOnScreen(QRect(100, -40, 640, 900), frame, screen, QSize(100, 100)),
                 QRect(100, 30, 640, 768 - 34));
        // Its minimum too big for the screen: the title bar's corner stays on the screen.
        const QRect huge = FitOnScreen(QRect(500, 300, 2000, 1000), frame, screen, {2000, 1000});
        QCOMPARE(huge.topLeft(), QPoint(4, 30));
        QCOMPARE(huge.size(), QSize(2000, 1000));
    }

    // The real windows: the help window over a main window in the screen's corner, and again
    // after the user left it half off the screen.
    void helpWindowLiesOnTheMainWindowsScreen() {
        COrvexDlg window;
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        window.settings.general.windowRect =
            WindowRect{available.right() - 300, available.bottom() - 200, available.right() + 1,
                       available.bottom() + 1};
        PassPortDialog(answerer, window);
        const auto inside = [&](const QWidget* w) {
            return available.contains(w->frameGeometry());
        };
        window.OnHelp();
        CHelpWindow* help = window.findChild<CHelpWindow*>();
        QVERIFY(QTest::qWaitForWindowExposed(help));
        QVERIFY2(inside(help), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                              .arg(help->frameGeometry().x())
                                              .arg(help->frameGeometry().y())
                                              .arg(help->frameGeometry().width())
                                              .arg(help->frameGeometry().height())));
        help->close();
        help->move(available.right() - 100, available.bottom() - 100);
        window.OnHelp();
        QVERIFY(QTest::qWaitForWindowExposed(help));
        QVERIFY(inside(help));
        QCOMPARE(help->size(), QSize(640, 560));
    }
};

QTEST_MAIN(ScreenKeeperTest)
#include "ScreenKeeperTest.moc"
