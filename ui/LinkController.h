#pragma once
#include <QObject>
#include <QTimer>
#include <functional>

#include "settings/GeneralSettings.h"

class QWidget;
class COrvexDriver;

// The serial link of the main window: the start on the stored port, the serial-port command
// and its dialog, and the retries of a configured port that cannot be opened yet (an adapter not
// plugged in, or busy), as an unattended monitor needs.
class CLinkController : public QObject {
    Q_OBJECT
public:
    static constexpr int kPortRetryPeriodMs = 500;
    static constexpr int kPortWaitPeriodMs = 1000;

    // The port, speed and parity are general's; held says whether a dialog of the window that
    // must come first (the information at start) is open.
    CLinkController(QWidget& window, COrvexDriver& driver, GeneralSettings& general,
                    std::function<bool()> held);

    // Called when the status line's port part may have changed.
    std::function<void()> onStatusChanged;
    // Not persisted: every run starts with address 1; the serial-port dialog changes it.
    int address = 1;

    // At the window's initialisation: starts the link on the stored port, or tells why it
    // cannot and brings the command up once the window shows.
    void Start();
    // "Port szeregowy": the dialog until a port opens or the user gives up; a configured port
    // that did not open is then tried again in the background.
    void Command();
    void StopTimers();

    bool WaitingForPort() const { return waitTimer.isActive(); }
    // The status line's part while the configured port is being waited for.
    QString StatusText() const;

private:
    // Starts the link on the given settings; false (after stopping the driver again) when the
    // port cannot be opened.
    bool StartLink(int port, int baud, char parity);
    void ShowPortError(int port);
    void RunPortDialog();
    void RetryConfiguredPort();

    QWidget& window;
    COrvexDriver& driver;
    GeneralSettings& general;
    std::function<bool()> held;
    bool linkStarted = false;  // the last start of the link succeeded
    QTimer retryTimer;         // brings the command up once the window shows
    QTimer waitTimer;          // retries the configured port while it cannot be opened
};
