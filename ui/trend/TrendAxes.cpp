#include "ui/trend/TrendAxes.h"

#include <qcustomplot.h>
#include <QTimeZone>
#include <algorithm>

namespace {

constexpr int kLaneLineHeight = 16;  // pixels per binary input in the step lane

}  // namespace

CTrendAxes::CTrendAxes(QCustomPlot& plot) : plot(plot) {
    margins = new QCPMarginGroup(&plot);
    plot.axisRect()->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
    // The legend lives in its own row under the plot, so it never covers a line.
    plot.axisRect()->insetLayout()->take(plot.legend);
    plot.plotLayout()->addElement(1, 0, plot.legend);
    plot.plotLayout()->setRowStretchFactor(1, 0.001);
    plot.legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    plot.legend->setBorderPen(Qt::NoPen);
    plot.legend->setIconSize(18, 8);
    plot.legend->setRowSpacing(0);
    plot.legend->setVisible(true);
    plot.xAxis->setLabel(TimeAxisLabel());
}

void CTrendAxes::Clear() {
    for (QCPAxis* axis : unitAxes) {
        if (axis != plot.yAxis && axis != plot.yAxis2)
            plot.axisRect()->removeAxis(axis);
    }
    unitAxes.clear();
    order.clear();
    plot.yAxis2->setVisible(false);
    plot.yAxis->setVisible(true);
    plot.yAxis->setLabel(QString());
    if (lane != nullptr) {
        plot.plotLayout()->remove(lane);
        plot.plotLayout()->simplify();
        lane = nullptr;
    }
}

QCPAxis* CTrendAxes::ValueAxis(const QString& unit) {
    if (QCPAxis* axis = unitAxes.value(unit, nullptr))
        return axis;
    const int n = static_cast<int>(unitAxes.size());
    QCPAxis* axis = nullptr;
    if (n == 0) {
        axis = plot.yAxis;
    } else if (n == 1) {
        axis = plot.yAxis2;
    } else {
        axis = plot.axisRect()->addAxis(n % 2 == 0 ? QCPAxis::atLeft : QCPAxis::atRight);
    }
    axis->setLabel(unit.isEmpty() ? QStringLiteral("—") : unit);
    // Many units share the width: keep each axis narrow.
    axis->setPadding(2);
    axis->setLabelPadding(2);
    axis->setTickLabelPadding(3);
    axis->ticker()->setTickCount(4);
    axis->setVisible(true);
    unitAxes.insert(unit, axis);
    order.append(unit);
    return axis;
}

QCPAxis* CTrendAxes::BinaryAxis(int lines) {
    if (lane == nullptr) {
        lane = new QCPAxisRect(&plot);
        plot.plotLayout()->insertRow(1);
        plot.plotLayout()->addElement(1, 0, lane);
        lane->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
        // Dragging or wheeling over the lane moves the common time axis.
        lane->setRangeDragAxes(plot.xAxis, nullptr);
        lane->setRangeZoomAxes(plot.xAxis, nullptr);
        QCPAxis* time = lane->axis(QCPAxis::atBottom);
        time->setTickLabels(false);
        time->setTicks(false);
        QCPAxis* value = lane->axis(QCPAxis::atLeft);
        value->setTicks(false);
        value->setTickLabels(false);
        value->setLabel(QStringLiteral("0/1"));
        value->setPadding(2);
        value->setLabelPadding(2);
        QObject::connect(plot.xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), time,
                         qOverload<const QCPRange&>(&QCPAxis::setRange));
        time->setRange(plot.xAxis->range());
    }
    const int height = kLaneLineHeight * std::max(lines, 1) + 6;
    lane->setMinimumSize(0, height);
    lane->setMaximumSize(QWIDGETSIZE_MAX, height);
    lane->setAutoMargins(QCP::msLeft | QCP::msRight);
    lane->setMargins(QMargins(0, 2, 0, 2));
    QCPAxis* value = lane->axis(QCPAxis::atLeft);
    value->setRange(-0.25, LaneOffset(std::max(lines, 1) - 1) + 1.25);
    return value;
}

bool CTrendAxes::UnitShown(const QString& unit) const {
    const QCPAxis* axis = unitAxes.value(unit, nullptr);
    return axis != nullptr && axis->visible();
}

void CTrendAxes::SetUnitHidden(const QString& unit, bool hidden) {
    if (hidden)
        hiddenUnits.insert(unit);
    else
        hiddenUnits.remove(unit);
    Fit();
}

