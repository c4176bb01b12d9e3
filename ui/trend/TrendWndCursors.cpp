// The trend window's keyboard, read-out, cursors, statistics and the plot's context menu.
#include <qcustomplot.h>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <algorithm>
#include <cmath>

#include "ui/trend/TrendAxes.h"
#include "ui/trend/TrendStatistics.h"
#include "ui/trend/TrendWnd.h"

bool CTrendWnd::OnKey(QKeyEvent* event) {
    const QCPRange range = plot->xAxis->range();
    const double centre = std::isnan(readoutAt) ? range.center() : readoutAt;
    const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            followCheck->setChecked(false);
            SetTimeRange(centre - (centre - range.lower) / 2, centre + (range.upper - centre) / 2);
            return true;
        case Qt::Key_Minus:
            followCheck->setChecked(false);
            SetTimeRange(centre - (centre - range.lower) * 2, centre + (range.upper - centre) * 2);
            return true;
        case Qt::Key_Left:
        case Qt::Key_Right: {
            const double sign = event->key() == Qt::Key_Left ? -1 : 1;
            if (shift) {
                // The read-out steps by a few pixel columns.
                const double step = range.size() / std::max(1, plot->axisRect()->width()) * 4;
                MoveReadout(std::clamp(centre + sign * step, range.lower, range.upper));
                return true;
            }
            followCheck->setChecked(false);
            SetTimeRange(range.lower + sign * range.size() / 10,
                         range.upper + sign * range.size() / 10);
            if (!std::isnan(readoutAt))
                MoveReadout(readoutAt + sign * range.size() / 10);
            return true;
        }
        case Qt::Key_A:
        case Qt::Key_B:
            SetCursor(event->key() == Qt::Key_A ? 0 : 1, centre);
            return true;
        case Qt::Key_Delete:
            ClearCursors();
            return true;
        case Qt::Key_Home:
            followCheck->setChecked(false);
            ShowAll();
            return true;
        case Qt::Key_Escape:
            if (std::isnan(readoutAt))
                return false;
            readoutAt = std::nan("");
            readoutLine->setVisible(false);
            pointerLabel->clear();
            plot->replot(QCustomPlot::rpQueuedReplot);
            return true;
        default:
            return false;
    }
}

void CTrendWnd::MoveReadout(double seconds) {
    readoutAt = seconds;
    readoutLine->point1->setCoords(seconds, 0);
    readoutLine->point2->setCoords(seconds, 1);
    readoutLine->setVisible(true);
    pointerLabel->setText(ValueTextAt(seconds));
    plot->replot(QCustomPlot::rpQueuedReplot);
}

int64_t CTrendWnd::ReachMs() const {
    // Within a few pixel columns, and never less than a few seconds.
    const int width = std::max(1, plot->axisRect()->width());
    return std::max<int64_t>(3000,
                             static_cast<int64_t>(plot->xAxis->range().size() * 1000 / width * 4));
}

void CTrendWnd::UpdateStatistics() {
    if (!statisticsBox->isVisibleTo(this))
        return;
    const QCPRange range = plot->xAxis->range();
    statistics->Show(ShownStore(), DrawnChannels(),
                     static_cast<int64_t>(std::ceil(range.lower * 1000)),
                     static_cast<int64_t>(std::floor(range.upper * 1000)),
                     {cursorAt[0], cursorAt[1]}, ReachMs());
}

void CTrendWnd::ShowStatistics(bool on) {
    if (statisticsCheck->isChecked() != on)
        statisticsCheck->setChecked(on);  // comes back here through toggled
    statisticsBox->setVisible(on);
    UpdateStatistics();
}

void CTrendWnd::SetCursor(int k, double seconds) {
    cursorAt[k] = static_cast<int64_t>(std::llround(seconds * 1000));
    cursorLines[k]->point1->setCoords(seconds, 0);
    cursorLines[k]->point2->setCoords(seconds, 1);
    cursorLines[k]->setVisible(true);
    if (cursorAt[0] && cursorAt[1])
        ShowStatistics(true);
    UpdateStatistics();
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void CTrendWnd::ClearCursors() {
    for (int k = 0; k < 2; ++k) {
        cursorAt[k].reset();
        cursorLines[k]->setVisible(false);
    }
    UpdateStatistics();
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void CTrendWnd::OnPlotMenu(const QPoint& at) {
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("plotMenu"));
    const double seconds = plot->xAxis->pixelToCoord(at.x());
    connect(menu.addAction(QStringLiteral("Kursor A tutaj")), &QAction::triggered, this,
            [this, seconds] { SetCursor(0, seconds); });
    connect(menu.addAction(QStringLiteral("Kursor B tutaj")), &QAction::triggered, this,
            [this, seconds] { SetCursor(1, seconds); });
    QAction* clear = menu.addAction(QStringLiteral("Usuń kursory"));
    clear->setEnabled(cursorAt[0] || cursorAt[1]);
    connect(clear, &QAction::triggered, this, [this] { ClearCursors(); });
    menu.addSeparator();
    const QStringList units = axes->UnitAxes().keys();
    for (const QString& unit : units) {
        QAction* action = menu.addAction(
            QStringLiteral("Oś %1").arg(unit.isEmpty() ? QStringLiteral("—") : unit));
        action->setCheckable(true);
        action->setChecked(!axes->UnitHidden(unit));
        connect(action, &QAction::toggled, this, [this, unit](bool on) {
            axes->SetUnitHidden(unit, !on);
            Refresh();
        });
        connect(menu.addAction(QStringLiteral("Oś %1: zakres...").arg(unit)), &QAction::triggered,
                this, [this, unit] { AskUnitLimits(unit); });
        if (axes->UnitLimits(unit)) {
            connect(menu.addAction(QStringLiteral("Oś %1: zakres automatyczny").arg(unit)),
                    &QAction::triggered, this, [this, unit] {
                        axes->ClearUnitLimits(unit);
                        Refresh();
                    });
        }
    }
    menu.exec(plot->mapToGlobal(at));
}

void CTrendWnd::AskUnitLimits(const QString& unit) {
    QCPAxis* axis = axes->UnitAxes().value(unit, nullptr);
    if (axis == nullptr)
        return;
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Zakres osi %1").arg(unit));
    auto* form = new QFormLayout(&dialog);
    QDoubleSpinBox* bounds[2];
    for (int k = 0; k < 2; ++k) {
        bounds[k] = new QDoubleSpinBox(&dialog);
        bounds[k]->setLocale(plot->locale());
        bounds[k]->setRange(-1e6, 1e6);
        bounds[k]->setDecimals(2);
        bounds[k]->setValue(k == 0 ? axis->range().lower : axis->range().upper);
        form->addRow(k == 0 ? QStringLiteral("Od:") : QStringLiteral("Do:"), bounds[k]);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() == QDialog::Accepted && bounds[0]->value() < bounds[1]->value()) {
        axes->SetUnitLimits(unit, bounds[0]->value(), bounds[1]->value());
        Refresh();
    }
}
