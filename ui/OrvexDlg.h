#pragma once
#include <QDialog>
#include <QLineEdit>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "device/OrvexDriver.h"
#include "ui/ColorStatic.h"

class QAction;
class QMenu;
class QMenuBar;

// Outer window rectangle in screen coordinates; right and bottom are exclusive edges.
struct WindowRect {
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

    // ---- Operations ----
    void RefreshDisplay();
    void UpdateStatusLine();
    void OnTimer(TimerRole role);
    // Records the new client size and lays the controls out (after initialisation).
    void OnSize(SizeType type, int cx, int cy);
    void OnAlwaysOnTop();
    // The "Port szeregowy" command: the port settings dialog and the restart of the link.
    void OnSerialPort();
    // Opens the recording files named in the settings; filled in by the recording feature.
    void OpenRecordingFilesAtStartup();

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
    bool InfoDialogOpen() const { return infoDialogOpen; }

    void setVisible(bool visible) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
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

    QString binaryInputText;
    QString binaryOnText;
    QString binaryOffText;
    COrvexDriver driver;
    bool infoDialogOpen = false;
    int maximizedHeight = 0;
    int maximizedWidth = 0;
    bool maximized = false;
    QString lastStatusText;
    bool deviceResponding = false;
    QTimer recordingTimer;
    QTimer refreshTimer;
    QTimer startupTimer;
    QTimer portRetryTimer;
    QTimer informationTimer;
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
    QAction* alwaysOnTopAction = nullptr;
    QAction* serialPortAction = nullptr;
    // Owned by the dialog (a heap child) so that it outlives the member controls inside it.
    QWidget* clientArea = nullptr;
    QLineEdit statusLine;
};
