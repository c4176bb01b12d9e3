// The trend window against orvex-sim, and recordings opened in it.
#include <qcustomplot.h>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <cmath>

#include "app/Settings.h"
#include "recording/format/BinaryRecordFormat.h"
#include "store/IniEx.h"
#include "tests/support/MakeReading.h"
#include "tests/support/SimProcess.h"
#include "tests/trend/FlatCycles.h"
#include "tests/ui/WindowOnSim.h"
#include "trend/RecordingReader.h"
#include "ui/trend/TrendWnd.h"

namespace {

const char* const kConfig = R"(device id=23073 serial=4711
input 1 type=1 serial=101 valid=3 values=45.3,-2.5
input 5 type=8 serial=505 values=1.0
)";

const std::string kTemperature = "1|TQ21 101 Temperatura [°C]";

// Breaks in the line drawn for the channel (NaN points of its graph).
int DrawnBreaks(CTrendWnd& w, int channel) {
    const auto channels = w.DrawnChannels();
    const auto at = std::find(channels.begin(), channels.end(), channel);
    if (at == channels.end())
        return -1;
    QCPGraph* graph = w.Plot()->graph(static_cast<int>(at - channels.begin()));
    int breaks = 0;
    for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it)
        breaks += std::isnan(it->value) ? 1 : 0;
    return breaks;
}

// A .qdx recording of n seconds of one TQ21, written by the recording code.
QString WriteQdx(const QTemporaryDir& dir, const QString& name, int seconds) {
    std::string bytes;
    for (int s = 0; s < seconds; ++s) {
        std::array<InputReading, 8> r{};
        r[0] = MakeReading(ModelTQ21, 9, {static_cast<int16_t>(300 + s % 100), 215});
        bytes += BuildBinaryRecord(r, {2024, 3, 7, 10 + s / 3600, (s / 60) % 60, s % 60});
    }
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return path;
}

}  // namespace

class TrendWindowTest : public QObject {
    Q_OBJECT
private slots:
    void liveChannelsGapsAndExport();
    void opensRecordingsAndRefusesOthers();
    void settingsRoundTrip();
};

void TrendWindowTest::liveChannelsGapsAndExport() {
    QTemporaryDir tmp;
    const auto ports = UseTestPorts(tmp);
    SimProcess sim({kConfig, {}});
    sim.LinkAs(ports, 7);
    COrvexDlg dlg;
    QVERIFY(ShowOnPort(dlg, 7));
    CTrendWnd* w = dlg.ShowTrendWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->windowTitle(), QStringLiteral("Wykres"));
    const CSampleStore& store = w->ShownStore();

    // A channel appears, with its sensor in the list.
    QTRY_VERIFY_WITH_TIMEOUT(store.FindChannel(kTemperature) >= 0, 15000);
    const int channel = store.FindChannel(kTemperature);
    QTRY_VERIFY_WITH_TIMEOUT(store.HasValues(channel), 15000);
    auto* list = w->findChild<QTreeWidget*>(QStringLiteral("channelList"));
    QVERIFY(!list->findItems(QStringLiteral("Wejście 1: TQ21 nr 101"), Qt::MatchExactly).isEmpty());
    QVERIFY(!list->findItems(QStringLiteral("Wejście binarne 5"), Qt::MatchExactly).isEmpty());
    QCOMPARE(store.Value(channel, store.CycleCount() - 1), -2.5f);

    // A silence leaves a gap: cycles without an answer, then values again.
    sim.Command("silence on");
    QTRY_VERIFY_WITH_TIMEOUT(std::isnan(store.Value(channel, store.CycleCount() - 1)), 30000);
    sim.Command("silence off");
    QTRY_VERIFY_WITH_TIMEOUT(!std::isnan(store.Value(channel, store.CycleCount() - 1)), 30000);
    w->SetFollowing(false);
    w->ShowAll();
    QVERIFY(DrawnBreaks(*w, channel) >= 1);
    QVERIFY(w->ValueTextAt(static_cast<double>(store.FirstTime()) / 1000)
                .contains(QStringLiteral("TQ21 101 Temperatura: -2,5 °C")));

    // Export: a picture, and samples that read back as the same values.
    const QString png = tmp.filePath("trend.png");
    QVERIFY(w->ExportPng(png));
    QImage image(png);
    QVERIFY(!image.isNull() && image.width() > 100);
    QString error;
    const QString csv = tmp.filePath("trend.csv");
    QVERIFY2(w->ExportCsv(csv, &error), qPrintable(error));
    const RecordingRead back = ReadRecordingFile(csv.toStdString());
    QVERIFY2(back.store, back.error.c_str());
    const int again = back.store->FindChannel("TQ21 101 Temperatura [°C]");
    QVERIFY(again >= 0);
    int compared = 0;
    const FlatCycles backCycles(*back.store);
    for (std::size_t i = 0; i < backCycles.CycleCount(); ++i) {
        const float v = backCycles.Value(again, i);
        if (std::isnan(v))
            continue;
        QCOMPARE(v, -2.5f);
        ++compared;
    }
    QVERIFY(compared > 0);
    dlg.reject();
}

