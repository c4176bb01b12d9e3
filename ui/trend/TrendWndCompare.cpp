// The trend window's comparison: another recording, or the shown one a day or a week earlier,
// drawn dashed over the shown lines on the same unit axes.
#include <qcustomplot.h>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>

#include "ui/trend/ChannelTexts.h"
#include "ui/trend/RecordingLoader.h"
#include "ui/trend/TrendAxes.h"
#include "ui/trend/TrendWnd.h"

namespace {

constexpr int64_t kDayMs = 86400000;

QString ShiftName(int64_t shiftMs) {
    return shiftMs == kDayMs ? QStringLiteral("dzień wcześniej")
                             : QStringLiteral("%1 dni wcześniej").arg(shiftMs / kDayMs);
}

}  // namespace

void CTrendWnd::OnCompareMenu() {
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("compareMenu"));
    QAction* file = menu.addAction(QStringLiteral("Z innym zapisem..."));
    QAction* day = menu.addAction(QStringLiteral("Z dniem wcześniej"));
    QAction* week = menu.addAction(QStringLiteral("Z tygodniem wcześniej"));
    QAction* none = menu.addAction(QStringLiteral("Bez porównania"));
    none->setEnabled(Comparing());
    QAction* chosen = menu.exec(compareButton->mapToGlobal(QPoint(0, compareButton->height())));
    if (chosen == file) {
        const QString path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Porównaj z zapisem"), QString(),
            QStringLiteral("Zapisy pomiarów (*.txt *.csv *.qdx);;Wszystkie pliki (*)"));
        if (!path.isEmpty())
            CompareWithFile(path);
    } else if (chosen == day) {
        CompareShifted(kDayMs);
    } else if (chosen == week) {
        CompareShifted(7 * kDayMs);
    } else if (chosen == none) {
        StopComparing();
    }
}

void CTrendWnd::CompareShifted(int64_t shiftMs) {
    compareLoader->Cancel();
    compare.mode = CompareMode::Shifted;
    compare.shiftMs = shiftMs;
    compare.store.reset();
    compare.name = ShiftName(shiftMs);
    RebuildGraphs();
}

void CTrendWnd::CompareWithFile(const QString& path) {
    compareLoader->Start(path);
}

void CTrendWnd::OnCompareLoaded(const std::shared_ptr<RecordingRead>& read) {
    if (!read->store) {
        if (!read->cancelled)
            Tell(Utf8(read->error));
        return;
    }
    const CSampleStore& shown = ShownStore();
    compare.mode = CompareMode::File;
    compare.store = std::move(read->store);
    compare.name = QFileInfo(compareLoader->Path()).fileName();
    compare.shiftMs = 0;
    const CSampleStore& other = *compare.store;
    // Two recordings of different times, e.g. two batches, are laid start on start.
    if (!shown.Empty() &&
        (other.LastTime() < shown.FirstTime() || other.FirstTime() > shown.LastTime()))
        compare.shiftMs = shown.FirstTime() - other.FirstTime();
    RebuildGraphs();
}

void CTrendWnd::StopComparing() {
    compareLoader->Cancel();
    const bool was = Comparing();
    compare = Compare{};
    if (was)
        RebuildGraphs();
}

int CTrendWnd::ComparedGraphs() const {
    int n = 0;
    for (const Drawn& d : drawn)
        n += d.store != nullptr ? 1 : 0;
    return n;
}

void CTrendWnd::AddComparedGraphs() {
    if (!Comparing())
        return;
    const CSampleStore& shown = ShownStore();
    const CSampleStore& other = compare.store ? *compare.store : shown;
    const std::size_t mainGraphs = drawn.size();
    for (std::size_t g = 0; g < mainGraphs; ++g) {
        if (drawn[g].binary)
            continue;  // a lane of steps has no room for a second line
        const ChannelInfo& info = shown.Channel(drawn[g].channel);
        // The same channel in the other recording: by key, or by title when one of the two
        // files knows input numbers and the other does not.
        int c = other.FindChannel(info.key);
        for (std::size_t k = 0; c < 0 && k < other.ChannelCount(); ++k) {
            if (other.Channel(static_cast<int>(k)).title == info.title)
                c = static_cast<int>(k);
        }
        if (c < 0)
            continue;
        QCPAxis* axis = drawn[g].axis;
        QCPGraph* graph = plot->addGraph(axis->axisRect()->axis(QCPAxis::atBottom), axis);
        graph->setName(LegendName(info) + QStringLiteral(" (") + compare.name +
                       QStringLiteral(")"));
        QPen pen(LineColour(info).lighter(140));
        pen.setStyle(Qt::DashLine);
        pen.setCosmetic(true);
        graph->setPen(pen);
        graph->setAdaptiveSampling(false);
        drawn.push_back({c, axis, false, 0, &other, compare.shiftMs});
    }
}
