// Pictures of the trend window's cursors and statistics, and of a comparison, for the guide and
// the screenshot script: orvex_trend_picture cursors|compare RECORDING OUT.png. The recording
// should span at least three days (orvex_trend_gen 3 ...).
#include <QApplication>
#include <QLocale>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>

#include "ui/trend/TrendLive.h"
#include "ui/trend/TrendWnd.h"

namespace {

constexpr double kDay = 86400;

// A few channels only, so the picture stays readable.
bool Kept(const QString& text) {
    return text.startsWith(QStringLiteral("TQ21")) ||
           text == QStringLiteral("TQ23 2301 Temperatura [°C]") ||
           text.startsWith(QStringLiteral("Wejście binarne"));
}

void KeepFewChannels(CTrendWnd& w) {
    auto* list = w.findChild<QTreeWidget*>(QStringLiteral("channelList"));
    for (QTreeWidgetItemIterator it(list); *it != nullptr; ++it) {
        const QVariant channel = (*it)->data(0, Qt::UserRole + 1);  // the channel's index
        if (!channel.isValid())
            continue;
        const QString title = QString::fromStdString(w.ShownStore().Channel(channel.toInt()).title);
        (*it)->setCheckState(0, Kept(title) ? Qt::Checked : Qt::Unchecked);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    const QStringList args = QApplication::arguments();
    if (args.size() != 4 ||
        (args[1] != QLatin1String("cursors") && args[1] != QLatin1String("compare"))) {
        std::fprintf(stderr, "usage: orvex_trend_picture cursors|compare RECORDING OUT.png\n");
        return 2;
    }
    const bool cursors = args[1] == QLatin1String("cursors");
    CTrendLive live;
    TrendSettings settings;
    CTrendWnd w(live, settings);
    w.resize(1000, cursors ? 640 : 560);
    w.show();
    int status = 1;
    QObject::connect(&w, &CTrendWnd::recordingFailed, &app, [&](const QString& message) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        app.exit(1);
    });
    QObject::connect(&w, &CTrendWnd::recordingShown, &app, [&] {
        KeepFewChannels(w);
        const double start = static_cast<double>(w.ShownStore().FirstTime()) / 1000;
        if (cursors) {
            w.SetTimeRange(start + 1.0 * kDay, start + 2.0 * kDay);
            w.SetCursor(0, start + 1.3 * kDay);
            w.SetCursor(1, start + 1.6 * kDay);
            w.ShowStatistics(true);
        } else {
            w.SetTimeRange(start + 1.0 * kDay, start + 3.0 * kDay);
            w.CompareShifted(86400000);
        }
        // Once the layout has settled and the lines are drawn.
        QTimer::singleShot(1500, &w, [&] {
            status = w.grab().save(args[3]) ? 0 : 1;
            std::fprintf(stderr, "%s %s\n", status == 0 ? "saved" : "cannot save",
                         qPrintable(args[3]));
            app.exit(status);
        });
    });
    w.OpenRecording(args[2]);
    app.exec();
    return status;
}
