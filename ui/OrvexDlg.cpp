#include "ui/OrvexDlg.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QResizeEvent>
#include <QStyle>
#include <QWindow>
#include <cmath>

#include "link/PortDiagnosis.h"
#include "publish/AlarmService.h"
#include "publish/MqttPublisher.h"
#include "text/ReadingText.h"
#include "ui/MainLayout.h"
#include "ui/ScreenKeeper.h"
#include "ui/StatusLine.h"
#include "ui/dialogs/AppIcon.h"
#include "ui/dialogs/ComDlg.h"
#include "ui/trend/TrendWnd.h"

namespace {

const QString kTitle = QStringLiteral("orvex");
const QString kNoInput = QStringLiteral("Brak wejścia");
const QString kUnknownValue = QStringLiteral("???");

// Height of the status line: 14 dialog units, a dialog unit being an eighth of the font height.
constexpr int kStatusLineDialogUnits = 14;

}  // namespace

COrvexDlg::COrvexDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("orvexDlg"));
    setWindowTitle(kTitle);
    setWindowIcon(OrvexIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    // A window shrunk to a sliver would be saved so and be as good as lost at the next start.
    setMinimumSize(WindowRect::kMinWidth, WindowRect::kMinHeight);
    recordingCore.SetEventSink([this](const RecordingEvent& event) { OnRecordingEvent(event); });

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

    const struct {
        QTimer& timer;
        TimerRole role;
        int periodMs;
        bool singleShot;
        const char* name;
    } timers[] = {
        {informationTimer, TimerRole::Information, kInformationDelayMs, true, "informationTimer"},
        {startupTimer, TimerRole::Startup, kStartupDelayMs, true, "startupTimer"},
        {refreshTimer, TimerRole::Refresh, kRefreshPeriodMs, false, "refreshTimer"},
        {portRetryTimer, TimerRole::PortRetry, kPortRetryPeriodMs, false, "portRetryTimer"},
        {recordingTimer, TimerRole::Recording, 1000, false, "recordingTimer"},
    };
    for (const auto& t : timers) {
        t.timer.setObjectName(QString::fromLatin1(t.name));
        t.timer.setInterval(t.periodMs);
        t.timer.setSingleShot(t.singleShot);
        const TimerRole role = t.role;
        connect(&t.timer, &QTimer::timeout, this, [this, role] { OnTimer(role); });
    }

    portWaitTimer.setObjectName(QStringLiteral("portWaitTimer"));
    portWaitTimer.setInterval(kPortWaitPeriodMs);
    connect(&portWaitTimer, &QTimer::timeout, this, [this] { RetryConfiguredPort(); });

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
    StopMqttPublishing();
}

