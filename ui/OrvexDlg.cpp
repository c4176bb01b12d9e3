#include "ui/OrvexDlg.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>
#include <QStyle>
#include <QWindow>
#include <cmath>

#include "ui/MainLayout.h"
#include "ui/ScreenKeeper.h"
#include "ui/StatusLine.h"
#include "ui/ValueDisplay.h"
#include "ui/dialogs/AppIcon.h"
#include "ui/trend/TrendWnd.h"

namespace {

// Height of the status line: 14 dialog units, a dialog unit being an eighth of the font height.
constexpr int kStatusLineDialogUnits = 14;

void SetUp(QTimer& timer, const char* name, int periodMs, bool singleShot) {
    timer.setObjectName(QString::fromLatin1(name));
    timer.setInterval(periodMs);
    timer.setSingleShot(singleShot);
}

}  // namespace

COrvexDlg::COrvexDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("orvexDlg"));
    setWindowTitle(QStringLiteral("orvex"));
    setWindowIcon(OrvexIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    // A window shrunk to a sliver would be saved so and be as good as lost at the next start.
    setMinimumSize(WindowRect::kMinWidth, WindowRect::kMinHeight);
    // Without a settings file: the window's own values, not the file's defaults.
    settings.general.baudRate = 9600;
    settings.general.windowRect = WindowRect{};
    settings.general.showInfoAtStart = false;
    settings.log.interval = 1;

    clientArea = new QWidget(this);
    clientArea->setObjectName(QStringLiteral("clientArea"));
    statusLine.setParent(clientArea);
    statusLine.setObjectName(QStringLiteral("statusLine"));
    statusLine.setReadOnly(true);
    statusLine.setFrame(true);
    for (int i = 0; i < 8; ++i) {
        CColorStatic& control = valueControls[i];
        control.setParent(clientArea);
        control.setObjectName(QStringLiteral("valueControl%1").arg(i));
        control.SetBackgroundColour(Rgb(202 + 5 * i, 228 + 2 * i, 255));
        control.SetTextColour(Rgb(5 * i, 64 + 5 * i, 128));
    }

    SetUp(informationTimer, "informationTimer", kInformationDelayMs, true);
    connect(&informationTimer, &QTimer::timeout, this, [this] { ShowInformationAtStart(); });
    SetUp(startupTimer, "startupTimer", kStartupDelayMs, true);
    connect(&startupTimer, &QTimer::timeout, this, [this] { OpenRecordingFilesAtStartup(); });
    SetUp(refreshTimer, "refreshTimer", kRefreshPeriodMs, false);
    connect(&refreshTimer, &QTimer::timeout, this, [this] { RefreshDisplay(); });
    recording.onStatusChanged = [this] { UpdateStatusLine(); };
    link.onStatusChanged = [this] { UpdateStatusLine(); };
    publishing.onStatusChanged = [this] { UpdateStatusLine(); };

    CreateMenus();
    new CScreenKeeper(this);
    // Samples for the trend window from the start, whether it is open or not.
    trendLive.Attach(driver);
    // The display follows a device falling silent, a port hanging up or an input failing at
    // once, not at the next refresh: nothing unmeasured stays on the screen for seconds.
    displayListener = driver.AddCycleListener([this](const PollingCycle& cycle) {
        unsigned state = cycle.responding ? 1u : 0u;
        for (int i = 0; i < 8 && cycle.responding; ++i) {
            state |= (cycle.readings[i].status != 0 ? 2u : 0u) << i;
        }
        if (state != lastCycleState.exchange(state)) {
            QMetaObject::invokeMethod(
                this, [this] { RefreshDisplay(); }, Qt::QueuedConnection);
        }
    });
}

COrvexDlg::~COrvexDlg() {
    driver.RemoveCycleListener(displayListener);
    // The trend window refers to the live samples and settings, which go before the children.
    delete trendWindow.data();
    publishing.Stop();
}

