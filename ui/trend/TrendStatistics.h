#pragma once
#include <QTreeWidget>
#include <cstdint>
#include <optional>
#include <vector>

class CSampleStore;

// The statistics under the plot: per drawn channel min, max, mean and the count of samples in
// the range (between the two cursors when both are placed, else the visible range), and each
// channel's value at the cursors with their difference. Figures come from the store's pyramid,
// so any range is as quick as a short one.
class CTrendStatistics : public QTreeWidget {
    Q_OBJECT
public:
    explicit CTrendStatistics(QWidget* parent = nullptr);

    struct Cursors {
        std::optional<int64_t> a;  // ms since the epoch
        std::optional<int64_t> b;
    };
    // reachMs: how far from a cursor a sample may lie to be its value.
    void Show(const CSampleStore& store, const std::vector<int>& channels, int64_t t0Ms,
              int64_t t1Ms, const Cursors& cursors, int64_t reachMs);
    // "Zakres: ..." with the cursors' Δt: what the rows were computed over.
    QString RangeText() const { return rangeText; }

signals:
    void rangeTextChanged(const QString& text);

private:
    QString rangeText;
};

// "2 d 03:04:05", "00:12:30.5": a span between cursors.
QString DurationText(int64_t ms);
