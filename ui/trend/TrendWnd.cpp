#include "ui/trend/TrendWnd.h"

#include <qcustomplot.h>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "ui/trend/ChannelTexts.h"
#include "ui/trend/RecordingLoader.h"
#include "ui/trend/TrendAxes.h"
#include "ui/trend/TrendLive.h"
#include "ui/trend/TrendStatistics.h"

namespace {

constexpr int kChannelRole = Qt::UserRole + 1;

QIcon Swatch(const QColor& colour) {
    QPixmap pixmap(12, 12);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

struct Span {
    const char* name;
    int seconds;
};
constexpr Span kSpans[] = {{"10 min", 600}, {"1 h", 3600},     {"6 h", 21600},
                           {"24 h", 86400}, {"7 dni", 604800}, {"30 dni", 2592000}};

}  // namespace

CTrendWnd::CTrendWnd(CTrendLive& live, TrendSettings& settings, QWidget* parent)
    : QWidget(parent, Qt::Window), live(live), settings(settings) {
    setObjectName(QStringLiteral("trendWindow"));
    setWindowTitle(QStringLiteral("Wykres"));
    setAcceptDrops(true);
    settings.inUse = true;
    loader = new CRecordingLoader(this);
    connect(loader, &CRecordingLoader::progress, this,
            [this](int permille) { progressBar->setValue(permille); });
    connect(loader, &CRecordingLoader::finished, this,
            [this](std::shared_ptr<RecordingRead> read) { OnLoaded(read); });
    compareLoader = new CRecordingLoader(this);
    connect(compareLoader, &CRecordingLoader::finished, this,
            [this](std::shared_ptr<RecordingRead> read) { OnCompareLoaded(read); });
    connect(&live, &CTrendLive::cycleAdded, this, [this] { OnLiveCycle(); });
    BuildUi();
    if (settings.geometry.isValid() && !settings.geometry.isEmpty()) {
        resize(settings.geometry.size());
        move(settings.geometry.topLeft());
    } else {
        resize(900, 520);
    }
    SyncChannelList();
    RebuildGraphs();
    FollowNewest();
}

CTrendWnd::~CTrendWnd() = default;

void CTrendWnd::BuildUi() {
    auto* top = new QHBoxLayout;
    sourceLabel = new QLabel(QStringLiteral("Pomiary bieżące"), this);
    sourceLabel->setObjectName(QStringLiteral("sourceLabel"));
    liveButton = new QPushButton(QStringLiteral("Pomiary bieżące"), this);
    liveButton->setObjectName(QStringLiteral("liveButton"));
    liveButton->setEnabled(false);
    connect(liveButton, &QPushButton::clicked, this, [this] { ShowLive(); });
    followCheck = new QCheckBox(QStringLiteral("Na bieżąco"), this);
    followCheck->setObjectName(QStringLiteral("followCheck"));
    followCheck->setChecked(true);
    connect(followCheck, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            FollowNewest();
    });
    spanCombo = new QComboBox(this);
    spanCombo->setObjectName(QStringLiteral("spanCombo"));
    int chosen = 0;
    for (const Span& s : kSpans) {
        if (s.seconds == settings.spanSeconds)
            chosen = spanCombo->count();
        spanCombo->addItem(QString::fromUtf8(s.name), s.seconds);
    }
    spanCombo->setCurrentIndex(chosen);
    connect(spanCombo, &QComboBox::currentIndexChanged, this, [this] {
        this->settings.spanSeconds = spanCombo->currentData().toInt();
        if (followCheck->isChecked()) {
            FollowNewest();
        } else {
            const double end = plot->xAxis->range().upper;
            SetTimeRange(end - this->settings.spanSeconds, end);
        }
    });
    auto* open = new QPushButton(QStringLiteral("Otwórz zapis..."), this);
    open->setObjectName(QStringLiteral("openButton"));
    connect(open, &QPushButton::clicked, this, [this] { OnChooseFile(); });
    exportButton = new QPushButton(QStringLiteral("Eksport..."), this);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    connect(exportButton, &QPushButton::clicked, this, [this] { OnExport(); });
    top->addWidget(sourceLabel, 1);
    top->addWidget(liveButton);
    top->addWidget(followCheck);
    top->addWidget(new QLabel(QStringLiteral("Zakres:"), this));
    top->addWidget(spanCombo);
    statisticsCheck = new QCheckBox(QStringLiteral("Statystyki"), this);
    statisticsCheck->setObjectName(QStringLiteral("statisticsCheck"));
    connect(statisticsCheck, &QCheckBox::toggled, this, [this](bool on) { ShowStatistics(on); });
    top->addWidget(statisticsCheck);
    compareButton = new QPushButton(QStringLiteral("Porównaj..."), this);
    compareButton->setObjectName(QStringLiteral("compareButton"));
    connect(compareButton, &QPushButton::clicked, this, [this] { OnCompareMenu(); });
    top->addWidget(open);
    top->addWidget(compareButton);
    top->addWidget(exportButton);

