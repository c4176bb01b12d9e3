// The trend window's commands of the main window.
#include <QFileDialog>

#include "ui/OrvexDlg.h"
#include "ui/trend/TrendWnd.h"

CTrendWnd* COrvexDlg::ShowTrendWindow() {
    if (trendWindow == nullptr) {
        // A child of the main window, so its modal run does not block it.
        trendWindow = new CTrendWnd(trendLive, trendSettings, this);
    }
    trendWindow->show();
    trendWindow->raise();
    trendWindow->activateWindow();
    return trendWindow;
}

void COrvexDlg::ViewRecording(const QString& path) {
    ShowTrendWindow()->OpenRecording(path);
}

void COrvexDlg::OnOpenRecording() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Otwórz zapis"), QString(),
        QStringLiteral("Zapisy pomiarów (*.txt *.csv *.qdx);;Wszystkie pliki (*)"));
    if (!path.isEmpty())
        ViewRecording(path);
}
