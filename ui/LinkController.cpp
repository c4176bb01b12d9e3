#include "ui/LinkController.h"

#include <QMessageBox>
#include <QWidget>

#include "device/OrvexDriver.h"
#include "link/PortDiagnosis.h"
#include "ui/StatusLine.h"
#include "ui/dialogs/ComDlg.h"

CLinkController::CLinkController(QWidget& window, COrvexDriver& driver, GeneralSettings& general,
                                 std::function<bool()> held)
    : QObject(&window), window(window), driver(driver), general(general), held(std::move(held)) {
    setObjectName(QStringLiteral("link"));
    retryTimer.setParent(this);
    retryTimer.setObjectName(QStringLiteral("portRetryTimer"));
    retryTimer.setInterval(kPortRetryPeriodMs);
    connect(&retryTimer, &QTimer::timeout, this, [this] {
        if (!this->held()) {
            retryTimer.stop();
            Command();
        }
    });
    waitTimer.setParent(this);
    waitTimer.setObjectName(QStringLiteral("portWaitTimer"));
    waitTimer.setInterval(kPortWaitPeriodMs);
    connect(&waitTimer, &QTimer::timeout, this, [this] { RetryConfiguredPort(); });
}

void CLinkController::Start() {
    // The window is not visible yet, so the command only arms its retry timer.
    if (general.portNumber > 0) {
        linkStarted = driver.Start(general.portNumber, general.baudRate, address, general.parity);
        if (!linkStarted) {
            driver.Stop();
            ShowPortError(general.portNumber);
            Command();
        }
    } else {
        Command();
    }
}

void CLinkController::StopTimers() {
    retryTimer.stop();
    waitTimer.stop();
}

QString CLinkController::StatusText() const {
    return waitTimer.isActive() ? PortWaitStatusText(general.portNumber) : QString();
}

void CLinkController::ShowPortError(int port) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("orvex"),
                    QString::asprintf("Nie można otworzyć portu COM%d", port), QMessageBox::Ok,
                    &window);
    box.setObjectName(QStringLiteral("portErrorBox"));
    // Without the open's errno (the thread could not start, say) the device is examined.
    const std::string reason = DescribeOpenFailure(port, driver.LastOpenError());
    if (!reason.empty()) {
        box.setInformativeText(QString::fromStdString(reason));
    }
    box.exec();
}

bool CLinkController::StartLink(int port, int baud, char parity) {
    driver.Stop();
    linkStarted = driver.Start(port, baud, address, parity);
    if (!linkStarted) {
        driver.Stop();
    }
    return linkStarted;
}

void CLinkController::Command() {
    if (!window.isVisible()) {
        retryTimer.start();
        return;
    }
    waitTimer.stop();
    RunPortDialog();
    if (general.portNumber > 0 && !linkStarted) {
        waitTimer.start();
    }
    if (onStatusChanged) {
        onStatusChanged();
    }
}

void CLinkController::RetryConfiguredPort() {
    if (StartLink(general.portNumber, general.baudRate, general.parity)) {
        waitTimer.stop();
        if (onStatusChanged) {
            onStatusChanged();
        }
    }
}

void CLinkController::RunPortDialog() {
    // A port that fails to open brings the dialog back until one opens or the user cancels.
    for (;;) {
        CComDlg dialog(&window);
        // 0 or less: no port chosen.
        if (general.portNumber > 0) {
            dialog.SetCurrent(general.portNumber, general.baudRate, general.parity);
        }
        dialog.SetAddress(address);
        if (dialog.exec() != QDialog::Accepted) {
            return;
        }
        window.update();
        address = dialog.GetAddress();
        driver.SetAddress(address);

        // A link whose start failed (the stored port at start) is started again even when the
        // user confirms the same settings, say once the port has been freed or plugged in.
        const bool changed = !linkStarted || dialog.portNumber != general.portNumber ||
                             dialog.baud != general.baudRate || dialog.parity != general.parity;
        if (!changed || dialog.portNumber <= 0) {
            return;
        }
        // Stop and Start block until the polling thread has finished its cycle.
        if (StartLink(dialog.portNumber, dialog.baud, dialog.parity)) {
            general.portNumber = dialog.portNumber;
            general.baudRate = dialog.baud;
            general.parity = dialog.parity;
            return;
        }
        general.portNumber = 0;
        ShowPortError(dialog.portNumber);
    }
}
