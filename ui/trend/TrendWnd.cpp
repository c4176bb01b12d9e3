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
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <fstream>

#include "trend/CsvExport.h"
#include "ui/trend/RecordingLoader.h"
#include "ui/trend/TrendLive.h"

namespace {

constexpr int kChannelRole = Qt::UserRole + 1;

// Distinct colours that read well on white.
const QColor kPalette[] = {
    QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
    QColor(0x94, 0x67, 0xbd), QColor(0xff, 0x7f, 0x0e), QColor(0x8c, 0x56, 0x4b),
    QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf), QColor(0x7f, 0x7f, 0x7f),
    QColor(0xbc, 0xbd, 0x22),
};

bool ReadableOnWhite(const QColor& c) {
    // Relative luminance of sRGB, roughly: too light a line vanishes on the white plot.
    return 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF() < 0.6;
}

QString Utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// "Wejście 3: TQ21 nr 1234", "TQ21 nr 1234", "Wejście binarne 5".
QString GroupName(const ChannelInfo& c) {
    if (c.binary)
        return QStringLiteral("Wejście binarne %1").arg(c.input);
    const QString sensor = QStringLiteral("%1 nr %2").arg(Utf8(c.model), Utf8(c.serial));
    return c.input > 0 ? QStringLiteral("Wejście %1: %2").arg(c.input).arg(sensor) : sensor;
}

QString ChannelName(const ChannelInfo& c) {
    if (c.binary)
        return QStringLiteral("stan");
    QString name = Utf8(c.quantity);
    if (name.isEmpty())
        name = QStringLiteral("Natężenie");
    return c.unit.empty() ? name : QStringLiteral("%1 [%2]").arg(name, Utf8(c.unit));
}

// "TQ21 1234 Temperatura", "Wejście binarne 5": which line, without the unit the value carries.
QString PointerName(const ChannelInfo& c) {
    if (c.binary)
        return QStringLiteral("Wejście binarne %1").arg(c.input);
    return QStringLiteral("%1 %2 %3")
        .arg(Utf8(c.model), Utf8(c.serial), Utf8(c.quantity))
        .trimmed();
}

QString ValueText(const ChannelInfo& c, float v) {
    if (c.binary)
        return v != 0 ? QStringLiteral("włączone") : QStringLiteral("wyłączone");
    // The screen uses a decimal comma, as the main window does.
    QString text = QString::number(static_cast<double>(v), 'f', std::max(c.decimals, 0));
    text.replace(QLatin1Char('.'), QLatin1Char(','));
    return c.unit.empty() ? text : text + QLatin1Char(' ') + Utf8(c.unit);
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
    auto* exportButton = new QPushButton(QStringLiteral("Eksport..."), this);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    connect(exportButton, &QPushButton::clicked, this, [this] { OnExport(); });
    top->addWidget(sourceLabel, 1);
    top->addWidget(liveButton);
    top->addWidget(followCheck);
    top->addWidget(new QLabel(QStringLiteral("Zakres:"), this));
    top->addWidget(spanCombo);
    top->addWidget(open);
    top->addWidget(exportButton);

    channelList = new QTreeWidget(this);
    channelList->setObjectName(QStringLiteral("channelList"));
    channelList->setHeaderLabel(QStringLiteral("Kanały"));
    channelList->setMinimumWidth(180);
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
    plot->setNoAntialiasingOnDrag(true);
    plot->setNotAntialiasedElements(QCP::aeAll);
    plot->setPlottingHint(QCP::phFastPolylines, true);
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot->axisRect()->setRangeDrag(Qt::Horizontal);
    plot->axisRect()->setRangeZoom(Qt::Horizontal);
    QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
    ticker->setDateTimeSpec(Qt::LocalTime);
    ticker->setDateTimeFormat(QStringLiteral("dd.MM.yyyy\nHH:mm:ss"));
    ticker->setTickCount(5);
    plot->xAxis->setTicker(ticker);
    plot->yAxis2->setVisible(false);
    connect(plot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this] { Refresh(); });
    connect(plot, &QCustomPlot::mousePress, this, [this] {
        // Moving the view by hand stops following the newest samples.
        followCheck->setChecked(false);
    });
    connect(plot, &QCustomPlot::mouseWheel, this, [this] { followCheck->setChecked(false); });
    connect(plot, &QCustomPlot::mouseDoubleClick, this, [this] { ShowAll(); });
    connect(plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { OnPointerMove(e); });

    auto* splitter = new QSplitter(this);
    splitter->addWidget(channelList);
    splitter->addWidget(plot);
    splitter->setStretchFactor(1, 1);

    auto* bottom = new QHBoxLayout;
    pointerLabel = new QLabel(this);
    pointerLabel->setObjectName(QStringLiteral("pointerLabel"));
    pointerLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
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
    for (const Drawn& d : drawn)
        out.push_back(d.channel);
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
        channelItems.push_back(item);
    }
    updatingList = false;
    RebuildGraphs();
}