void COrvexDlg::CreateMenus() {
    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setNativeMenuBar(false);

    auto add = [](QMenu* menu, const QString& text, const char* name, bool enabled) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setEnabled(enabled);
        return action;
    };

    QMenu* program = menuBar->addMenu(QStringLiteral("&Program"));
    connect(add(program, QStringLiteral("&Otwórz zapis..."), "actionOpenRecording", true),
            &QAction::triggered, this, [this] { OnOpenRecording(); });
    connect(add(program, QStringLiteral("&Zamknij"), "actionClose", true), &QAction::triggered,
            this, &QDialog::accept);

    QMenu* alarms = menuBar->addMenu(QStringLiteral("&Alarmy"));
    connect(add(alarms, QStringLiteral("&Ustawienia alarmów"), "actionAlarms", true),
            &QAction::triggered, this, [this] { OnAlarms(); });

    QMenu* view = menuBar->addMenu(QStringLiteral("&Widok"));
    connect(add(view, QStringLiteral("&Kolory"), "actionColours", true), &QAction::triggered, this,
            [this] { OnColours(); });
    connect(add(view, QStringLiteral("&Czcionki"), "actionFonts", true), &QAction::triggered, this,
            [this] { OnFonts(); });
    alwaysOnTopAction = add(view, QStringLiteral("&Zawsze na wierzchu"), "actionAlwaysOnTop", true);
    alwaysOnTopAction->setCheckable(true);
    connect(alwaysOnTopAction, &QAction::triggered, this, [this] { OnAlwaysOnTop(); });
    connect(add(view, QStringLiteral("&Wykres..."), "actionTrend", true), &QAction::triggered, this,
            [this] { ShowTrendWindow(); });

    QMenu* settings = menuBar->addMenu(QStringLiteral("&Ustawienia"));
    serialPortAction = add(settings, QStringLiteral("&Port szeregowy"), "actionSerialPort", true);
    connect(serialPortAction, &QAction::triggered, this, [this] { OnSerialPort(); });
    recordingAction =
        add(settings, QStringLiteral("&Rejestracja do pliku"), "actionRecording", true);
    connect(recordingAction, &QAction::triggered, this, [this] { OnFileRecording(); });
    connect(
        add(settings, QStringLiteral("Ustawienia &dodatkowe"), "actionAdditionalSettings", true),
        &QAction::triggered, this, [this] { OnAdditionalSettings(); });
    connect(add(settings, QStringLiteral("Publikowanie &MQTT..."), "actionMqtt", true),
            &QAction::triggered, this, [this] { OnMqttSettings(); });

    QMenu* help = menuBar->addMenu(QStringLiteral("Pomo&c"));
    QAction* helpAction = add(help, QStringLiteral("&Pomoc"), "actionHelp", true);
    helpAction->setShortcut(QKeySequence::HelpContents);
    connect(helpAction, &QAction::triggered, this, [this] { OnHelp(); });
    connect(add(help, QStringLiteral("Program &Zelvio"), "actionInformation", true),
            &QAction::triggered, this, [this] { OnInformation(); });
    connect(add(help, QStringLiteral("&O programie"), "actionAbout", true), &QAction::triggered,
            this, [this] { OnAbout(); });

    // X11 and Wayland give the program no system menu; the about item lives here instead.
    contextMenu = new QMenu(this);
    contextMenu->setObjectName(QStringLiteral("contextMenu"));
    connect(add(contextMenu, QStringLiteral("&O programie..."), "actionAboutContext", true),
            &QAction::triggered, this, [this] { OnAbout(); });
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
        for (QTimer* timer : {&informationTimer, &startupTimer, &refreshTimer, &portRetryTimer,
                              &recordingTimer, &portWaitTimer}) {
            timer->stop();
        }
    }
    if (visible) {
        FitFrameOnce();
    }
}

void COrvexDlg::FitFrameOnce() {
    // The frame's size is known only once the window manager has framed the window (on X11
    // some time after the first show). Place the outer rectangle once more then, so that a
    // saved rectangle does not grow by a frame on every run.
    if (frameFixed || !isVisible() || CurrentSizeType() != SizeType::Restored) {
        return;
    }
    const QWindow* window = windowHandle();
    if (window == nullptr || window->frameMargins().isNull()) {
        return;
    }
    frameFixed = true;
    const QRect frame = frameGeometry();
    if (frame.size() != QSize(placedRect.Width(), placedRect.Height()) ||
        frame.topLeft() != QPoint(placedRect.left, placedRect.top)) {
        windowRect = placedRect;
        ApplyWindowRect();
    }
}

void COrvexDlg::Initialise() {
    binaryInputText = QStringLiteral("Wejście binarne");
    binaryOnText = QStringLiteral("1 - włączone");
    binaryOffText = QStringLiteral("0 - wyłączone");

    // The window is not visible yet, so the serial-port command only arms its retry timer.
    if (portNumber > 0) {
        linkStarted = driver.Start(portNumber, baudRate, deviceAddress, parity);
        if (!linkStarted) {
            driver.Stop();
            ShowPortError(portNumber);
            OnSerialPort();
        }
    } else {
        OnSerialPort();
    }

    const int fontHeight = QFontMetrics(font()).height();
    statusHeight = static_cast<int>(std::lround(kStatusLineDialogUnits * fontHeight / 8.0));

    for (CColorStatic& control : valueControls) {
        control.CreateValueFont();
    }

    layoutBlocked = false;
    ApplyWindowRect();

    RefreshDisplay();

    alwaysOnTop = !alwaysOnTop;
    OnAlwaysOnTop();

    ApplyMqttPublishing();

    startupTimer.start();
    refreshTimer.start();
    if (showInfoAtStart) {
        informationTimer.start();
    }
}

void COrvexDlg::ApplyWindowRect() {
    const WindowRect rect = windowRect;
    placedRect = rect;
    // The rectangle is the outer one; the widget's size is its client size.
    const QRect frame = frameGeometry();
    const int extraWidth = frame.width() - width();
    const int extraHeight = frame.height() - height();
    move(rect.left, rect.top);
    resize(rect.Width() - extraWidth, rect.Height() - extraHeight);
    // A hidden widget gets its resize event only when shown; lay out now all the same.
    PlaceClientArea();
    OnSize(CurrentSizeType(), clientArea->width(), clientArea->height());
}

