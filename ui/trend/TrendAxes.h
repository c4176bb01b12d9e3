#pragma once
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

class QCPAxis;
class QCPAxisRect;
class QCPMarginGroup;
class QCustomPlot;
class QPoint;

// The trend plot's scales: one value axis per unit (the first on the left, the second on the
// right, then alternating outwards), a step lane under the plot for binary inputs, a legend row
// at the bottom, and the time axis in local time naming its zone.
//
// Value axes that would leave the plot less than half the widget's width are hidden, the
// outermost first, as are the units the user hid; their lines are still drawn and read out.
// Time labels are spaced by their measured width, so they never overlap.
class CTrendAxes {
public:
    explicit CTrendAxes(QCustomPlot& plot);

    // Removes the value axes and the lane; the caller has removed the graphs.
    void Clear();
    // The axis of the unit, made on first use.
    QCPAxis* ValueAxis(const QString& unit);
    // The lane's value axis; lines k = 0, 1, ... are drawn offset by LaneOffset(k).
    QCPAxis* BinaryAxis(int lines);
    static double LaneOffset(int line) { return line * 1.5; }
    QCPAxisRect* BinaryLane() const { return lane; }
    const QMap<QString, QCPAxis*>& UnitAxes() const { return unitAxes; }

    // Hides what does not fit the widget now; call after a rebuild or a resize.
    void Fit();
    // Hidden by the user (kept while the window is open).
    void SetUnitHidden(const QString& unit, bool hidden);
    bool UnitHidden(const QString& unit) const { return hiddenUnits.contains(unit); }
    // Shown: neither hidden by the user nor for lack of room.
    bool UnitShown(const QString& unit) const;

    // Fixed limits of a unit's axis, kept while the window is open; without them the axis
    // follows its lines.
    using Limits = std::pair<double, double>;
    void SetUnitLimits(const QString& unit, double lower, double upper);
    void ClearUnitLimits(const QString& unit);
    std::optional<Limits> UnitLimits(const QString& unit) const;
    std::optional<Limits> AxisLimits(const QCPAxis* axis) const;
    // Zooms a unit's axis by factor (below 1: in) about a value; the result becomes its limits.
    void ZoomUnit(const QString& unit, double factor, double about);
    // The unit whose value axis lies under a point of the plot, if any.
    std::optional<QString> UnitAt(const QPoint& pos) const;

    // Label format and tick spacing of the time axis for its current range.
    void UpdateTimeAxis();
    // "Czas lokalny (Europe/Warsaw)".
    static QString TimeAxisLabel();

private:
    QCustomPlot& plot;
    QMap<QString, QCPAxis*> unitAxes;
    QStringList order;  // units in the order their axes were made
    QSet<QString> hiddenUnits;
    QMap<QString, Limits> limits;
    QCPAxisRect* lane = nullptr;
    QCPMarginGroup* margins = nullptr;
};