void CTrendAxes::Fit() {
    for (const QString& unit : order)
        unitAxes[unit]->setVisible(!hiddenUnits.contains(unit));
    // Laying out is what measures the axes; only then is the plot's width known. A queued replot
    // would leave the last layout's widths to be measured here.
    plot.replot(QCustomPlot::rpRefreshHint);
    const int half = plot.width() / 2;
    // The first unit's axis stays: a plot without any value scale says nothing.
    for (auto i = order.size() - 1; i > 0; --i) {
        if (plot.axisRect()->width() >= half)
            break;
        QCPAxis* axis = unitAxes[order[i]];
        if (!axis->visible())
            continue;
        axis->setVisible(false);
        plot.replot(QCustomPlot::rpRefreshHint);
    }
    UpdateTimeAxis();
    plot.replot(QCustomPlot::rpQueuedReplot);
}

void CTrendAxes::SetUnitLimits(const QString& unit, double lower, double upper) {
    if (!(lower < upper))
        return;
    limits.insert(unit, {lower, upper});
    if (QCPAxis* axis = unitAxes.value(unit, nullptr))
        axis->setRange(lower, upper);
}

void CTrendAxes::ClearUnitLimits(const QString& unit) {
    limits.remove(unit);
}

std::optional<CTrendAxes::Limits> CTrendAxes::UnitLimits(const QString& unit) const {
    const auto it = limits.find(unit);
    return it == limits.end() ? std::nullopt : std::optional<Limits>(*it);
}

std::optional<CTrendAxes::Limits> CTrendAxes::AxisLimits(const QCPAxis* axis) const {
    for (auto it = unitAxes.begin(); it != unitAxes.end(); ++it) {
        if (it.value() == axis)
            return UnitLimits(it.key());
    }
    return std::nullopt;
}

void CTrendAxes::ZoomUnit(const QString& unit, double factor, double about) {
    const QCPAxis* axis = unitAxes.value(unit, nullptr);
    if (axis == nullptr)
        return;
    const QCPRange r = axis->range();
    SetUnitLimits(unit, about - (about - r.lower) * factor, about + (r.upper - about) * factor);
}

std::optional<QString> CTrendAxes::UnitAt(const QPoint& pos) const {
    for (auto it = unitAxes.begin(); it != unitAxes.end(); ++it) {
        if (it.value()->visible() && it.value()->selectTest(pos, false) >= 0)
            return it.key();
    }
    return std::nullopt;
}

QString CTrendAxes::TimeAxisLabel() {
    const QByteArray zone = QTimeZone::systemTimeZoneId();
    return zone.isEmpty() ? QStringLiteral("Czas lokalny")
                          : QStringLiteral("Czas lokalny (%1)").arg(QString::fromUtf8(zone));
}

void CTrendAxes::UpdateTimeAxis() {
    auto ticker = plot.xAxis->ticker().dynamicCast<QCPAxisTickerDateTime>();
    if (!ticker)
        return;
    const QCPRange range = plot.xAxis->range();
    // Seconds matter within hours, dates across days.
    QString format = range.size() <= 6 * 3600    ? QStringLiteral("HH:mm:ss")
                     : range.size() <= 4 * 86400 ? QStringLiteral("HH:mm\ndd.MM.yyyy")
                                                 : QStringLiteral("dd.MM.yyyy");
    // Across a change of the clocks the hour alone is ambiguous: name the offset.
    const QTimeZone zone = QTimeZone::systemTimeZone();
    if (format.startsWith(QLatin1String("HH")) && zone.hasTransitions()) {
        const auto from = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(range.lower * 1000));
        const QTimeZone::OffsetData next = zone.nextTransition(from);
        if (next.atUtc.isValid() && next.atUtc.toMSecsSinceEpoch() <= range.upper * 1000)
            format.insert(format.indexOf(QLatin1Char('\n')) < 0 ? format.size()
                                                                : format.indexOf(QLatin1Char('\n')),
                          QStringLiteral(" t"));
    }
    ticker->setDateTimeFormat(format);
    // The widest label with room for one more beside it: the ticker may choose up to about
    // twice the ticks asked for when it rounds to a whole step.
    const QFontMetrics metrics(plot.xAxis->tickLabelFont());
    int widest = 0;
    const QDateTime sample(QDate(2000, 12, 28), QTime(23, 58, 58));
    for (const QString& line : plot.locale().toString(sample, format).split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line + QStringLiteral("MM")));
    const int width = std::max(plot.axisRect()->width(), 1);
    ticker->setTickCount(std::clamp(width / std::max(widest * 2, 1), 1, 8));
}
