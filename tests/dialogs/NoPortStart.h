#pragma once
// The main window started as on a first run: no port stored and no serial port on the machine.
#include <QApplication>
#include <QtTest>
#include <string>

#include "tests/ui/ModalAnswerer.h"
#include "tests/ui/WindowParts.h"
#include "ui/OrvexDlg.h"
#include "ui/dialogs/ComDlg.h"

// The port dialog lists no serial port of this machine.
inline void ListNoPorts() {
    CComDlg::SetPortLister([](int& count, std::string& text) {
        count = 0;
        text.clear();
        return true;
    });
}

// Shows the window and cancels the port dialog it opens first, since no port is stored.
inline void PassPortDialog(ModalAnswerer& answerer, COrvexDlg& window) {
    answerer.On<CComDlg>([](CComDlg* d) { d->reject(); });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY_WITH_TIMEOUT(!TimerOf(window, "portRetryTimer").isActive() &&
                                 QApplication::activeModalWidget() == nullptr,
                             10000);
}
