// The trend window's timings: opening a recording (with the longest stall of the window's event
// loop meanwhile), cancelling, redrawing the full range and zoomed or panned views, and the CPU
// one live cycle costs. orvex_trend_draw_bench FILE (run with QT_QPA_PLATFORM=offscreen).
#include <sys/resource.h>

#include <qcustomplot.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "device/PollingCycle.h"
#include "ui/trend/TrendLive.h"
#include "ui/trend/TrendWnd.h"

namespace {

double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median and worst time of a redraw (lines from the pyramid, then painting) of each range.
void TimeRedraws(CTrendWnd& w, const char* name,
                 const std::vector<std::pair<double, double>>& ranges) {
    std::vector<double> times, lines;
    for (const auto& [from, to] : ranges) {
        QElapsedTimer t;
        t.start();
        w.Plot()->xAxis->blockSignals(true);
        w.Plot()->xAxis->setRange(from, to);
        w.Plot()->xAxis->blockSignals(false);
        w.Refresh();
        lines.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        w.Plot()->replot(QCustomPlot::rpImmediateRefresh);
        times.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::printf(
        "redraw %-22s median %.2f ms (lines from the store %.2f ms), worst %.2f ms (%zu "
        "redraws)\n",
        name, Median(times), Median(lines), *std::max_element(times.begin(), times.end()),
        times.size());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvex_trend_draw_bench FILE\n");
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    CTrendLive live;
    TrendSettings settings;
    CTrendWnd w(live, settings);
    w.resize(1600, 900);
    w.show();
    app.processEvents();

    // Opening, with a 5 ms timer watching how long the event loop is ever kept waiting.
    QEventLoop loop;
    QObject::connect(&w, &CTrendWnd::recordingShown, &loop, &QEventLoop::quit);
    QObject::connect(&w, &CTrendWnd::recordingFailed, &loop, &QEventLoop::quit);
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout,
                     [&] { longestStall = std::max(longestStall, sinceTick.restart()); });
    QElapsedTimer opening;
    opening.start();
    sinceTick.start();
    watch.start();
    w.OpenRecording(file);
    loop.exec();
    watch.stop();
    app.processEvents();
    w.Plot()->replot(QCustomPlot::rpImmediateRefresh);
    std::printf(
        "open and draw %.0f ms, longest event-loop stall %lld ms, channels %zu, blocks "
        "%zu\n",
        static_cast<double>(opening.elapsed()), longestStall, w.ShownStore().ChannelCount(),
        w.ShownStore().BlockCount());
    if (w.ShowingLive())
        return 1;

    // Cancel while reading: from the click to the window's answer.
    {
        QEventLoop wait;
        QObject::connect(&w, &CTrendWnd::recordingFailed, &wait, &QEventLoop::quit);
        QObject::connect(&w, &CTrendWnd::recordingShown, &wait, &QEventLoop::quit);
        w.OpenRecording(file);
        QTimer::singleShot(150, [&] {
            opening.restart();
            w.CancelOpening();
        });
        wait.exec();
        if (w.Opening() || !w.ShowingLive())
            std::printf("cancel answered after %lld ms\n", opening.elapsed());
    }

    const CSampleStore& st = w.ShownStore();
    const double first = static_cast<double>(st.FirstTime()) / 1000;
    const double last = static_cast<double>(st.LastTime()) / 1000;
    std::vector<std::pair<double, double>> full(30, {first, last});
    TimeRedraws(w, "full range", full);
    for (double span : {86400.0 * 7, 86400.0, 3600.0, 600.0}) {
        std::vector<std::pair<double, double>> zoom, pan;
        for (int i = 0; i < 30; ++i) {
            const double at = first + (last - first - span) * i / 30;
            zoom.push_back({at, at + span});
            pan.push_back({first + span * 0.05 * i, first + span * 0.05 * i + span});
        }
        char name[64];
        std::snprintf(name, sizeof name, "zoom %.0f s", span);
        TimeRedraws(w, name, zoom);
        std::snprintf(name, sizeof name, "pan %.0f s", span);
        TimeRedraws(w, name, pan);
    }

    // Live: cycles of eight sensors into the live store, the window following and redrawing.
    w.ShowLive();
    PollingCycle cycle;
    cycle.responding = true;
    for (int i = 0; i < 8; ++i) {
        cycle.readings[i].model = i % 2 == 0 ? ModelTQ21 : ModelTQ23;
        cycle.readings[i].serialNumber = static_cast<uint16_t>(100 + i);
    }
    const auto now = std::chrono::system_clock::now();
    const int cycles = 600;
    for (int i = 0; i < 3600; ++i) {  // an hour already in the store
        cycle.time = now - std::chrono::seconds(3600 + cycles - i);
        live.Append(cycle);
    }
    app.processEvents();
    const double cpu0 = CpuMs();
    for (int i = 0; i < cycles; ++i) {
        cycle.time = now - std::chrono::seconds(cycles - i);
        cycle.readings[0].values[1] = static_cast<int16_t>(200 + i % 50);
        live.Append(cycle);
        app.processEvents();  // the queued replot
    }
    const double perCycle = (CpuMs() - cpu0) / cycles;
    std::printf(
        "live: %.3f ms CPU per cycle with the window open (%zu channels): %.2f %% of one "
        "core at one cycle a second\n",
        perCycle, live.Store().ChannelCount(), perCycle / 10);
    return 0;
}
