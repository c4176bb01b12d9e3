// The main window's commands that open the configuration dialogs, the help and the small
// dialogs.
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <cstdint>

#include "ui/OrvexDlg.h"
#include "ui/dialogs/AboutDlg.h"
#include "ui/dialogs/AlarmsDlg.h"
#include "ui/dialogs/ColorDlg.h"
#include "ui/dialogs/DialogAdv.h"
#include "ui/dialogs/FontDlg.h"
#include "ui/dialogs/HelpWindow.h"
#include "ui/dialogs/SettingsDlg.h"

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

bool COrvexDlg::ClosedWhileBusy() {
    // Nothing was dispatched while the device call blocked: a close of the window (its close
    // box, a termination signal) waits in the queue. Let it act before anything else opens.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return !isVisible();
}

void COrvexDlg::OnAlarms() {
    CAlarmsDlg dialog(this);
    std::uint8_t enables[2] = {0, 0};
    int result = 0;
    {
        CWaitCursor wait;
        result = driver.ReadAlarms(enables);
    }
    if (ClosedWhileBusy()) {
        return;
    }
    if (result != 0) {
        Warn(this, QStringLiteral("Nie można odczytać ustawień alarmów"), "alarmReadErrorBox");
        return;
    }
    // The device's 2 counts as on.
    dialog.internalOn = enables[0] != 0 ? 1 : 0;
    dialog.externalOn = enables[1] != 0 ? 1 : 0;
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    repaint();
    const std::uint8_t chosen[2] = {static_cast<std::uint8_t>(dialog.internalOn ? 1 : 0),
                                    static_cast<std::uint8_t>(dialog.externalOn ? 1 : 0)};
    {
        CWaitCursor wait;
        result = driver.WriteAlarms(chosen);
    }
    if (ClosedWhileBusy()) {
        return;
    }
    if (result != 0) {
        Warn(this, QStringLiteral("Ustawienie alarmów nie powiodło się"), "alarmWriteErrorBox");
    }
}

void COrvexDlg::OnColours() {
    CColorDlg dialog(this);
    Colour background[8];
    Colour text[8];
    for (int i = 0; i < 8; ++i) {
        background[i] = valueControls[i].GetBackgroundColour();
        text[i] = valueControls[i].GetTextColour();
        dialog.valueControls[i] = &valueControls[i];
    }
    if (dialog.exec() == QDialog::Accepted) {
        return;
    }
    for (int i = 0; i < 8; ++i) {
        CColorStatic& control = valueControls[i];
        const bool unchanged =
            control.GetBackgroundColour() == background[i] && control.GetTextColour() == text[i];
        control.SetBackgroundColour(background[i]);
        control.SetTextColour(text[i]);
        if (unchanged) {
            control.repaint();
        }
    }
}

void COrvexDlg::OnFonts() {
    CFontDlg dialog(this);
    FontDescription former[8];
    for (int i = 0; i < 8; ++i) {
        former[i] = valueControls[i].GetFontDescription();
        dialog.valueControls[i] = &valueControls[i];
    }
    if (dialog.exec() == QDialog::Accepted) {
        return;
    }
    // Every font is made again, changed or not.
    for (int i = 0; i < 8; ++i) {
        valueControls[i].SetLogFont(former[i]);
    }
}

void COrvexDlg::OnAdditionalSettings() {
    CSettingsDlg dialog(this);
    dialog.doNotShow = showInfoAtStart ? 0 : 1;
    if (dialog.exec() == QDialog::Accepted) {
        showInfoAtStart = dialog.doNotShow == 0;
    }
}

void COrvexDlg::OnHelp() {
    if (helpWindow == nullptr) {
        helpWindow = new CHelpWindow(this);
    }
    helpWindow->show();
    helpWindow->raise();
    helpWindow->activateWindow();
}

void COrvexDlg::OnInformation() {
    CDialogAdv dialog(this);
    dialog.exec();
}

void COrvexDlg::ShowInformationAtStart() {
    // The flag holds the port settings dialog back until the information dialog is closed.
    infoDialogOpen = true;
    OnInformation();
    infoDialogOpen = false;
}

void COrvexDlg::OnAbout() {
    CAboutDlg dialog(this);
    dialog.exec();
}