QColor CTrendWnd::ChannelColour(int channel, int order) const {
    const ChannelInfo& info = ShownStore().Channel(channel);
    if (inputColour && info.input > 0) {
        // The input's own colour for its first channel, when it reads on white.
        bool first = true;
        for (int c = 0; c < channel; ++c) {
            if (ShownStore().Channel(c).input == info.input && !ShownStore().Channel(c).binary)
                first = false;
        }
        const QColor colour = inputColour(info.input - 1);
        // A colour that several inputs share (the default) would not tell their lines apart.
        bool own = true;
        for (int other = 0; other < 8 && own; ++other)
            own = other == info.input - 1 || inputColour(other) != colour;
        if (first && own && colour.isValid() && ReadableOnWhite(colour))
            return colour;
    }
    return kPalette[order % (sizeof kPalette / sizeof kPalette[0])];
}

void CTrendWnd::RebuildGraphs() {
    plot->clearGraphs();
    for (QCPAxis* axis : unitAxes) {
        if (axis != plot->yAxis && axis != plot->yAxis2)
            plot->axisRect()->removeAxis(axis);
    }
    unitAxes.clear();
    drawn.clear();
    plot->yAxis2->setVisible(false);
    const CSampleStore& store = ShownStore();
    int order = 0;
    // Binary inputs first, so their steps lie beneath the measured lines.
    std::vector<std::size_t> chosen;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t c = 0; c < channelItems.size(); ++c) {
            if (channelItems[c]->checkState(0) == Qt::Checked &&
                store.Channel(static_cast<int>(c)).binary == (pass == 0)) {
                chosen.push_back(c);
            }
        }
    }
    for (std::size_t c : chosen) {
        const ChannelInfo& info = store.Channel(static_cast<int>(c));
        const QString unit = Utf8(AxisUnit(info));
        QCPAxis* axis = unitAxes.value(unit, nullptr);
        if (axis == nullptr) {
            // The first unit on the left, the second on the right, then alternating outwards.
            const int n = static_cast<int>(unitAxes.size());
            if (n == 0) {
                axis = plot->yAxis;
            } else if (n == 1) {
                axis = plot->yAxis2;
                axis->setVisible(true);
            } else {
                axis = plot->axisRect()->addAxis(n % 2 == 0 ? QCPAxis::atLeft : QCPAxis::atRight);
            }
            axis->setLabel(unit.isEmpty() ? QStringLiteral("—") : unit);
            // Many units share the width: keep each axis narrow.
            axis->setPadding(2);
            axis->setLabelPadding(2);
            axis->setTickLabelPadding(3);
            axis->ticker()->setTickCount(4);
            unitAxes.insert(unit, axis);
        }
        QCPGraph* graph = plot->addGraph(plot->xAxis, axis);
        graph->setName(Utf8(info.title));
        QPen pen(ChannelColour(static_cast<int>(c), order++));
        pen.setCosmetic(true);  // one pixel wide at any zoom, drawn without a stroker
        graph->setPen(pen);
        graph->setAdaptiveSampling(false);  // the store has decimated already
        if (info.binary)
            graph->setLineStyle(QCPGraph::lsStepLeft);
        drawn.push_back({static_cast<int>(c), axis, info.binary});
    }
    if (unitAxes.isEmpty())
        plot->yAxis->setLabel(QString());
    Refresh();
}

