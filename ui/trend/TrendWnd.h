#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "trend/RecordingReader.h"
#include "ui/trend/TrendSettings.h"

class QCheckBox;
class QComboBox;
class QCPAxis;
class QCPItemStraightLine;
class QCustomPlot;
class QKeyEvent;
class QLabel;
class QMouseEvent;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class CRecordingLoader;
class CTrendAxes;
class CTrendLive;
class CTrendStatistics;

// The non-modal "Wykres" window: every channel as a line over time, live from the driver's
// cycles or from an opened recording file. Lines are drawn from the store's min/max pyramid as
// one min/max pair per pixel column, so the painter never sees more than two points per column
// and channel whatever the span. The scales are CTrendAxes', the pictures TrendExport's; the
// keyboard, cursors and statistics live in TrendWndCursors.cpp, the exports in TrendWndExport.cpp.
class CTrendWnd : public QWidget {
    Q_OBJECT
public:
    // live: the program's live samples; settings: kept up to date for orvex.ini.
    CTrendWnd(CTrendLive& live, TrendSettings& settings, QWidget* parent = nullptr);
    ~CTrendWnd() override;

    // Reads a recording on a worker thread and shows it when done.
    void OpenRecording(const QString& path);
    void CancelOpening();
    bool Opening() const;
    // Back to the live samples.
    void ShowLive();
    bool ShowingLive() const { return fileStore == nullptr; }

    bool ExportPng(const QString& path);
    bool ExportPdf(const QString& path);
    // The visible range of the drawn channels as a text recording; error (Polish) when false.
    bool ExportCsv(const QString& path, QString* error);

    const CSampleStore& ShownStore() const;
    std::vector<int> DrawnChannels() const;
    QCustomPlot* Plot() const { return plot; }
    CTrendAxes& Axes() const { return *axes; }
    // Shown time range in seconds since the epoch.
    void SetTimeRange(double from, double to);
    void ShowAll();
    void SetFollowing(bool on);
    // The text of the value under the pointer for a time in seconds since the epoch.
    QString ValueTextAt(double seconds) const;
    // The keyboard read-out's time (seconds since the epoch), NaN when it is off.
    double ReadoutTime() const { return readoutAt; }
    // Redraw the lines now (the window normally does it when the view changes).
    void Refresh();

    // Cursor 0 (A) or 1 (B) at a time in seconds since the epoch; the statistics then cover
    // the span between them.
    void SetCursor(int k, double seconds);
    void ClearCursors();
    std::optional<int64_t> CursorMs(int k) const { return cursorAt[k]; }
    void ShowStatistics(bool on);
    CTrendStatistics* Statistics() const { return statistics; }

    // Another recording, or the shown one shifted by shiftMs (a day, a week), drawn dashed over
    // the shown channels on the same unit axes. A second recording is drawn where it lies in time
    // when the two overlap, else moved so that both start together.
    void CompareShifted(int64_t shiftMs);
    void CompareWithFile(const QString& path);
    void StopComparing();
    bool Comparing() const { return compare.mode != CompareMode::None; }
    // Compared lines drawn now (one per channel shown for comparison).
    int ComparedGraphs() const;

signals:
    void recordingShown(const QString& path);
    void recordingFailed(const QString& message);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildUi();
    void OnLiveCycle();
    void OnLoaded(const std::shared_ptr<RecordingRead>& read);
    void SyncChannelList();
    void RebuildGraphs();
    void FitLegend();
    void FollowNewest();
    void OnPointerMove(QMouseEvent* event);
    bool OnKey(QKeyEvent* event);
    void MoveReadout(double seconds);
    void OnPlotMenu(const QPoint& at);
    void AskUnitLimits(const QString& unit);
    void UpdateStatistics();
    int64_t ReachMs() const;
    void OnChooseFile();
    void OnExport();
    void OnCompareMenu();
    void OnCompareLoaded(const std::shared_ptr<RecordingRead>& read);
    void AddComparedGraphs();
    QString SourceTitle() const;
    void Tell(const QString& text);
    void SaveGeometry();

    CTrendLive& live;
    TrendSettings& settings;
    std::unique_ptr<CSampleStore> fileStore;
    RecordingSummary fileSummary;
    QString filePath;
    CRecordingLoader* loader = nullptr;
    CRecordingLoader* compareLoader = nullptr;
    enum class CompareMode { None, Shifted, File };
    struct Compare {
        CompareMode mode = CompareMode::None;
        int64_t shiftMs = 0;                  // added to the compared samples' times
        std::unique_ptr<CSampleStore> store;  // the other recording
        QString name;                         // for the legend
    } compare;
    QPushButton* compareButton = nullptr;

    QCustomPlot* plot = nullptr;
    std::unique_ptr<CTrendAxes> axes;
    QTreeWidget* channelList = nullptr;
    QLabel* formatNote = nullptr;
    QCheckBox* followCheck = nullptr;
    QComboBox* spanCombo = nullptr;
    QLabel* sourceLabel = nullptr;
    QLabel* pointerLabel = nullptr;
    QLabel* summaryLabel = nullptr;
    QProgressBar* progressBar = nullptr;
    QPushButton* cancelButton = nullptr;
    QPushButton* liveButton = nullptr;
    QPushButton* exportButton = nullptr;
    QCPItemStraightLine* readoutLine = nullptr;
    QCPItemStraightLine* cursorLines[2] = {nullptr, nullptr};
    std::optional<int64_t> cursorAt[2];
    QCheckBox* statisticsCheck = nullptr;
    QWidget* statisticsBox = nullptr;
    QLabel* statisticsRange = nullptr;
    CTrendStatistics* statistics = nullptr;
    double readoutAt = std::nan("");

    struct Drawn {
        int channel;
        QCPAxis* axis;
        bool binary;
        double offset;                        // of a binary input's line in its lane
        const CSampleStore* store = nullptr;  // a compared line's; null: the shown store
        int64_t shiftMs = 0;
    };
    std::vector<Drawn> drawn;
    std::vector<QTreeWidgetItem*> channelItems;  // by channel index of the shown store
    bool updatingList = false;
    bool refreshing = false;
};
