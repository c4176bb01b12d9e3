#include "ui/AlarmsCommand.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdint>

#include "device/OrvexDriver.h"
#include "ui/dialogs/AlarmsDlg.h"

namespace {

// The wait cursor for as long as the user interface waits on the device.
class CWaitCursor {
public:
    CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

void Warn(QWidget* parent, const QString& text, const char* name) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("orvex"), text, QMessageBox::Ok, parent);
    box.setObjectName(QString::fromLatin1(name));
    box.exec();
}

}  // namespace

void RunAlarmsCommand(QWidget& window, COrvexDriver& driver,
                      const std::function<bool()>& closedWhileBusy) {
    CAlarmsDlg dialog(&window);
    std::uint8_t enables[2] = {0, 0};
    int result = 0;
    {
        CWaitCursor wait;
        result = driver.ReadAlarms(enables);
    }
    if (closedWhileBusy()) {
        return;
    }
    if (result != 0) {
        Warn(&window, QStringLiteral("Nie można odczytać ustawień alarmów"), "alarmReadErrorBox");
        return;
    }
    // The device's 2 counts as on.
    dialog.internalOn = enables[0] != 0 ? 1 : 0;
    dialog.externalOn = enables[1] != 0 ? 1 : 0;
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    window.repaint();
    const std::uint8_t chosen[2] = {static_cast<std::uint8_t>(dialog.internalOn ? 1 : 0),
                                    static_cast<std::uint8_t>(dialog.externalOn ? 1 : 0)};
    {
        CWaitCursor wait;
        result = driver.WriteAlarms(chosen);
    }
    if (closedWhileBusy()) {
        return;
    }
    if (result != 0) {
        Warn(&window, QStringLiteral("Ustawienie alarmów nie powiodło się"), "alarmWriteErrorBox");
    }
}
