#include "ui/trend/TrendExport.h"

#include <qcustomplot.h>
#include <QDateTime>
#include <QFileInfo>

QString WithExtension(const QString& path, const QString& extension) {
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + QLatin1Char('.') + extension;
}

QString ExportHeading(const QString& source, double from, double to) {
    auto stamp = [](double seconds) {
        return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(seconds * 1000))
            .toString(QStringLiteral("yyyy.MM.dd HH:mm:ss t"));
    };
    return QStringLiteral("%1\n%2 – %3").arg(source, stamp(from), stamp(to));
}

bool ExportPlotPicture(QCustomPlot& plot, const QString& heading, const QString& path, bool pdf) {
    QCPLayoutGrid* layout = plot.plotLayout();
    layout->insertRow(0);
    auto* title = new QCPTextElement(&plot, heading);
    layout->addElement(0, 0, title);
    const bool legendShown = plot.legend->visible();
    plot.legend->setVisible(true);
    const bool ok = pdf ? plot.savePdf(path) : plot.savePng(path);
    plot.legend->setVisible(legendShown);
    layout->remove(title);
    layout->simplify();
    plot.replot(QCustomPlot::rpQueuedReplot);
    return ok;
}