void TrendWindowTest::opensRecordingsAndRefusesOthers() {
    QTemporaryDir tmp;
    UseTestPorts(tmp);
    COrvexDlg dlg;
    CTrendWnd* w = dlg.ShowTrendWindow();
    QSignalSpy shown(w, &CTrendWnd::recordingShown);
    QSignalSpy failed(w, &CTrendWnd::recordingFailed);

    w->OpenRecording(WriteQdx(tmp, QStringLiteral("a.qdx"), 120));
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 1, 10000);
    QVERIFY(!w->ShowingLive());
    QVERIFY(w->ShownStore().FindChannel("21,9,26,0") >= 0);
    QCOMPARE(FlatCycles(w->ShownStore()).CycleCount(), std::size_t{120});
    QCOMPARE(static_cast<int>(w->DrawnChannels().size()), 2);
    auto* summary = w->findChild<QLabel*>(QStringLiteral("summaryLabel"));
    const QString shownSummary = summary->text();
    QVERIFY(shownSummary.startsWith(QStringLiteral("Rekordy: 120,")));
    QVERIFY(w->findChild<QLabel*>(QStringLiteral("formatNote"))->isVisibleTo(w));

    // Cancelled at once: the window keeps what it showed and says nothing. The file is large
    // enough (64 MB) that the worker cannot have read it before the cancel.
    const QString big = WriteQdx(tmp, QStringLiteral("b.qdx"), 1);
    {
        QFile f(big);
        f.open(QIODevice::ReadOnly);
        const QByteArray one = f.readAll();
        f.close();
        f.open(QIODevice::WriteOnly);
        f.write(one.repeated(64 * 1024 * 1024 / one.size()));
    }
    w->OpenRecording(big);
    w->CancelOpening();
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
    QVERIFY(!w->Opening());
    QCOMPARE(FlatCycles(w->ShownStore()).CycleCount(), std::size_t{120});
    QCOMPARE(summary->text(), shownSummary);
    QVERIFY(w->findChild<QMessageBox*>(QStringLiteral("trendMessage")) == nullptr);

    // A dropped empty file: a message, not a crash.
    QFile empty(tmp.filePath("empty.qdx"));
    empty.open(QIODevice::WriteOnly);
    empty.close();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(empty.fileName())});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    // Straight to the window: outside a real drag the application routes no drop events.
    static_cast<QObject*>(w)->event(&drop);
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 2, 10000);
    auto* box = w->findChild<QMessageBox*>(QStringLiteral("trendMessage"));
    QVERIFY(box != nullptr);
    QCOMPARE(box->text(), QStringLiteral("Plik jest pusty."));

    w->ShowLive();
    QVERIFY(w->ShowingLive());
    QVERIFY(!w->findChild<QLabel*>(QStringLiteral("formatNote"))->isVisibleTo(w));
}

void TrendWindowTest::settingsRoundTrip() {
    COrvexDlg dlg;
    dlg.trendSettings.inUse = true;
    dlg.trendSettings.geometry = QRect(30, 40, 800, 500);
    dlg.trendSettings.spanSeconds = 3600;
    dlg.trendSettings.hiddenChannels = {QStringLiteral("1|TQ21 101 Wilgotność [%]"),
                                        QStringLiteral("Wejście binarne 5")};
    CIniEx ini;
    ini.LoadText("[GENERAL]\r\nPORT_NR=3\r\n", true);
    SaveSettings(ini, dlg);
    COrvexDlg other;
    LoadSettings(ini, other);
    QCOMPARE(other.trendSettings.geometry, dlg.trendSettings.geometry);
    QCOMPARE(other.trendSettings.spanSeconds, 3600);
    QCOMPARE(other.trendSettings.hiddenChannels, dlg.trendSettings.hiddenChannels);
    // A file without the section gives the defaults.
    CIniEx old;
    old.LoadText("[GENERAL]\r\nPORT_NR=3\r\n", true);
    COrvexDlg third;
    LoadSettings(old, third);
    QVERIFY(third.trendSettings.geometry.isEmpty());
    QCOMPARE(third.trendSettings.spanSeconds, 600);
    // A program that never opened the window writes no section.
    CIniEx unused;
    unused.LoadText("[GENERAL]\r\nPORT_NR=3\r\n", true);
    SaveSettings(unused, third);
    QVERIFY(!QString::fromStdString(unused.ToText()).contains(QStringLiteral("[TREND]")));
    // Once opened it does.
    third.ShowTrendWindow();
    SaveSettings(unused, third);
    QVERIFY(QString::fromStdString(unused.ToText()).contains(QStringLiteral("[TREND]")));
}

QTEST_MAIN(TrendWindowTest)
#include "TrendWindowTest.moc"