    channelList = new QTreeWidget(this);
    channelList->setObjectName(QStringLiteral("channelList"));
    channelList->setHeaderLabel(QStringLiteral("Kanały"));
    channelList->setMinimumWidth(180);
    formatNote = new QLabel(
        QStringLiteral("Plik .qdx nie zapisuje czujników TQ28 ani średniej TQ22, sondy TQ22 "
                       "tylko do pierwszej nieobecnej, a jednostki ciśnienia TQ24 (hPa lub Pa) "
                       "nie podaje. Pełny zapis ma plik tekstowy."),
        this);
    formatNote->setObjectName(QStringLiteral("formatNote"));
    formatNote->setWordWrap(true);
    formatNote->setVisible(false);
    connect(channelList, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
        if (updatingList || !item->data(0, kChannelRole).isValid())
            return;
        const int channel = item->data(0, kChannelRole).toInt();
        const QString key = Utf8(ShownStore().Channel(channel).key);
        if (item->checkState(0) == Qt::Checked)
            this->settings.hiddenChannels.removeAll(key);
        else if (!this->settings.hiddenChannels.contains(key))
            this->settings.hiddenChannels.append(key);
        RebuildGraphs();
    });

    plot = new QCustomPlot(this);
    plot->setObjectName(QStringLiteral("trendPlot"));
    plot->setMinimumSize(300, 200);
    // Tick labels with a decimal comma and no thousands separator, whatever LANG says.
    QLocale polish(QLocale::Polish, QLocale::Poland);
    polish.setNumberOptions(QLocale::OmitGroupSeparator);
    plot->setLocale(polish);
    plot->setFocusPolicy(Qt::StrongFocus);
    plot->installEventFilter(this);
    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { OnPlotMenu(at); });
    plot->setNoAntialiasingOnDrag(true);
    plot->setNotAntialiasedElements(QCP::aeAll);
    plot->setPlottingHint(QCP::phFastPolylines, true);
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot->axisRect()->setRangeDrag(Qt::Horizontal);
    plot->axisRect()->setRangeZoom(Qt::Horizontal);
    QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
    ticker->setDateTimeSpec(Qt::LocalTime);
    plot->xAxis->setTicker(ticker);
    plot->yAxis2->setVisible(false);
    axes = std::make_unique<CTrendAxes>(*plot);
    readoutLine = new QCPItemStraightLine(plot);
    readoutLine->setPen(QPen(QColor(0x60, 0x60, 0x60), 1, Qt::DashLine));
    readoutLine->setVisible(false);
    readoutLine->setSelectable(false);
    for (int k = 0; k < 2; ++k) {
        cursorLines[k] = new QCPItemStraightLine(plot);
        cursorLines[k]->setPen(
            QPen(k == 0 ? QColor(0xb0, 0x30, 0x30) : QColor(0x30, 0x30, 0xb0), 1));
        cursorLines[k]->setVisible(false);
        cursorLines[k]->setSelectable(false);
    }
    connect(plot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this] { Refresh(); });
    connect(plot, &QCustomPlot::mousePress, this, [this] {
        // Moving the view by hand stops following the newest samples.
        followCheck->setChecked(false);
    });
    connect(plot, &QCustomPlot::mouseWheel, this, [this] { followCheck->setChecked(false); });
    connect(plot, &QCustomPlot::mouseDoubleClick, this, [this] { ShowAll(); });
    connect(plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { OnPointerMove(e); });

    auto* listColumn = new QWidget(this);
    auto* listLayout = new QVBoxLayout(listColumn);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->addWidget(channelList, 1);
    listLayout->addWidget(formatNote);
    statisticsBox = new QWidget(this);
    auto* statisticsLayout = new QVBoxLayout(statisticsBox);
    statisticsLayout->setContentsMargins(0, 0, 0, 0);
    statisticsRange = new QLabel(statisticsBox);
    statisticsRange->setObjectName(QStringLiteral("statisticsRange"));
    statisticsRange->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statistics = new CTrendStatistics(statisticsBox);
    connect(statistics, &CTrendStatistics::rangeTextChanged, statisticsRange, &QLabel::setText);
    statisticsLayout->addWidget(statisticsRange);
    statisticsLayout->addWidget(statistics, 1);
    statisticsBox->setVisible(false);
    auto* plotColumn = new QSplitter(Qt::Vertical, this);
    plotColumn->addWidget(plot);
    plotColumn->addWidget(statisticsBox);
    plotColumn->setStretchFactor(0, 3);
    plotColumn->setStretchFactor(1, 1);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(listColumn);
    splitter->addWidget(plotColumn);
    splitter->setStretchFactor(1, 1);

    auto* bottom = new QHBoxLayout;
    pointerLabel = new QLabel(this);
    pointerLabel->setObjectName(QStringLiteral("pointerLabel"));
    pointerLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // However long the read-out, it wraps within a fixed height and never widens the window.
    pointerLabel->setWordWrap(true);
    pointerLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    pointerLabel->setFixedHeight(pointerLabel->fontMetrics().lineSpacing() * 3);
    pointerLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    summaryLabel = new QLabel(this);
    summaryLabel->setObjectName(QStringLiteral("summaryLabel"));
    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setRange(0, 1000);
    progressBar->setVisible(false);
    cancelButton = new QPushButton(QStringLiteral("Anuluj"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setVisible(false);
    connect(cancelButton, &QPushButton::clicked, this, [this] { CancelOpening(); });
    bottom->addWidget(pointerLabel, 1);
    bottom->addWidget(summaryLabel);
    bottom->addWidget(progressBar);
    bottom->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(splitter, 1);
    layout->addLayout(bottom);
}

const CSampleStore& CTrendWnd::ShownStore() const {
    return fileStore ? *fileStore : live.Store();
}

std::vector<int> CTrendWnd::DrawnChannels() const {
    std::vector<int> out;
    for (const Drawn& d : drawn) {
        if (d.store == nullptr)
            out.push_back(d.channel);
    }
    return out;
}

void CTrendWnd::SyncChannelList() {
    const CSampleStore& store = ShownStore();
    if (channelItems.size() == store.ChannelCount())
        return;
    updatingList = true;
    for (std::size_t c = channelItems.size(); c < store.ChannelCount(); ++c) {
        const ChannelInfo& info = store.Channel(static_cast<int>(c));
        const QString group = GroupName(info);
        QTreeWidgetItem* parent = nullptr;
        for (int i = 0; i < channelList->topLevelItemCount() && parent == nullptr; ++i) {
            if (channelList->topLevelItem(i)->text(0) == group)
                parent = channelList->topLevelItem(i);
        }
        if (parent == nullptr) {
            parent = new QTreeWidgetItem(channelList, QStringList(group));
            parent->setFlags(parent->flags() | Qt::ItemIsAutoTristate | Qt::ItemIsUserCheckable);
            parent->setExpanded(true);
        }
        auto* item = new QTreeWidgetItem(parent, QStringList(ChannelName(info)));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setData(0, kChannelRole, static_cast<int>(c));
        item->setCheckState(
            0, settings.hiddenChannels.contains(Utf8(info.key)) ? Qt::Unchecked : Qt::Checked);
        item->setToolTip(0, Utf8(info.title));
        item->setIcon(0, Swatch(LineColour(info)));
        channelItems.push_back(item);
    }
    updatingList = false;
    RebuildGraphs();
}

void CTrendWnd::RebuildGraphs() {
    plot->clearGraphs();
    axes->Clear();
    drawn.clear();
    const CSampleStore& store = ShownStore();
    std::vector<int> measured;
    std::vector<int> binary;
    for (std::size_t c = 0; c < channelItems.size(); ++c) {
        if (channelItems[c]->checkState(0) == Qt::Checked)
            (store.Channel(static_cast<int>(c)).binary ? binary : measured)
                .push_back(static_cast<int>(c));
    }
    auto add = [&](int c, QCPAxis* axis, double offset) {
        const ChannelInfo& info = store.Channel(c);
        QCPGraph* graph = plot->addGraph(axis->axisRect()->axis(QCPAxis::atBottom), axis);
        graph->setName(LegendName(info));
        QPen pen(LineColour(info));
        pen.setCosmetic(true);  // one pixel wide at any zoom, drawn without a stroker
        graph->setPen(pen);
        graph->setAdaptiveSampling(false);  // the store has decimated already
        if (info.binary)
            graph->setLineStyle(QCPGraph::lsStepLeft);
        drawn.push_back({c, axis, info.binary, offset});
    };
    for (int c : measured)
        add(c, axes->ValueAxis(Utf8(AxisUnit(store.Channel(c)))), 0);
    if (!binary.empty()) {
        // Their own lane under the plot: steps over days would cover every line.
        QCPAxis* lane = axes->BinaryAxis(static_cast<int>(binary.size()));
        for (std::size_t k = 0; k < binary.size(); ++k)
            add(binary[k], lane, CTrendAxes::LaneOffset(static_cast<int>(k)));
    }
    AddComparedGraphs();
    FitLegend();
    axes->Fit();
    Refresh();
}

void CTrendWnd::FitLegend() {
    // As many legend columns as the longest name leaves room for: a legend wider than the plot
    // would squeeze the axis rectangle and with it the axes.
    const QFontMetrics metrics(plot->legend->font());
    int widest = 150;
    for (int g = 0; g < plot->graphCount(); ++g)
        widest = std::max(widest, metrics.horizontalAdvance(plot->graph(g)->name()));
    const int item = widest + plot->legend->iconSize().width() + plot->legend->iconTextPadding() +
                     plot->legend->columnSpacing() + 20;
    plot->legend->setWrap(std::max(1, plot->width() / item));
    plot->legend->setFillOrder(plot->legend->fillOrder(), true);  // the items already there too
}

void CTrendWnd::Refresh() {
    if (refreshing)
        return;
    refreshing = true;
    const CSampleStore& store = ShownStore();
    const QCPRange range = plot->xAxis->range();
    const int columns = std::max(1, plot->axisRect()->width());
    axes->UpdateTimeAxis();
    const auto t0 = static_cast<int64_t>(std::floor(range.lower * 1000));
    const auto t1 = static_cast<int64_t>(std::ceil(range.upper * 1000));
    const double dx = (range.upper - range.lower) / columns;
    QMap<QCPAxis*, QCPRange> valueRanges;
    for (std::size_t g = 0; g < drawn.size(); ++g) {
        const CSampleStore& from = drawn[g].store != nullptr ? *drawn[g].store : store;
        const int64_t shift = drawn[g].shiftMs;
        const auto points = ColumnsToPolyline(
            from.Columns(drawn[g].channel, t0 - shift, t1 - shift, columns), range.lower, dx);
        QVector<QCPGraphData> data;
        data.reserve(static_cast<qsizetype>(points.size()));
        bool any = false;
        double lo = 0, hi = 0;
        for (const TrendPoint& p : points) {
            data.append(QCPGraphData(p.x, p.y + drawn[g].offset));
            if (std::isnan(p.y))
                continue;
            lo = any ? std::min(lo, p.y) : p.y;
            hi = any ? std::max(hi, p.y) : p.y;
            any = true;
        }
        plot->graph(static_cast<int>(g))->data()->set(data, true);
        if (any) {
            auto it = valueRanges.find(drawn[g].axis);
            if (it == valueRanges.end())
                valueRanges.insert(drawn[g].axis, QCPRange(lo, hi));
            else
                *it = QCPRange(std::min(it->lower, lo), std::max(it->upper, hi));
        }
    }
    for (const Drawn& d : drawn) {
        if (d.binary)
            continue;  // the lane's range is fixed
        if (const auto fixed = axes->AxisLimits(d.axis)) {
            d.axis->setRange(fixed->first, fixed->second);
            continue;
        }
        QCPRange r = valueRanges.value(d.axis, QCPRange(0, 1));
        const double margin = r.size() > 0 ? r.size() * 0.05 : 1.0;
        d.axis->setRange(r.lower - margin, r.upper + margin);
    }
    UpdateStatistics();
    plot->replot(QCustomPlot::rpQueuedReplot);
    refreshing = false;
}

void CTrendWnd::SetTimeRange(double from, double to) {
    plot->xAxis->setRange(from, to);  // rangeChanged redraws
}

void CTrendWnd::ShowAll() {
    const CSampleStore& store = ShownStore();
    if (store.Empty())
        return;
    const double from = static_cast<double>(store.FirstTime()) / 1000;
    const double to = std::max(static_cast<double>(store.LastTime()) / 1000, from + 10);
    // A margin, so the first and the last sample lie inside the drawn range.
    const double margin = std::max(1.0, (to - from) * 0.01);
    SetTimeRange(from - margin, to + margin);
}

void CTrendWnd::SetFollowing(bool on) {
    followCheck->setChecked(on);
}

void CTrendWnd::FollowNewest() {
    const CSampleStore& store = ShownStore();
    const double end = store.Empty()
                           ? static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000
                           : static_cast<double>(store.LastTime()) / 1000;
    SetTimeRange(end - settings.spanSeconds, end + std::max(1, settings.spanSeconds / 100));
}

void CTrendWnd::OnLiveCycle() {
    if (!ShowingLive() || !isVisible())
        return;
    SyncChannelList();
    if (followCheck->isChecked()) {
        FollowNewest();
    } else {
        const double newest = static_cast<double>(live.Store().LastTime()) / 1000;
        if (plot->xAxis->range().contains(newest))
            Refresh();
    }
}

QString CTrendWnd::ValueTextAt(double seconds) const {
    const CSampleStore& store = ShownStore();
    const auto t = static_cast<int64_t>(std::llround(seconds * 1000));
    const int64_t reach = ReachMs();
    QStringList parts;
    int64_t shownTime = -1;
    for (const Drawn& d : drawn) {
        if (d.store != nullptr)
            continue;  // the read-out names the shown recording's values
        const auto sample = store.Nearest(d.channel, t, reach);
        if (!sample)
            continue;
        if (shownTime < 0)
            shownTime = sample->tMs;
        parts << QStringLiteral("%1: %2").arg(PointerName(store.Channel(d.channel)),
                                              ValueText(store.Channel(d.channel), sample->value));
    }
    const QString when = QDateTime::fromMSecsSinceEpoch(shownTime >= 0 ? shownTime : t)
                             .toString(QStringLiteral("yyyy.MM.dd HH:mm:ss"));
    return parts.isEmpty() ? when : when + QStringLiteral("  ") + parts.join(QStringLiteral("; "));
}

void CTrendWnd::OnPointerMove(QMouseEvent* event) {
    if (!plot->axisRect()->rect().contains(event->position().toPoint())) {
        pointerLabel->clear();
        return;
    }
    pointerLabel->setText(ValueTextAt(plot->xAxis->pixelToCoord(event->position().x())));
}

bool CTrendWnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == plot && event->type() == QEvent::KeyPress &&
        OnKey(static_cast<QKeyEvent*>(event)))
        return true;
    if (watched == plot && event->type() == QEvent::Wheel) {
        // Over a value axis the wheel zooms that axis, which keeps its limits from then on.
        auto* wheel = static_cast<QWheelEvent*>(event);
        const QPoint at = wheel->position().toPoint();
        if (const auto unit = axes->UnitAt(at)) {
            const QCPAxis* axis = axes->UnitAxes().value(*unit);
            const double factor = wheel->angleDelta().y() > 0 ? 0.8 : 1.25;
            axes->ZoomUnit(
                *unit, factor,
                axis->pixelToCoord(axis->orientation() == Qt::Vertical ? at.y() : at.x()));
            Refresh();
            return true;
        }
    }
    if (watched == plot && event->type() == QEvent::Resize && axes) {
        FitLegend();
        axes->Fit();
        Refresh();
    }
    return QWidget::eventFilter(watched, event);
}

