#include "app/OrvexApp.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <cstdio>
#include <vector>

#include "app/Settings.h"
#include "app/SettingsMessages.h"
#include "app/WindowPlacement.h"
#include "link/ComPortMap.h"
#include "settings/WindowRect.h"
#include "store/IniEx.h"
#include "store/SettingsFolder.h"
#include "ui/OrvexDlg.h"
#include "ui/trend/TrendLive.h"
#include "ui/trend/TrendWnd.h"

COrvexApp::COrvexApp(std::filesystem::path folder)
    : settingsFolder(folder.empty() ? ResolveSettingsFolder() : std::move(folder)) {
    comport::SetPortsFolder(settingsFolder / "ports");
    connect(&signalBridge, &CSignalBridge::Signalled, this, [this] {
        closedBySignal = true;
        CloseMainWindow();
        if (viewerWindow != nullptr) {
            viewerWindow->close();
        }
    });
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

std::vector<WindowRect> AvailableScreens() {
    std::vector<WindowRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect r = screen->availableGeometry();
        screens.push_back(
            WindowRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()});
    }
    return screens;
}

}  // namespace

void COrvexApp::Tell(const QString& text, const char* objectName) {
    std::fprintf(stderr, "orvex: %s\n", qPrintable(text));
    if (closedBySignal) {
        return;  // nobody is looking at the screen any more
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("orvex"), text, QMessageBox::Ok);
    box.setObjectName(QString::fromLatin1(objectName));
    box.exec();
}

bool COrvexApp::InitInstance() {
    COrvexDlg window;
    window.settingsFolder = settingsFolder;
    mainWindow = &window;
    closedBySignal = false;
    {
        const std::filesystem::path file = settingsFolder / kSettingsFile;
        CIniEx ini(4);
        // Saved explicitly below rather than on destruction, to learn whether it worked.
        const bool opened = ini.Open(file, /*writeOnClose=*/false, /*createIfMissing=*/true,
                                     /*caseInsensitive=*/true);
        if (opened) {
            LoadSettings(ini, window);
        } else if (const QString refused = RefusedSettingsText(file, ini.LastOpenResult());
                   !refused.isEmpty()) {
            Tell(refused, "settingsRefusedBox");
        }
        // A rectangle from the file that would give an invisible or unreachable window is
        // replaced before the window first shows (and before it could be saved back).
        window.settings.general.windowRect =
            PlaceWindowRect(window.settings.general.windowRect, WindowRect{}, AvailableScreens());
        window.Recording().rescueFolder = settingsFolder / kRescueFolder;
        if (onWindowReady) {
            onWindowReady(window);
        }
        if (!closing) {        // a signal may have come while the message above was open
            RunModal(window);  // however it was closed, the settings are written back
        }

        EndClosing();
        // Records a failing medium still holds are kept beside the settings, never dropped
        // unreported.
        for (const QString& text : window.CloseRecording(window.Recording().rescueFolder)) {
            Tell(text, "recordingRescueBox");
        }
        EndClosing();  // a signal while that message was open
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QSize size = screen->size();
            window.settings.general.windowRect =
                ClampWindowRect(window.settings.general.windowRect, size.width(), size.height());
        }
        SaveSettings(ini, window);
        // A file refused or not creatable at start was never the run's to save.
        if (opened && !ini.Save()) {
            Tell(UnsavedSettingsText(file, ini.LastSaveResult(), ini.LastSaveError()),
                 "settingsUnsavedBox");
        }
        EndClosing();  // a signal while that message was open
    }
    mainWindow = nullptr;
    return false;
}

void COrvexApp::RunViewer(const QString& path) {
    const std::filesystem::path file = settingsFolder / kSettingsFile;
    CIniEx ini(4);
    // Not created when missing: a viewer leaves no settings file where there was none.
    const bool opened = ini.Open(file, /*writeOnClose=*/false, /*createIfMissing=*/false,
                                 /*caseInsensitive=*/true);
    TrendSettings trend;
    if (opened) {
        LoadTrendSettings(ini, trend);
    }
    {
        CTrendLive live;  // attached to no driver: nothing is polled
        CTrendWnd window(live, trend);
        window.setAttribute(Qt::WA_QuitOnClose, false);
        viewerWindow = &window;
        QEventLoop loop;
        // The window only hides on close; its close event ends the run.
        struct CloseWatch : QObject {
            QEventLoop* loop;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Close) {
                    QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
                }
                return false;
            }
        } watch;
        watch.loop = &loop;
        window.installEventFilter(&watch);
        window.show();
        window.OpenRecording(path);
        if (onViewerReady) {
            onViewerReady(window);
        }
        loop.exec();
        window.removeEventFilter(&watch);
        viewerWindow = nullptr;
    }
    if (opened) {
        SaveTrendSettings(ini, trend);
        if (!ini.Save()) {
            Tell(UnsavedSettingsText(file, ini.LastSaveResult(), ini.LastSaveError()),
                 "settingsUnsavedBox");
        }
    }
}

void COrvexApp::EndClosing() {
    if (closing) {
        qApp->removeEventFilter(this);
        closing = false;
    }
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
