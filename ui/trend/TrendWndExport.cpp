// The trend window's exports: pictures with a heading and the legend, the visible range as CSV.
#include <qcustomplot.h>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <cmath>
#include <fstream>

#include "trend/CsvExport.h"
#include "ui/trend/TrendExport.h"
#include "ui/trend/TrendWnd.h"

void CTrendWnd::OnExport() {
    QMenu menu(this);
    QAction* png = menu.addAction(QStringLiteral("Obraz PNG..."));
    QAction* pdf = menu.addAction(QStringLiteral("Dokument PDF..."));
    menu.addAction(QStringLiteral("Dane widocznego zakresu (CSV)..."));
    menu.setObjectName(QStringLiteral("exportMenu"));
    // Under the button, also when it was pressed from the keyboard.
    QAction* chosen = menu.exec(exportButton->mapToGlobal(QPoint(0, exportButton->height())));
    if (chosen == nullptr)
        return;
    const QString filter = chosen == png   ? QStringLiteral("Obraz PNG (*.png)")
                           : chosen == pdf ? QStringLiteral("Dokument PDF (*.pdf)")
                                           : QStringLiteral("Plik CSV (*.csv)");
    const QString extension = chosen == png   ? QStringLiteral("png")
                              : chosen == pdf ? QStringLiteral("pdf")
                                              : QStringLiteral("csv");
    const QString path = WithExtension(
        QFileDialog::getSaveFileName(this, QStringLiteral("Eksport"), QString(), filter),
        extension);
    if (path.isEmpty())
        return;
    QString error;
    bool ok = false;
    if (chosen == png)
        ok = ExportPng(path);
    else if (chosen == pdf)
        ok = ExportPdf(path);
    else
        ok = ExportCsv(path, &error);
    if (!ok)
        Tell(error.isEmpty() ? QStringLiteral("Nie można zapisać pliku %1.").arg(path) : error);
}

QString CTrendWnd::SourceTitle() const {
    return ShowingLive() ? QStringLiteral("Pomiary bieżące") : QFileInfo(filePath).fileName();
}

bool CTrendWnd::ExportPng(const QString& path) {
    const QCPRange r = plot->xAxis->range();
    return ExportPlotPicture(*plot, ExportHeading(SourceTitle(), r.lower, r.upper), path, false);
}

bool CTrendWnd::ExportPdf(const QString& path) {
    const QCPRange r = plot->xAxis->range();
    return ExportPlotPicture(*plot, ExportHeading(SourceTitle(), r.lower, r.upper), path, true);
}

bool CTrendWnd::ExportCsv(const QString& path, QString* error) {
    std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
    const QCPRange range = plot->xAxis->range();
    const bool written =
        out && ::ExportCsv(ShownStore(), DrawnChannels(),
                           static_cast<int64_t>(std::ceil(range.lower * 1000)),
                           static_cast<int64_t>(std::floor(range.upper * 1000)), ';',
                           [&out](std::string_view bytes) {
                               out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
                               return static_cast<bool>(out);
                           });
    out.close();
    if (!written || !out) {
        if (error != nullptr)
            *error = QStringLiteral("Nie można zapisać pliku %1.").arg(path);
        return false;
    }
    return true;
}