void CTrendWnd::OpenRecording(const QString& path) {
    progressBar->setValue(0);
    progressBar->setVisible(true);
    cancelButton->setVisible(true);
    sourceLabel->setText(QStringLiteral("Wczytywanie: %1").arg(QFileInfo(path).fileName()));
    loader->Start(path);
}

void CTrendWnd::CancelOpening() {
    loader->Cancel();
}

bool CTrendWnd::Opening() const {
    return loader->Busy();
}

void CTrendWnd::OnLoaded(const std::shared_ptr<RecordingRead>& read) {
    progressBar->setVisible(false);
    cancelButton->setVisible(false);
    if (!read->store) {
        sourceLabel->setText(ShowingLive() ? QStringLiteral("Pomiary bieżące")
                                           : QFileInfo(filePath).fileName());
        if (!read->cancelled)
            Tell(Utf8(read->error));
        emit recordingFailed(Utf8(read->error));
        return;
    }
    ClearCursors();  // before the store changes under the drawn channels
    StopComparing();
    fileStore = std::move(read->store);
    fileSummary = read->summary;
    filePath = loader->Path();
    sourceLabel->setText(QFileInfo(filePath).fileName());
    sourceLabel->setToolTip(filePath);
    QString summary = QStringLiteral("Rekordy: %1, przerwy: %2, uszkodzone: %3")
                          .arg(fileSummary.records)
                          .arg(fileSummary.gaps)
                          .arg(fileSummary.badRecords);
    if (fileSummary.backInTime > 0)
        summary += QStringLiteral(", cofnięty czas: %1").arg(fileSummary.backInTime);
    summaryLabel->setText(summary);
    formatNote->setVisible(fileSummary.format == RecordingFormat::Qdx);
    summaryLabel->setToolTip(Utf8(DescribeSummary(fileSummary)));
    liveButton->setEnabled(true);
    followCheck->blockSignals(true);
    followCheck->setChecked(false);
    followCheck->blockSignals(false);
    channelList->clear();
    channelItems.clear();
    SyncChannelList();
    ShowAll();
    emit recordingShown(filePath);
}

