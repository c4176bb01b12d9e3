#include "app/OrvexApp.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>

#include "app/Settings.h"
#include "app/SettingsFolder.h"
#include "app/store/IniEx.h"
#include "link/ComPortMap.h"
#include "ui/OrvexDlg.h"

COrvexApp::COrvexApp(std::filesystem::path folder)
    : settingsFolder(folder.empty() ? ResolveSettingsFolder() : std::move(folder)) {
    comport::SetPortsFolder(settingsFolder / "ports");
    connect(&signalBridge, &CSignalBridge::Signalled, this, [this] { CloseMainWindow(); });
}

COrvexApp::~COrvexApp() = default;

namespace {

// QDialog::exec() as a loop of our own, which also ends when the window is closed while it is
// still being shown (a signal during its initialisation), before the loop has started.
void RunModal(QDialog& window) {
    bool finished = false;
    QEventLoop loop;
    QObject::connect(&window, &QDialog::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    window.setWindowModality(Qt::ApplicationModal);
    window.show();
    if (!finished) {
        loop.exec(QEventLoop::DialogExec);
    }
}

}  // namespace

bool COrvexApp::InitInstance() {
    COrvexDlg window;
    mainWindow = &window;
    {
        CIniEx ini(4);
        if (ini.Open(settingsFolder / kSettingsFile, /*writeOnClose=*/true,
                     /*createIfMissing=*/true, /*caseInsensitive=*/true)) {
            LoadSettings(ini, window);
        }
        if (onWindowReady) {
            onWindowReady(window);
        }
        RunModal(window);  // however it was closed, the settings are written back

        if (closing) {
            qApp->removeEventFilter(this);
            closing = false;
        }
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QSize size = screen->size();
            window.windowRect = ClampWindowRect(window.windowRect, size.width(), size.height());
        }
        SaveSettings(ini, window);
    }  // the store rewrites orvex.ini here when anything changed
    mainWindow = nullptr;
    return false;
}

void COrvexApp::CloseMainWindow() {
    if (mainWindow == nullptr || closing) {
        return;
    }
    closing = true;
    // A dialog over the window runs its own event loop; the window's run can end only after
    // that loop has ended. Close such dialogs now, and any that open while they unwind.
    qApp->installEventFilter(this);
    for (int i = 0; i < 32; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == mainWindow) {
            break;
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
    }
    mainWindow->accept();
}

bool COrvexApp::eventFilter(QObject* watched, QEvent* event) {
    if (closing && event->type() == QEvent::Show && watched != mainWindow) {
        if (auto* dialog = qobject_cast<QDialog*>(watched)) {
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(watched, event);
}