void COrvexDlg::CreateMenus() {
    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setNativeMenuBar(false);
    auto add = [this](QMenu* menu, const QString& text, const char* name, auto slot) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, slot);
        return action;
    };

    QMenu* program = menuBar->addMenu(QStringLiteral("&Program"));
    add(program, QStringLiteral("&Otwórz zapis..."), "actionOpenRecording",
        [this] { OnOpenRecording(); });
    add(program, QStringLiteral("&Zamknij"), "actionClose", [this] { accept(); });
    QMenu* alarms = menuBar->addMenu(QStringLiteral("&Alarmy"));
    add(alarms, QStringLiteral("&Ustawienia alarmów"), "actionAlarms", [this] { OnAlarms(); });
    QMenu* view = menuBar->addMenu(QStringLiteral("&Widok"));
    add(view, QStringLiteral("&Kolory"), "actionColours", [this] { OnColours(); });
    add(view, QStringLiteral("&Czcionki"), "actionFonts", [this] { OnFonts(); });
    alwaysOnTopAction = add(view, QStringLiteral("&Zawsze na wierzchu"), "actionAlwaysOnTop",
                            [this] { OnAlwaysOnTop(); });
    alwaysOnTopAction->setCheckable(true);
    add(view, QStringLiteral("&Wykres..."), "actionTrend", [this] { ShowTrendWindow(); });
    QMenu* menu = menuBar->addMenu(QStringLiteral("&Ustawienia"));
    add(menu, QStringLiteral("&Port szeregowy"), "actionSerialPort", [this] { OnSerialPort(); });
    add(menu, QStringLiteral("&Rejestracja do pliku"), "actionRecording",
        [this] { OnFileRecording(); });
    add(menu, QStringLiteral("Ustawienia &dodatkowe"), "actionAdditionalSettings",
        [this] { OnAdditionalSettings(); });
    add(menu, QStringLiteral("Publikowanie &MQTT..."), "actionMqtt", [this] { OnMqttSettings(); });
    QMenu* help = menuBar->addMenu(QStringLiteral("Pomo&c"));
    add(help, QStringLiteral("&Pomoc"), "actionHelp", [this] {
        OnHelp();
    })->setShortcut(QKeySequence::HelpContents);
    add(help, QStringLiteral("Program &Zelvio"), "actionInformation", [this] { OnInformation(); });
    add(help, QStringLiteral("&O programie"), "actionAbout", [this] { OnAbout(); });

    // X11 and Wayland give the program no system menu; the about item lives here instead.
    contextMenu = new QMenu(this);
    contextMenu->setObjectName(QStringLiteral("contextMenu"));
    add(contextMenu, QStringLiteral("&O programie..."), "actionAboutContext",
        [this] { OnAbout(); });
}

void COrvexDlg::setVisible(bool visible) {
    if (visible && !initialised) {
        initialised = true;
        Initialise();
    }
    QDialog::setVisible(visible);
    if (!visible && initialised) {
        // The end of the modal run ends the window's timers, as the destruction of the window
        // would; the blink timers of the value controls stop with their owner.
        for (QTimer* timer : {&informationTimer, &startupTimer, &refreshTimer}) {
            timer->stop();
        }
        link.StopTimers();
        recording.StopTimer();
    }
    if (visible && geometry.FitFrameOnce()) {
        LayOut();
    }
}

void COrvexDlg::Initialise() {
    link.Start();
    statusHeight =
        static_cast<int>(std::lround(kStatusLineDialogUnits * QFontMetrics(font()).height() / 8.0));
    for (CColorStatic& control : valueControls) {
        control.CreateValueFont();
    }
    layoutBlocked = false;
    geometry.Place();
    // A hidden widget gets its resize event only when shown; lay out now all the same.
    LayOut();
    RefreshDisplay();
    settings.general.alwaysOnTop = !settings.general.alwaysOnTop;
    OnAlwaysOnTop();
    ApplyMqttPublishing();
    startupTimer.start();
    refreshTimer.start();
    if (settings.general.showInfoAtStart) {
        informationTimer.start();
    }
}

