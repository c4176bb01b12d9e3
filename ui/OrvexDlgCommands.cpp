// The main window's commands that open the configuration dialogs, the help and the small
// dialogs.
#include <QCoreApplication>

#include "ui/AlarmsCommand.h"
#include "ui/LookCommands.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/AboutDlg.h"
#include "ui/dialogs/DialogAdv.h"
#include "ui/dialogs/HelpWindow.h"
#include "ui/dialogs/SettingsDlg.h"

bool COrvexDlg::ClosedWhileBusy() {
    // Nothing was dispatched while the device call blocked: a close of the window (its close
    // box, a termination signal) waits in the queue. Let it act before anything else opens.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return !isVisible();
}

void COrvexDlg::OnAlarms() {
    RunAlarmsCommand(*this, driver, [this] { return ClosedWhileBusy(); });
}

void COrvexDlg::OnColours() {
    RunColoursCommand(*this, valueControls);
}

void COrvexDlg::OnFonts() {
    RunFontsCommand(*this, valueControls);
}

void COrvexDlg::OnAdditionalSettings() {
    CSettingsDlg dialog(this);
    dialog.doNotShow = settings.general.showInfoAtStart ? 0 : 1;
    if (dialog.exec() == QDialog::Accepted) {
        settings.general.showInfoAtStart = dialog.doNotShow == 0;
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