void CTrendWnd::ShowLive() {
    ClearCursors();
    StopComparing();
    fileStore.reset();
    filePath.clear();
    sourceLabel->setText(QStringLiteral("Pomiary bieżące"));
    sourceLabel->setToolTip(QString());
    summaryLabel->clear();
    summaryLabel->setToolTip(QString());
    formatNote->setVisible(false);
    liveButton->setEnabled(false);
    channelList->clear();
    channelItems.clear();
    SyncChannelList();
    followCheck->setChecked(true);
    FollowNewest();
}

void CTrendWnd::OnChooseFile() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Otwórz zapis"), QString(),
        QStringLiteral("Zapisy pomiarów (*.txt *.csv *.qdx);;Wszystkie pliki (*)"));
    if (!path.isEmpty())
        OpenRecording(path);
}

void CTrendWnd::Tell(const QString& text) {
    // Not modal: the window keeps drawing live samples while the message is up.
    auto* box =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("orvex"), text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("trendMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void CTrendWnd::SaveGeometry() {
    if (isVisible() && !isMinimized() && !isMaximized())
        settings.geometry = QRect(pos(), size());
}

void CTrendWnd::closeEvent(QCloseEvent* event) {
    SaveGeometry();
    loader->Cancel();
    QWidget::closeEvent(event);
}

void CTrendWnd::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    SaveGeometry();
}

void CTrendWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    SaveGeometry();
}

void CTrendWnd::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    SyncChannelList();
    if (followCheck->isChecked())
        FollowNewest();
}

void CTrendWnd::dragEnterEvent(QDragEnterEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.front().isLocalFile())
        event->acceptProposedAction();
}

void CTrendWnd::dropEvent(QDropEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.front().isLocalFile()) {
        event->acceptProposedAction();
        OpenRecording(urls.front().toLocalFile());
    }
}
