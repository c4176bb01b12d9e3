#pragma once
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "device/OrvexDriver.h"
#include "publish/MqttSettings.h"
#include "recording/RecordingCore.h"
#include "ui/ColorStatic.h"
#include "ui/trend/TrendLive.h"
#include "ui/trend/TrendSettings.h"

class QAction;
class QMenu;
class QMenuBar;
class QMessageBox;
class CHelpWindow;
class AlarmService;
class MqttPublisher;
struct MqttEvent;
class CTrendWnd;

// Outer window rectangle in screen coordinates; right and bottom are exclusive edges.
struct WindowRect {
    // Smallest window that still shows its menu and can be grabbed and resized.
    static constexpr int kMinWidth = 240;
    static constexpr int kMinHeight = 160;

    int left = 100;
    int top = 100;
    int right = 700;
    int bottom = 500;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const WindowRect&) const = default;
};

// The program's only top-level window: a status line and one value control per input of the
// concentrator, refreshed from the device driver every five seconds. The application object
// fills the public settings before the window is shown and reads them back after it closes;
// the window itself never touches the settings file.
class COrvexDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kRefreshPeriodMs = 5000;
    static constexpr int kStartupDelayMs = 10000;
    static constexpr int kInformationDelayMs = 100;
    static constexpr int kPortRetryPeriodMs = 500;
    static constexpr int kPortWaitPeriodMs = 1000;

    // How the client area last changed size.
    enum class SizeType { Restored, Minimized, Maximized };
    // The window's timers, in the order the timer handler checks them.
    enum class TimerRole { Information, Startup, Refresh, PortRetry, Recording };

    explicit COrvexDlg(QWidget* parent = nullptr);
    ~COrvexDlg() override;

    // ---- Settings, filled by the application object before the window is shown ----
    CColorStatic valueControls[8];  // index 0 = input 1
    int portNumber = 0;             // 0: no port chosen
    int baudRate = 9600;
    char parity = 'E';
    WindowRect windowRect;
    bool alwaysOnTop = false;
    bool showInfoAtStart = false;
    QString textFilePath;
    QString binaryFilePath;
    bool textRecordingOn = false;
    bool binaryRecordingOn = false;
    int separatorCode = 0;      // 0 tab, 1 comma, 2 semicolon
    int recordingInterval = 1;  // seconds
    int writeComment = 0;
    int recordInput[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    // Not persisted: every run starts with address 1; the serial-port dialog changes it.
    int deviceAddress = 1;
    QString commentText;
    MqttSettings mqttSettings;
    // Where orvex.ini lives: the publishing queue goes beside it.
    std::filesystem::path settingsFolder;
    // Where records that a failing recording file still holds when it is closed are kept
    // (empty: nowhere, they are given up).
    std::filesystem::path rescueFolder;
    TrendSettings trendSettings;  // the trend window's own section

    // ---- Operations ----
    void RefreshDisplay();
    void UpdateStatusLine();
    void OnTimer(TimerRole role);
    // Records the new client size and lays the controls out (after initialisation).
    void OnSize(SizeType type, int cx, int cy);
    void OnAlwaysOnTop();
    // The "Port szeregowy" command: the port settings dialog and the restart of the link.
    void OnSerialPort();
    // ---- Dialog commands (OrvexDlgCommands.cpp) ----
    // "Ustawienia alarmów": reads the device's alarms, shows them, writes the choice on OK.
    void OnAlarms();
    // "Kolory" and "Czcionki": choices apply at once; anything but OK restores all eight.
    void OnColours();
    void OnFonts();
    void OnAdditionalSettings();
    // "Publikowanie MQTT...": the settings dialog, then publishing restarted with them.
    void OnMqttSettings();
    // Starts, restarts or stops publishing to match mqttSettings.
    void ApplyMqttPublishing();
    // Stops the alarm service and the publisher, in that order, and unhooks them.
    void StopMqttPublishing();
    // On the window's thread: the status line, and a refusal (login, certificate, files) told
    // once in a message that does not hold the window.
    void OnMqttEvent(const MqttEvent& event);
    const MqttPublisher* Publisher() const { return publisher.get(); }
    // "Pomoc" and F1: the user guide beside the window.
    void OnHelp();
    void OnInformation();
    void OnAbout();
    // The information timer's dialog.
    void ShowInformationAtStart();
    CHelpWindow* HelpWindow() const { return helpWindow; }
    // ---- Recording ----
    // The start-up step: opens the recording files named in the settings for appending.
    void OpenRecordingFilesAtStartup();
    // The "Rejestracja do pliku" command: the recording dialog, then the files and the timer.
    void OnFileRecording();
    // One record to each open file; nothing when the file is not open.
    void WriteTextRecord();
    void WriteBinaryRecord();
    // The recording period the timer uses: the stored one, held to 1 s .. 23:59:59.
    int EffectiveRecordingInterval() const;
    // At the end of the run: closes the recording files; records that could not be written go
    // to a rescue file in rescueFolder. Gives the texts that tell the user where they went (or
    // how many were lost).
    QStringList CloseRecording(const std::filesystem::path& rescueFolder);

    // ---- Read access for tests and for later features ----
    COrvexDriver& Driver() { return driver; }
    QLineEdit& StatusLine() { return statusLine; }
    QWidget* ClientArea() const { return clientArea; }
    QMenuBar* MenuBar() const { return menuBar; }
    QAction* AlwaysOnTopAction() const { return alwaysOnTopAction; }
    QAction* SerialPortAction() const { return serialPortAction; }
    QMenu* ContextMenu() const { return contextMenu; }
    const QString& LastStatusText() const { return lastStatusText; }
    bool DeviceResponding() const { return deviceResponding; }
    bool Initialised() const { return initialised; }
    int StatusHeight() const { return statusHeight; }
    int LayoutMargin() const;
    const QTimer& Timer(TimerRole role) const;
    bool IsRecording() const { return recordingTimer.isActive(); }
    QAction* RecordingAction() const { return recordingAction; }
    const CRecordingFile* TextFile() const { return recordingCore.File(RecordingFileKind::Text); }
    const CRecordingFile* BinaryFile() const {
        return recordingCore.File(RecordingFileKind::Binary);
    }
    bool InfoDialogOpen() const { return infoDialogOpen; }
    bool WaitingForPort() const { return portWaitTimer.isActive(); }

    void setVisible(bool visible) override;

    // The trend window (ui/OrvexDlgTrend.cpp): shown, created on first use.
    CTrendWnd* ShowTrendWindow();
    // Opens a recording in the trend window.
    void ViewRecording(const QString& path);
    // "Program → Otwórz zapis...": the file chooser, then ViewRecording.
    void OnOpenRecording();
    const CTrendLive& TrendSamples() const { return trendLive; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // After a blocking device call: lets a queued close act; true when the window has closed.
    bool ClosedWhileBusy();
    void Initialise();
    void CreateMenus();
    void PlaceClientArea();
    SizeType CurrentSizeType() const;
    WindowRect OuterRect() const;
    void ApplyWindowRect();
    void FitFrameOnce();
    void ApplyStaysOnTop(bool on);
    // Starts the link on the given settings; false (after stopping the driver again) when the
    // port cannot be opened.
    bool StartLink(int port, int baud, char parityLetter);
    void ShowPortError(int port);
    // The port settings dialog until a port opens or the user gives up.
    void RunPortDialog();
    // One background attempt to open the configured port that failed to open.
    void RetryConfiguredPort();

    // Recording steps (ui/OrvexDlgRecording.cpp).
    enum class DialogRun { Done, Again };
    // The recording dialog's values.
    struct RecordingChoice {
        int textRecording = 0;
        int binaryRecording = 0;
        QString textFileName;
        QString binaryFileName;
        int interval = 1;
        int separator = 0;
        int inputFlags[8] = {};
        int addComment = 0;
        QString comment;
    };
    RecordingChoice CurrentRecordingChoice() const;
    bool RecordingClosed() const;
    // The recording command; binaryUntried keeps a binary recording whose file the start-up
    // step has not tried yet when the dialog is cancelled.
    void RecordingCommand(bool binaryUntried);
    // One run of the recording dialog and the steps after OK; Again after a failed opening, or
    // after a refused comment (refused then holds the dialog's values, none of them applied).
    DialogRun RunRecordingDialog(bool binaryUntried, std::optional<RecordingChoice>& refused);
    // Opens the recording file named in the settings; asks whether to append when the file
    // exists (from the command), or appends without asking (at start-up). Shows the file's
    // message on failure.
    bool OpenRecordingFile(RecordingFileKind kind, bool ask, bool* appended);
    void RestartRecordingTimer();
    RecordingSettings CurrentRecordingSettings() const;
    // The recording core with the window's current recording settings.
    CRecordingCore& Recording();
    RecordingSnapshot CurrentSnapshot();
    // Tells the user once per failure spell; keeps the status line up to date.
    void OnRecordingEvent(const RecordingEvent& event);
    // The one non-modal message of a kind, created or updated to name every file concerned.
    void ShowRecordingNotice(QPointer<QMessageBox>& box, const char* name, const QString& text,
                             const QString& details);
    QString WriteFailureText() const;
    QString MediumAwayText() const;
    QString RecordingFailureText() const;
    static QString RescueText(const std::string& path, std::size_t held,
                              const std::string& rescuePath, int error,
                              const std::filesystem::path& folder);

    QString binaryInputText;
    QString binaryOnText;
    QString binaryOffText;
    COrvexDriver driver;
    CTrendLive trendLive;  // after the driver: stops listening before the driver goes
    QPointer<CTrendWnd> trendWindow;
    bool infoDialogOpen = false;
    int maximizedHeight = 0;
    int maximizedWidth = 0;
    bool maximized = false;
    QString lastStatusText;
    bool deviceResponding = false;
    int displayListener = -1;
    // Responding bit and one bit per failed input of the last cycle heard (polling thread).
    std::atomic<unsigned> lastCycleState{0};
    QTimer recordingTimer;
    QTimer refreshTimer;
    QTimer startupTimer;
    QTimer portRetryTimer;
    QTimer informationTimer;
    QTimer portWaitTimer;  // retries the configured port while it cannot be opened
    CRecordingCore recordingCore;
    // Declared after the driver: stopped and unhooked from it before the driver goes.
    std::unique_ptr<MqttPublisher> publisher;
    std::unique_ptr<AlarmService> alarmService;  // the publisher's alarm reads and commands
    int publisherListener = -1;
    QPointer<QMessageBox> writeFailureBox;  // the one message of a failure spell, while shown
    QPointer<QMessageBox> mediumAwayBox;    // the one message of a medium gone, while shown
    QPointer<QMessageBox> mqttRefusedBox;   // the broker's refusal, while shown
    bool closingRecording = false;          // CloseRecording runs: its caller tells the user
    bool layoutBlocked = true;
    int statusHeight = 0;
    int restoredHeight = 0;
    int restoredWidth = 0;
    bool initialised = false;
    bool linkStarted = false;  // the last start of the link succeeded
    bool frameFixed = false;
    bool moveFollowsResize = false;  // a resize in the normal state was just reported
    WindowRect placedRect;           // the rectangle given at initialisation

    QMenuBar* menuBar = nullptr;
    QMenu* contextMenu = nullptr;
    CHelpWindow* helpWindow = nullptr;  // created on first use, a child window
    QAction* alwaysOnTopAction = nullptr;
    QAction* serialPortAction = nullptr;
    QAction* recordingAction = nullptr;
    // Owned by the dialog (a heap child) so that it outlives the member controls inside it.
    QWidget* clientArea = nullptr;
    QLineEdit statusLine;
};