void CTrendWnd::Refresh() {
    if (refreshing)
        return;
    refreshing = true;
    const CSampleStore& store = ShownStore();
    const QCPRange range = plot->xAxis->range();
    const int columns = std::max(1, plot->axisRect()->width());
    if (auto ticker = plot->xAxis->ticker().dynamicCast<QCPAxisTickerDateTime>()) {
        // Seconds matter within hours, dates across days.
        ticker->setDateTimeFormat(range.size() <= 6 * 3600    ? QStringLiteral("HH:mm:ss")
                                  : range.size() <= 4 * 86400 ? QStringLiteral("HH:mm\ndd.MM.yyyy")
                                                              : QStringLiteral("dd.MM.yyyy"));
    }
    const auto t0 = static_cast<int64_t>(std::floor(range.lower * 1000));
    const auto t1 = static_cast<int64_t>(std::ceil(range.upper * 1000));
    const double dx = (range.upper - range.lower) / columns;
    QMap<QCPAxis*, QCPRange> valueRanges;
    for (std::size_t g = 0; g < drawn.size(); ++g) {
        const auto points =
            ColumnsToPolyline(store.Columns(drawn[g].channel, t0, t1, columns), range.lower, dx);
        QVector<QCPGraphData> data;
        data.reserve(static_cast<qsizetype>(points.size()));
        bool any = false;
        double lo = 0, hi = 0;
        for (const TrendPoint& p : points) {
            data.append(QCPGraphData(p.x, p.y));
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
        if (d.binary) {
            d.axis->setRange(-0.1, 1.1);
            continue;
        }
        QCPRange r = valueRanges.value(d.axis, QCPRange(0, 1));
        const double margin = r.size() > 0 ? r.size() * 0.05 : 1.0;
        d.axis->setRange(r.lower - margin, r.upper + margin);
    }
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
    const int width = std::max(1, plot->axisRect()->width());
    // Within a few pixel columns of the pointer, and never less than a few seconds.
    const auto reach = std::max<int64_t>(
        3000, static_cast<int64_t>(plot->xAxis->range().size() * 1000 / width * 4));
    QStringList parts;
    int64_t shownTime = -1;
    for (const Drawn& d : drawn) {
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

void CTrendWnd::OpenRecording(const QString& path) {
    summaryLabel->clear();
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
    fileStore = std::move(read->store);
    fileSummary = read->summary;
    filePath = loader->Path();
    sourceLabel->setText(QFileInfo(filePath).fileName());
    sourceLabel->setToolTip(filePath);
    summaryLabel->setText(QStringLiteral("Rekordy: %1, przerwy: %2, uszkodzone: %3")
                              .arg(fileSummary.records)
                              .arg(fileSummary.gaps)
                              .arg(fileSummary.badRecords));
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
    fileStore.reset();
    filePath.clear();
    sourceLabel->setText(QStringLiteral("Pomiary bieżące"));
    sourceLabel->setToolTip(QString());
    summaryLabel->clear();
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

void CTrendWnd::OnExport() {
    QMenu menu(this);
    QAction* png = menu.addAction(QStringLiteral("Obraz PNG..."));
    QAction* pdf = menu.addAction(QStringLiteral("Dokument PDF..."));
    menu.addAction(QStringLiteral("Dane widocznego zakresu (CSV)..."));
    QAction* chosen = menu.exec(QCursor::pos());
    if (chosen == nullptr)
        return;
    const QString filter = chosen == png   ? QStringLiteral("Obraz PNG (*.png)")
                           : chosen == pdf ? QStringLiteral("Dokument PDF (*.pdf)")
                                           : QStringLiteral("Plik CSV (*.csv)");
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Eksport"), QString(), filter);
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

bool CTrendWnd::ExportPng(const QString& path) {
    return plot->savePng(path);
}

bool CTrendWnd::ExportPdf(const QString& path) {
    return plot->savePdf(path);
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
