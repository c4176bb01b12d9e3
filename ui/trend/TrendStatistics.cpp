#include "ui/trend/TrendStatistics.h"

#include <QDateTime>
#include <QHeaderView>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "text/ReadingText.h"
#include "trend/SampleStore.h"
#include "ui/trend/ChannelTexts.h"

namespace {

QString Stamp(int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy.MM.dd HH:mm:ss"));
}

// The channel's value with one more decimal than it was read with: a mean or a difference.
QString Figure(const ChannelInfo& c, double v, int extra) {
    return Utf8(DecimalCommaText(v, std::max(c.decimals, 0) + extra));
}

}  // namespace

QString DurationText(int64_t ms) {
    const bool negative = ms < 0;
    ms = std::llabs(ms);
    const int64_t days = ms / 86400000;
    const int64_t rest = ms % 86400000;
    QString text = QStringLiteral("%1:%2:%3")
                       .arg(rest / 3600000, 2, 10, QLatin1Char('0'))
                       .arg(rest / 60000 % 60, 2, 10, QLatin1Char('0'))
                       .arg(rest / 1000 % 60, 2, 10, QLatin1Char('0'));
    if (rest % 1000 != 0)
        text += QStringLiteral(",%1").arg(rest % 1000, 3, 10, QLatin1Char('0'));
    if (days > 0)
        text = QStringLiteral("%1 d %2").arg(days).arg(text);
    return negative ? QLatin1Char('-') + text : text;
}

CTrendStatistics::CTrendStatistics(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("statisticsTable"));
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setHeaderLabels({QStringLiteral("Kanał"), QStringLiteral("Min"), QStringLiteral("Maks"),
                     QStringLiteral("Średnia"), QStringLiteral("Próbki"), QStringLiteral("A"),
                     QStringLiteral("B"), QStringLiteral("Δ (B − A)")});
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

void CTrendStatistics::Show(const CSampleStore& store, const std::vector<int>& channels, int64_t t0,
                            int64_t t1, const Cursors& cursors, int64_t reachMs) {
    const bool between = cursors.a && cursors.b;
    if (between) {
        t0 = std::min(*cursors.a, *cursors.b);
        t1 = std::max(*cursors.a, *cursors.b) + 1;  // the later cursor's sample included
    }
    QString text = between
                       ? QStringLiteral("Między kursorami: %1 – %2, Δt = %3")
                             .arg(Stamp(t0), Stamp(t1 - 1), DurationText(*cursors.b - *cursors.a))
                       : QStringLiteral("Widoczny zakres: %1 – %2").arg(Stamp(t0), Stamp(t1));
    if (text != rangeText) {
        rangeText = text;
        emit rangeTextChanged(text);
    }
    setUpdatesEnabled(false);
    while (topLevelItemCount() > static_cast<int>(channels.size()))
        delete takeTopLevelItem(topLevelItemCount() - 1);
    for (std::size_t row = 0; row < channels.size(); ++row) {
        QTreeWidgetItem* item = topLevelItem(static_cast<int>(row));
        if (item == nullptr)
            item = new QTreeWidgetItem(this);
        const int c = channels[row];
        const ChannelInfo& info = store.Channel(c);
        item->setText(0, LegendName(info));
        item->setForeground(0, LineColour(info));
        const CSampleStore::Statistics s = store.RangeStatistics(c, t0, t1);
        const bool any = s.count > 0;
        item->setText(1, any ? Figure(info, s.min, 0) : QString());
        item->setText(2, any ? Figure(info, s.max, 0) : QString());
        item->setText(3, any ? Figure(info, s.Mean(), 1) : QString());
        item->setText(4, QString::number(s.count));
        std::optional<float> at[2];
        const std::optional<int64_t>* where[2] = {&cursors.a, &cursors.b};
        for (int k = 0; k < 2; ++k) {
            if (*where[k]) {
                if (const auto sample = store.Nearest(c, **where[k], reachMs))
                    at[k] = sample->value;
            }
            item->setText(5 + k, at[k] ? Figure(info, *at[k], 0) : QString());
        }
        item->setText(
            7, at[0] && at[1] ? Figure(info, static_cast<double>(*at[1]) - *at[0], 0) : QString());
        for (int col = 1; col < 8; ++col)
            item->setTextAlignment(col, Qt::AlignRight | Qt::AlignVCenter);
    }
    setUpdatesEnabled(true);
}