void COrvexDlg::RefreshDisplay() {
    const bool responding = driver.IsDeviceResponding();
    if (responding != deviceResponding) {
        deviceResponding = responding;
        if (maximized) {
            OnSize(SizeType::Maximized, maximizedWidth, maximizedHeight);
        } else {
            OnSize(SizeType::Restored, restoredWidth, restoredHeight);
        }
    }

    UpdateStatusLine();

    if (!deviceResponding) {
        for (CColorStatic& control : valueControls) {
            control.SetBlinking(true);
            control.SetValueText(kUnknownValue);
            control.SetCaption(kNoInput);
        }
        return;
    }

    for (int i = 0; i < 8; ++i) {
        CColorStatic& control = valueControls[i];
        InputReading reading;
        driver.GetReading(static_cast<uint8_t>(i), reading);
        // A reading whose last read did not complete holds old values: shown as unusable.
        if (reading.isBinary && reading.status == 0) {
            control.SetBlinking(false);
            control.SetCaption(binaryInputText);
            control.SetValueText(reading.binaryState ? binaryOnText : binaryOffText);
        } else if (reading.status != 0 || reading.model == ModelNone) {
            control.SetBlinking(true);
            control.SetValueText(kUnknownValue);
            control.SetCaption(kNoInput);
        } else {
            control.SetBlinking(false);
            const ReadingText text = FormatReading(reading);
            control.SetValueText(QString::fromStdString(text.value));
            control.SetCaption(QString::fromStdString(ReadingCaption(text)));
        }
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
    QString text = DeviceStatusText(deviceResponding, info);
    if (recordingTimer.isActive()) {
        text += RecordingStatusText(EffectiveRecordingInterval());
    }
    text += RecordingFailureText();
    if (portWaitTimer.isActive()) {
        text += PortWaitStatusText(portNumber);
    }
    if (publisher) {
        const MqttPublisher::Stats stats = publisher->GetStats();
        text += MqttStatusText(stats.connected, stats.queued,
                               QString::fromStdString(MqttRefusalShortText(stats.lastFailure))) +
                QStringLiteral(". ");
    }
    if (text != lastStatusText) {
        lastStatusText = text;
        ShowStatusText(statusLine, text);
        valueControls[0].setFocus();
    }
}

void COrvexDlg::OnTimer(TimerRole role) {
    switch (role) {
        case TimerRole::Information:
            informationTimer.stop();
            ShowInformationAtStart();
            break;
        case TimerRole::Startup:
            startupTimer.stop();
            OpenRecordingFilesAtStartup();
            break;
        case TimerRole::Refresh:
            RefreshDisplay();
            break;
        case TimerRole::PortRetry:
            if (!infoDialogOpen) {
                portRetryTimer.stop();
                OnSerialPort();
            }
            break;
        case TimerRole::Recording:
            // One snapshot for both files, so that they agree on what the tick saw.
            if (recordingCore.AnyOpen()) {
                Recording().Tick(CurrentSnapshot());
            }
            break;
    }
}

int COrvexDlg::LayoutMargin() const {
    return ClampLayoutMargin(style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this));
}

const QTimer& COrvexDlg::Timer(TimerRole role) const {
    switch (role) {
        case TimerRole::Information:
            return informationTimer;
        case TimerRole::Startup:
            return startupTimer;
        case TimerRole::Refresh:
            return refreshTimer;
        case TimerRole::PortRetry:
            return portRetryTimer;
        case TimerRole::Recording:
            break;
    }
    return recordingTimer;
}

COrvexDlg::SizeType COrvexDlg::CurrentSizeType() const {
    const Qt::WindowStates state = windowState();
    if (state & Qt::WindowMinimized) {
        return SizeType::Minimized;
    }
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        return SizeType::Maximized;
    }
    return SizeType::Restored;
}

WindowRect COrvexDlg::OuterRect() const {
    const QRect frame = frameGeometry();
    return WindowRect{frame.left(), frame.top(), frame.left() + frame.width(),
                      frame.top() + frame.height()};
}

