#pragma once
#include <QObject>
#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>

#include "app/SignalBridge.h"

class COrvexDlg;

// The program: loads every setting from orvex.ini into the main window, runs the window
// modally until it is closed, then writes the settings back. SIGTERM, SIGINT and SIGHUP close
// the window as its close command does, so a terminated program still saves its settings.
// A settings file refused at start, settings that cannot be saved at exit, and recorded rows
// that had to be rescued (or were lost) at exit are reported in a message box (on standard error
// too), never passed over in silence.
class COrvexApp : public QObject {
    Q_OBJECT
public:
    // An empty folder means the usual settings folder (ResolveSettingsFolder).
    explicit COrvexApp(std::filesystem::path settingsFolder = {});
    ~COrvexApp() override;

    // The whole run. Returns false, as there is nothing left to do afterwards.
    bool InitInstance();
    // orvex --view FILE: the trend window alone, on that recording. It opens no port, records
    // and publishes nothing, and writes back only its own section of orvex.ini (and only into a
    // file that exists). Returns when the window is closed (or on SIGTERM, SIGINT, SIGHUP).
    void RunViewer(const QString& path);
    // The viewer's window while RunViewer runs, else null.
    QWidget* ViewerWindow() const { return viewerWindow; }

    const std::filesystem::path& SettingsFolder() const { return settingsFolder; }
    // The main window while InitInstance runs, else null.
    COrvexDlg* MainWindow() const { return mainWindow; }
    // Closes any dialog open over the main window, then the window itself, as its close
    // command does. Dialogs that open after this, before the modal run has ended, are closed too.
    void CloseMainWindow();

    // Called after the settings are loaded, just before the modal run (diagnostics, tests).
    std::function<void(COrvexDlg&)> onWindowReady;
    // Called once the viewer's window is shown and its file is being read (tests).
    std::function<void(QWidget&)> onViewerReady;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A message box, or at a close by signal only the line on standard error it also writes.
    void Tell(const QString& text, const char* objectName);
    // Drops what CloseMainWindow set up, once the window's run (or a message) has ended.
    void EndClosing();

    std::filesystem::path settingsFolder;
    COrvexDlg* mainWindow = nullptr;
    QWidget* viewerWindow = nullptr;
    bool closing = false;
    bool closedBySignal = false;
    CSignalBridge signalBridge;
};
