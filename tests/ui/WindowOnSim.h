#pragma once
// The main window against orvex-sim linked in as a COM port.
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>

#include "link/ComPortMap.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/ComDlg.h"

// Cancels the port settings dialog that a window without a usable port opens by itself; false
// for any other widget (a ModalAnswerer step).
inline bool CancelPortDialog(QWidget* widget) {
    auto* dialog = qobject_cast<CComDlg*>(widget);
    if (dialog == nullptr) {
        return false;
    }
    dialog->reject();
    return true;
}

// Makes tmp's ports/ the folder COM ports are found in, with no serial port of the machine in the
// port dialog's list; returns that folder.
inline std::filesystem::path UseTestPorts(const QTemporaryDir& tmp) {
    const std::filesystem::path ports = std::filesystem::path(tmp.path().toStdString()) / "ports";
    std::filesystem::create_directories(ports);
    comport::SetPortsFolder(ports);
    CComDlg::SetPortLister({});
    return ports;
}

// Shows the window on COM `port` at a fixed place and size; false when it is never exposed.
[[nodiscard]] inline bool ShowOnPort(COrvexDlg& dlg, int port) {
    dlg.settings.general.portNumber = port;
    dlg.settings.general.windowRect = WindowRect{60, 40, 700, 520};
    dlg.show();
    return QTest::qWaitForWindowExposed(&dlg);
}

// Whether the driver has published the identity of the device with this serial number.
inline bool Published(COrvexDlg& dlg, int serial) {
    DeviceInfo info;
    dlg.Driver().GetDeviceInfo(info);
    return info.status == 0 && info.serialNumber == serial;
}