void COrvexDlg::RefreshDisplay() {
    const bool responding = driver.IsDeviceResponding();
    if (responding != deviceResponding) {
        deviceResponding = responding;
        const QSize client = geometry.LastClientSize();
        OnSize(geometry.Maximized() ? SizeType::Maximized : SizeType::Restored, client.width(),
               client.height());
    }
    UpdateStatusLine();
    for (int i = 0; i < 8; ++i) {
        if (!deviceResponding) {
            ShowNoReading(valueControls[i]);
            continue;
        }
        InputReading reading;
        driver.GetReading(static_cast<uint8_t>(i), reading);
        ShowReading(valueControls[i], reading);
    }
}

void COrvexDlg::UpdateStatusLine() {
    if (!initialised) {
        return;
    }
    DeviceInfo info;
    if (deviceResponding) {
        driver.GetDeviceInfo(info);
    }
    const QString text = DeviceStatusText(deviceResponding, info) + recording.StatusText() +
                         link.StatusText() + publishing.StatusText();
    if (text != lastStatusText) {
        lastStatusText = text;
        ShowStatusText(statusLine, text);
        valueControls[0].setFocus();
    }
}

void COrvexDlg::OpenRecordingFilesAtStartup() {
    startupTimer.stop();
    recording.OpenAtStartup();
}

QStringList COrvexDlg::CloseRecording(const std::filesystem::path& folder) {
    return recording.Close(folder);
}

int COrvexDlg::LayoutMargin() const {
    return ClampLayoutMargin(style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this));
}

void COrvexDlg::OnSize(SizeType type, int cx, int cy) {
    geometry.Sized(type, cx, cy, !layoutBlocked);
    if (layoutBlocked || type == SizeType::Minimized) {
        return;
    }
    const MainLayout layout = ComputeMainLayout(cx, cy, LayoutMargin(), statusHeight);
    statusLine.setGeometry(layout.statusLine);
    statusLine.update();
    for (int i = 0; i < 8; ++i) {
        valueControls[i].setGeometry(layout.valueControls[i]);
        valueControls[i].repaint();
    }
}

void COrvexDlg::PlaceClientArea() {
    int menuHeight = menuBar->heightForWidth(width());
    if (menuHeight <= 0) {
        menuHeight = menuBar->sizeHint().height();
    }
    menuBar->setGeometry(0, 0, width(), menuHeight);
    clientArea->setGeometry(0, menuHeight, width(), std::max(0, height() - menuHeight));
}

void COrvexDlg::LayOut() {
    PlaceClientArea();
    OnSize(geometry.CurrentSizeType(), clientArea->width(), clientArea->height());
}

void COrvexDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayOut();
    if (geometry.FitFrameOnce()) {
        LayOut();
    }
}

void COrvexDlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    geometry.Moved();
    if (geometry.FitFrameOnce()) {
        LayOut();
    }
}

void COrvexDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        // Minimising, or restoring to an unchanged size, brings no resize event.
        LayOut();
    }
}

void COrvexDlg::keyPressEvent(QKeyEvent* event) {
    // F10 opens the menu bar, as desktop programs do.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::NoModifier &&
        !menuBar->actions().isEmpty()) {
        menuBar->setActiveAction(menuBar->actions().constFirst());
        return;
    }
    // Escape and Enter would end the run, recording included, by a slip while closing a menu:
    // the window ignores both; the close box and "Zamknij" close it.
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
            event->key() == Qt::Key_Escape) {
            event->accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void COrvexDlg::contextMenuEvent(QContextMenuEvent* event) {
    contextMenu->popup(event->globalPos());
    event->accept();
}

void COrvexDlg::ApplyStaysOnTop(bool on) {
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    if (QWindow* window = windowHandle()) {
        // setWindowFlags would hide the window, and hiding a dialog ends its modal run.
        overrideWindowFlags(flags);
        window->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
}

void COrvexDlg::OnAlwaysOnTop() {
    bool& on = settings.general.alwaysOnTop;
    ApplyStaysOnTop(!on);
    on = !on;
    alwaysOnTopAction->setChecked(on);
}
