#pragma once
#include <QColor>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "trend/RecordingReader.h"
#include "ui/trend/TrendSettings.h"

class QCheckBox;
class QComboBox;
class QCPAxis;
class QCustomPlot;
class QLabel;
class QMouseEvent;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class CRecordingLoader;
class CTrendLive;

// The non-modal "Wykres" window: every channel as a line over time, live from the driver's
// cycles or from an opened recording file. Lines are drawn from the store's min/max pyramid as
// one min/max pair per pixel column, so the painter never sees more than two points per column
// and channel whatever the span.
class CTrendWnd : public QWidget {
    Q_OBJECT
public:
    // live: the program's live samples; settings: kept up to date for orvex.ini.
    CTrendWnd(CTrendLive& live, TrendSettings& settings, QWidget* parent = nullptr);
    ~CTrendWnd() override;

    // The colour of an input's text in the main window (0 .. 7), used where readable on white.
    std::function<QColor(int input)> inputColour;

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
    // Shown time range in seconds since the epoch.
    void SetTimeRange(double from, double to);
    void ShowAll();
    void SetFollowing(bool on);
    // The text of the value under the pointer for a time in seconds since the epoch.
    QString ValueTextAt(double seconds) const;
    // Redraw the lines now (the window normally does it when the view changes).
    void Refresh();

signals:
    void recordingShown(const QString& path);
    void recordingFailed(const QString& message);

protected:
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
    void FollowNewest();
    void OnPointerMove(QMouseEvent* event);
    void OnChooseFile();
    void OnExport();
    void Tell(const QString& text);
    void SaveGeometry();
    QColor ChannelColour(int channel, int order) const;

    CTrendLive& live;
    TrendSettings& settings;
    std::unique_ptr<CSampleStore> fileStore;
    RecordingSummary fileSummary;
    QString filePath;
    CRecordingLoader* loader = nullptr;

    QCustomPlot* plot = nullptr;
    QTreeWidget* channelList = nullptr;
    QCheckBox* followCheck = nullptr;
    QComboBox* spanCombo = nullptr;
    QLabel* sourceLabel = nullptr;
    QLabel* pointerLabel = nullptr;
    QLabel* summaryLabel = nullptr;
    QProgressBar* progressBar = nullptr;
    QPushButton* cancelButton = nullptr;
    QPushButton* liveButton = nullptr;

    struct Drawn {
        int channel;
        QCPAxis* axis;
        bool binary;
    };
    std::vector<Drawn> drawn;
    QMap<QString, QCPAxis*> unitAxes;
    std::vector<QTreeWidgetItem*> channelItems;  // by channel index of the shown store
    bool updatingList = false;
    bool refreshing = false;
};
