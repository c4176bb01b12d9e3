#pragma once
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <filesystem>

#include "device/OrvexDriver.h"
#include "settings/OrvexSettings.h"
#include "ui/ColorStatic.h"
#include "ui/LinkController.h"
#include "ui/PublishingSession.h"
#include "ui/RecordingController.h"
#include "ui/WindowGeometry.h"
#include "ui/trend/TrendLive.h"
#include "ui/trend/TrendSettings.h"

class QAction;
class QMenuBar;
class CHelpWindow;
class CTrendWnd;

// The program's only top-level window: a status line and one value control per input of the
// concentrator, refreshed from the device driver every five seconds. The application object
// fills the settings before the window is shown and reads them back after it closes; the
// window itself never touches the settings file. The link, the recording, publishing and the
// window's rectangle are pieces of their own (Link(), Recording(), Publishing(), Geometry()).
class COrvexDlg : public QDialog {
    Q_OBJECT
public:
    using SizeType = CWindowGeometry::SizeType;
    static constexpr int kRefreshPeriodMs = 5000;
    static constexpr int kStartupDelayMs = 10000;
    static constexpr int kInformationDelayMs = 100;

    explicit COrvexDlg(QWidget* parent = nullptr);
    ~COrvexDlg() override;

    // ---- Settings, filled by the application object before the window is shown ----
    CColorStatic valueControls[8];  // index 0 = input 1; their looks are settings.inputs'
    // Without a settings file the window's own built-in values (a 9600 baud port dialog, a
    // record a second, no information at start); the trend window's section is trendSettings.
    OrvexSettings settings;
    // Where orvex.ini lives: the publishing queue goes beside it.
    std::filesystem::path settingsFolder;
    TrendSettings trendSettings;

    // ---- Operations ----
    void RefreshDisplay();
    void UpdateStatusLine();
    // Records the new client size and lays the controls out (after initialisation).
    void OnSize(SizeType type, int cx, int cy);
    void OnAlwaysOnTop();
    // The "Port szeregowy" command: the port settings dialog and the restart of the link.
    void OnSerialPort() { link.Command(); }
    // ---- Dialog commands (OrvexDlgCommands.cpp) ----
    // "Ustawienia alarmów": reads the device's alarms, shows them, writes the choice on OK.
    void OnAlarms();
    // "Kolory" and "Czcionki": choices apply at once; anything but OK restores all eight.
    void OnColours();
    void OnFonts();
    void OnAdditionalSettings();
    // "Publikowanie MQTT...": the settings dialog, then publishing restarted with them.
    void OnMqttSettings();
    // Starts, restarts or stops publishing to match settings.mqtt.
    void ApplyMqttPublishing();
    // "Pomoc" and F1: the user guide beside the window.
    void OnHelp();
    void OnInformation();
    void OnAbout();
    // The information timer's dialog.
    void ShowInformationAtStart();
    // The start-up step: opens the recording files named in the settings for appending.
    void OpenRecordingFilesAtStartup();
    // The "Rejestracja do pliku" command: the recording dialog, then the files and the timer.
    void OnFileRecording() { recording.Command(); }
    // At the end of the run: closes the recording files (see CRecordingController::Close).
    QStringList CloseRecording(const std::filesystem::path& folder);
    // The trend window (ui/OrvexDlgTrend.cpp): shown, created on first use.
    CTrendWnd* ShowTrendWindow();
    // Opens a recording in the trend window.
    void ViewRecording(const QString& path);
    // "Program → Otwórz zapis...": the file chooser, then ViewRecording.
    void OnOpenRecording();

    // ---- The pieces ----
    COrvexDriver& Driver() { return driver; }
    CLinkController& Link() { return link; }
    CRecordingController& Recording() { return recording; }
    CPublishingSession& Publishing() { return publishing; }
    const CTrendLive& TrendSamples() const { return trendLive; }
    // The display's state: whether the device answered at the last refresh.
    bool DeviceResponding() const { return deviceResponding; }
    bool InfoDialogOpen() const { return infoDialogOpen; }
    int StatusHeight() const { return statusHeight; }
    int LayoutMargin() const;

    void setVisible(bool visible) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // After a blocking device call: lets a queued close act; true when the window has closed.
    bool ClosedWhileBusy();
    // The window's run has ended (its close box, a termination signal) under a message or a
    // dialog: nothing more may be opened or written, nothing switched.
    bool RunEnded() const { return initialised && !isVisible(); }
    void Initialise();
    void CreateMenus();
    void PlaceClientArea();
    void LayOut();
    void ApplyStaysOnTop(bool on);

    COrvexDriver driver;
    CTrendLive trendLive;  // after the driver: stops listening before the driver goes
    QPointer<CTrendWnd> trendWindow;
    bool infoDialogOpen = false;
    QString lastStatusText;
    bool deviceResponding = false;
    int displayListener = -1;
    // Responding bit and one bit per failed input of the last cycle heard (polling thread).
    std::atomic<unsigned> lastCycleState{0};
    CWindowGeometry geometry{*this, settings.general.windowRect};
    CLinkController link{*this, driver, settings.general, [this] { return infoDialogOpen; }};
    CRecordingController recording{*this, driver, settings.log, [this] { return RunEnded(); }};
    // Declared after the driver: stopped and unhooked from it before the driver goes.
    CPublishingSession publishing{*this, driver};
    QTimer refreshTimer{this};
    QTimer startupTimer{this};
    QTimer informationTimer{this};
    bool layoutBlocked = true;
    int statusHeight = 0;
    bool initialised = false;

    QMenuBar* menuBar = nullptr;
    QMenu* contextMenu = nullptr;
    CHelpWindow* helpWindow = nullptr;  // created on first use, a child window
    QAction* alwaysOnTopAction = nullptr;
    // Owned by the dialog (a heap child) so that it outlives the member controls inside it.
    QWidget* clientArea = nullptr;
    QLineEdit statusLine;
};
