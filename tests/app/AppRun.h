#pragma once
// The program run in-process on a settings folder, and the settings file's bytes around it.
#include <QFile>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <functional>

#include "app/OrvexApp.h"
#include "ui/OrvexDlg.h"

inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// One run of the program on folder: inspect (and change) the window once the settings are
// loaded, then close it as its close command does, and let the settings be saved.
inline void RunOnce(const QString& folder, const std::function<void(COrvexDlg&)>& inspect = {}) {
    COrvexApp app(std::filesystem::path(folder.toStdString()));
    app.onWindowReady = [&](COrvexDlg& window) {
        if (inspect) {
            inspect(window);
        }
        QTimer::singleShot(0, &app, [&app] { app.CloseMainWindow(); });
    };
    QVERIFY(!app.InitInstance());
    QVERIFY(app.MainWindow() == nullptr);
}