void COrvexDlg::OnSize(SizeType type, int cx, int cy) {
    switch (type) {
        case SizeType::Restored:
            restoredWidth = cx;
            restoredHeight = cy;
            // A restore from the maximised state must not leave the maximised size in force
            // for the next re-layout.
            maximized = false;
            break;
        case SizeType::Maximized:
            maximized = true;
            maximizedWidth = cx;
            maximizedHeight = cy;
            break;
        case SizeType::Minimized:
            maximized = false;
            break;
    }
    if (layoutBlocked) {
        return;
    }
    // Only a window really in the normal state has a rectangle worth keeping (a re-layout
    // while minimised or maximised must not replace it).
    if (type == SizeType::Restored && CurrentSizeType() == SizeType::Restored) {
        windowRect = OuterRect();
        // Qt reports a geometry change as a resize followed by a move (a restore from the
        // maximised state moves the window as well): the move of the same change counts too.
        if (!moveFollowsResize) {
            moveFollowsResize = true;
            QMetaObject::invokeMethod(
                this, [this] { moveFollowsResize = false; }, Qt::QueuedConnection);
        }
    }
    if (type == SizeType::Minimized) {
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

void COrvexDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    PlaceClientArea();
    OnSize(CurrentSizeType(), clientArea->width(), clientArea->height());
    FitFrameOnce();
}

void COrvexDlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    if (moveFollowsResize && CurrentSizeType() == SizeType::Restored) {
        windowRect = OuterRect();
    }
    FitFrameOnce();
}

void COrvexDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        // Minimising, or restoring to an unchanged size, brings no resize event.
        PlaceClientArea();
        OnSize(CurrentSizeType(), clientArea->width(), clientArea->height());
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
    ApplyStaysOnTop(!alwaysOnTop);
    alwaysOnTop = !alwaysOnTop;
    alwaysOnTopAction->setChecked(alwaysOnTop);
}

void COrvexDlg::ShowPortError(int port) {
    QMessageBox box(QMessageBox::Warning, kTitle,
                    QString::asprintf("Nie można otworzyć portu COM%d", port), QMessageBox::Ok,
                    this);
    box.setObjectName(QStringLiteral("portErrorBox"));
    // Without the open's errno (the thread could not start, say) the device is examined.
    const std::string reason = DescribeOpenFailure(port, driver.LastOpenError());
    if (!reason.empty()) {
        box.setInformativeText(QString::fromStdString(reason));
    }
    box.exec();
}

bool COrvexDlg::StartLink(int port, int baud, char parityLetter) {
    driver.Stop();
    linkStarted = driver.Start(port, baud, deviceAddress, parityLetter);
    if (!linkStarted) {
        driver.Stop();
    }
    return linkStarted;
}

void COrvexDlg::OnSerialPort() {
    if (!isVisible()) {
        portRetryTimer.start();
        return;
    }
    portWaitTimer.stop();
    RunPortDialog();
    // A configured port that did not open (an adapter not plugged in yet, or busy) is tried
    // again in the background, as an unattended monitor needs.
    if (portNumber > 0 && !linkStarted) {
        portWaitTimer.start();
    }
    UpdateStatusLine();
}

void COrvexDlg::RetryConfiguredPort() {
    if (StartLink(portNumber, baudRate, parity)) {
        portWaitTimer.stop();
        UpdateStatusLine();
    }
}

void COrvexDlg::RunPortDialog() {
    // A port that fails to open brings the dialog back until one opens or the user cancels.
    for (;;) {
        CComDlg dialog(this);
        // 0 or less: no port chosen.
        if (portNumber > 0) {
            dialog.SetCurrent(portNumber, baudRate, parity);
        }
        dialog.SetAddress(deviceAddress);
        if (dialog.exec() != QDialog::Accepted) {
            return;
        }
        update();
        deviceAddress = dialog.GetAddress();
        driver.SetAddress(deviceAddress);

        // A link whose start failed (the stored port at start) is started again even when the
        // user confirms the same settings, say once the port has been freed or plugged in.
        const bool changed = !linkStarted || dialog.portNumber != portNumber ||
                             dialog.baud != baudRate || dialog.parity != parity;
        if (!changed || dialog.portNumber <= 0) {
            return;
        }
        // Stop and Start block until the polling thread has finished its cycle.
        if (StartLink(dialog.portNumber, dialog.baud, dialog.parity)) {
            portNumber = dialog.portNumber;
            baudRate = dialog.baud;
            parity = dialog.parity;
            return;
        }
        portNumber = 0;
        ShowPortError(dialog.portNumber);
    }
}
