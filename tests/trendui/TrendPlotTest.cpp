// The trend plot's readability with a real window: colours, legend, the binary lane, axes that
// fit, the read-out, the keyboard, the export's pictures and menu, and the live gaps.
#include <qcustomplot.h>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>
#include <QtTest>
#include <cmath>
#include <ctime>

#include "device/PollingCycle.h"
#include "tests/trend/TrendFiles.h"
#include "trend/ChannelColour.h"
#include "ui/trend/ChannelTexts.h"
#include "ui/trend/TrendAxes.h"
#include "ui/trend/TrendExport.h"
#include "ui/trend/TrendLive.h"
#include "ui/trend/TrendStatistics.h"
#include "ui/trend/TrendWnd.h"

namespace {

// Eight inputs' worth of channels for ten minutes at one second: five units and a binary input.
QString WriteBusyRecording(const QTemporaryDir& dir) {
    TextFileWriter w('\t');
    for (int s = 0; s < 600; ++s) {
        Readings r{};
        r[0] = Tq21(101, static_cast<int16_t>(400 + s % 50), static_cast<int16_t>(-20 + s % 30));
        InputReading probes = MakeReading(ModelTQ22, 22, {});
        for (int p = 0; p < 8; ++p)
            probes.probeValues[p] = static_cast<int16_t>(100 * p + s % 40);
        r[1] = probes;
        r[2] = MakeReading(ModelTQ23, 23, {10132, 481, 217});
        r[3] = MakeReading(ModelTQ25, 25, {static_cast<int16_t>(s % 360), 35});
        r[7].isBinary = 1;
        r[7].binaryState = static_cast<uint8_t>(s / 60 % 2);
        w.Row(r, s);
    }
    const QString path = dir.filePath(QStringLiteral("hala.txt"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(w.bytes.data(), static_cast<qint64>(w.bytes.size()));
    return path;
}

QCPGraph* GraphOf(CTrendWnd& w, int channel) {
    const auto channels = w.DrawnChannels();
    const auto at = std::find(channels.begin(), channels.end(), channel);
    return at == channels.end() ? nullptr
                                : w.Plot()->graph(static_cast<int>(at - channels.begin()));
}

// The rectangles the time axis' labels take, left to right.
QVector<QRect> TimeLabelRects(QCustomPlot& plot) {
    const QFontMetrics metrics(plot.xAxis->tickLabelFont());
    QVector<QRect> rects;
    const auto ticks = plot.xAxis->tickVector();
    const auto labels = plot.xAxis->tickVectorLabels();
    for (int i = 0; i < ticks.size(); ++i) {
        const double x = plot.xAxis->coordToPixel(ticks[i]);
        if (x < plot.axisRect()->left() - 1 || x > plot.axisRect()->right() + 1)
            continue;
        const QRect r = metrics.boundingRect(QRect(0, 0, 10000, 10000), Qt::AlignLeft, labels[i]);
        rects.append(QRect(static_cast<int>(x) - r.width() / 2, 0, r.width(), r.height()));
    }
    return rects;
}

struct OpenedWindow {
    CTrendLive live;
    TrendSettings settings;
    CTrendWnd window{live, settings};
};

bool OpenAndWait(CTrendWnd& w, const QString& path) {
    QSignalSpy shown(&w, &CTrendWnd::recordingShown);
    w.OpenRecording(path);
    return shown.wait(20000) || shown.count() == 1;
}

// The window at the tests' size, shown, with the busy recording opened in it.
bool ShowBusyRecording(CTrendWnd& w, const QTemporaryDir& tmp) {
    w.resize(900, 520);
    w.show();
    return QTest::qWaitForWindowExposed(&w) && OpenAndWait(w, WriteBusyRecording(tmp));
}

// Three days at one minute of one TQ21 whose temperature is 20 °C on the first day, 25 on the
// second and 30 on the third, and a binary input; base is added to the temperature.
QString WriteDays(const QTemporaryDir& dir, const QString& name, int base, int startSecond = 0) {
    TextFileWriter w(';');
    for (int s = 0; s < 3 * 86400; s += 60) {
        Readings r{};
        r[0] = Tq21(101, 500, static_cast<int16_t>(200 + 50 * (s / 86400) + base));
        r[7].isBinary = 1;
        r[7].binaryState = static_cast<uint8_t>(s / 3600 % 2);
        w.Row(r, startSecond + s);
    }
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(w.bytes.data(), static_cast<qint64>(w.bytes.size()));
    return path;
}

QCPGraph* GraphNamed(QCustomPlot& plot, const QString& name) {
    for (int g = 0; g < plot.graphCount(); ++g) {
        if (plot.graph(g)->name() == name)
            return plot.graph(g);
    }
    return nullptr;
}

// The values a graph draws between two times (seconds since the epoch), NaN breaks left out.
QSet<double> ValuesBetween(QCPGraph* graph, double from, double to) {
    QSet<double> out;
    for (auto it = graph->data()->findBegin(from, false); it != graph->data()->constEnd(); ++it) {
        if (it->key > to)
            break;
        if (!std::isnan(it->value))
            out.insert(std::round(it->value * 10) / 10);
    }
    return out;
}

}  // namespace

class TrendPlotTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void coloursLegendAndLane();
    void axesAndLabelsFit();
    void readoutKeepsTheWindowsSize();
    void keyboardZoomPanHomeAndReadout();
    void picturesAndTheExportMenu();
    void cursorsAndStatistics();
    void valueAxisZoomAndLimits();
    void timeAxisNamesTheZone();
    void failedInputLeavesALiveGap();
    void compareOverlaysOnTheSharedAxes();
};

void TrendPlotTest::initTestCase() {
    qputenv("TZ", "Europe/Warsaw");
    tzset();
}

void TrendPlotTest::coloursLegendAndLane() {
    QTemporaryDir tmp;
    OpenedWindow o;
    CTrendWnd& w = o.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(OpenAndWait(w, WriteBusyRecording(tmp)));
    const CSampleStore& store = w.ShownStore();
    auto* list = w.findChild<QTreeWidget*>(QStringLiteral("channelList"));
    int checked = 0;
    for (QTreeWidgetItemIterator it(list); *it != nullptr; ++it) {
        if (!(*it)->data(0, Qt::UserRole + 1).isValid())
            continue;
        const int channel = (*it)->data(0, Qt::UserRole + 1).toInt();
        const QColor colour = LineColour(store.Channel(channel));
        // The list's swatch, the line and the legend show the same colour.
        const QImage swatch = (*it)->icon(0).pixmap(12, 12).toImage();
        QCOMPARE(swatch.pixelColor(6, 6), colour);
        QCPGraph* graph = GraphOf(w, channel);
        QVERIFY(graph != nullptr);
        QCOMPARE(graph->pen().color(), colour);
        QVERIFY(w.Plot()->legend->itemWithPlottable(graph) != nullptr);
        QCOMPARE(graph->name(), LegendName(store.Channel(channel)));
        ++checked;
    }
    QCOMPARE(checked, static_cast<int>(store.ChannelCount()));
    QVERIFY(w.Plot()->legend->visible());
    // The binary input in its lane, the measured lines on the plot.
    const int binary = store.FindChannel("Wejście binarne 8");
    QVERIFY(binary >= 0);
    QCOMPARE(GraphOf(w, binary)->valueAxis()->axisRect(), w.Axes().BinaryLane());
    QCOMPARE(GraphOf(w, store.FindChannel("TQ21 101 Temperatura [°C]"))->valueAxis()->axisRect(),
             w.Plot()->axisRect());
    // The .qdx note is for .qdx files only.
    QVERIFY(w.findChild<QLabel*>(QStringLiteral("formatNote"))->isHidden());
}

void TrendPlotTest::axesAndLabelsFit() {
    QTemporaryDir tmp;
    OpenedWindow o;
    CTrendWnd& w = o.window;
    QVERIFY(ShowBusyRecording(w, tmp));
    QCustomPlot& plot = *w.Plot();
    for (const auto& span : {std::pair{0.0, 600.0}, std::pair{100.0, 130.0}}) {
        const double t0 = static_cast<double>(EpochMsAt(0)) / 1000;
        w.SetTimeRange(t0 + span.first, t0 + span.second);
        plot.replot(QCustomPlot::rpImmediateRefresh);
        QVERIFY2(
            plot.axisRect()->width() * 2 >= plot.width(),
            qPrintable(QStringLiteral("%1 of %2").arg(plot.axisRect()->width()).arg(plot.width())));
        const QVector<QRect> rects = TimeLabelRects(plot);
        QVERIFY(rects.size() >= 2);
        for (int i = 1; i < rects.size(); ++i)
            QVERIFY2(!rects[i].intersects(rects[i - 1]),
                     qPrintable(plot.xAxis->tickVectorLabels()[i]));
    }
    // Five units, one axis each; the user may hide any, its lines stay.
    QCOMPARE(static_cast<int>(w.Axes().UnitAxes().size()), 5);
    const QString first = w.Axes().UnitAxes().key(plot.yAxis);
    QVERIFY(w.Axes().UnitShown(first));
    w.Axes().SetUnitHidden(first, true);
    QVERIFY(!w.Axes().UnitShown(first));
    QCOMPARE(static_cast<int>(w.DrawnChannels().size()),
             static_cast<int>(w.ShownStore().ChannelCount()));
    w.Axes().SetUnitHidden(first, false);
    QVERIFY(w.Axes().UnitShown(first));
}

void TrendPlotTest::readoutKeepsTheWindowsSize() {
    QTemporaryDir tmp;
    OpenedWindow o;
    CTrendWnd& w = o.window;
    QVERIFY(ShowBusyRecording(w, tmp));
    QTest::qWait(50);
    const QSize before = w.size();
    const QRect area = w.Plot()->axisRect()->rect();
    QMouseEvent move(QEvent::MouseMove, area.center(), w.Plot()->mapToGlobal(area.center()),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w.Plot(), &move);
    auto* label = w.findChild<QLabel*>(QStringLiteral("pointerLabel"));
    QVERIFY(label->text().size() > 300);  // every channel's value: far wider than the window
    QVERIFY(label->text().contains(QStringLiteral("TQ21 101 Temperatura: ")));
    QTest::qWait(50);
    QCOMPARE(w.size(), before);
    QVERIFY(label->width() <= w.width());
}

void TrendPlotTest::keyboardZoomPanHomeAndReadout() {
    QTemporaryDir tmp;
    OpenedWindow o;
    CTrendWnd& w = o.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(OpenAndWait(w, WriteBusyRecording(tmp)));
    QCustomPlot* plot = w.Plot();
    QCOMPARE(plot->focusPolicy(), Qt::StrongFocus);
    const QCPRange whole = plot->xAxis->range();
    // Seconds since the epoch: equal to well under a millisecond.
    auto near = [](double a, double b) { return std::abs(a - b) < 1e-3; };
    QTest::keyClick(plot, Qt::Key_Plus);
    QVERIFY(near(plot->xAxis->range().size(), whole.size() / 2));
    QVERIFY(near(plot->xAxis->range().center(), whole.center()));
    QTest::keyClick(plot, Qt::Key_Right);
    QVERIFY(near(plot->xAxis->range().center(), whole.center() + whole.size() / 20));
    QTest::keyClick(plot, Qt::Key_Minus);
    QTest::keyClick(plot, Qt::Key_Minus);
    QVERIFY(near(plot->xAxis->range().size(), whole.size() * 2));
    QTest::keyClick(plot, Qt::Key_Home);
    QCOMPARE(plot->xAxis->range(), whole);
    // The read-out by keyboard: from the middle, a step at a time.
    QVERIFY(std::isnan(w.ReadoutTime()));
    QTest::keyClick(plot, Qt::Key_Right, Qt::ShiftModifier);
    const double first = w.ReadoutTime();
    QVERIFY(first > whole.center());
    QTest::keyClick(plot, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(plot, Qt::Key_Left, Qt::ShiftModifier);
    QVERIFY(w.ReadoutTime() < whole.center());
    auto* label = w.findChild<QLabel*>(QStringLiteral("pointerLabel"));
    QCOMPARE(label->text(), w.ValueTextAt(w.ReadoutTime()));
    QVERIFY(label->text().contains(QStringLiteral(" °C")));
    // Cursors where the read-out stands.
    QTest::keyClick(plot, Qt::Key_A);
    QCOMPARE(*w.CursorMs(0), static_cast<int64_t>(std::llround(w.ReadoutTime() * 1000)));
    QVERIFY(!w.CursorMs(1));
    QTest::keyClick(plot, Qt::Key_Delete);
    QVERIFY(!w.CursorMs(0));
    QTest::keyClick(plot, Qt::Key_Escape);
    QVERIFY(std::isnan(w.ReadoutTime()));
}

void TrendPlotTest::cursorsAndStatistics() {
    QCOMPARE(DurationText(315000), QStringLiteral("00:05:15"));
    QCOMPARE(DurationText(90061500), QStringLiteral("1 d 01:01:01,500"));

    QTemporaryDir tmp;
    OpenedWindow o;
    CTrendWnd& w = o.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(OpenAndWait(w, WriteBusyRecording(tmp)));
    const double t0 = static_cast<double>(EpochMsAt(0)) / 1000;
    w.SetCursor(0, t0 + 100);
    w.SetCursor(1, t0 + 415);
    CTrendStatistics* table = w.Statistics();
    QVERIFY(table->isVisible());
    QVERIFY(table->RangeText().contains(QStringLiteral("Δt = 00:05:15")));
    // The file's temperature at second s is (s mod 30 - 20) / 10 °C.
    const QString name = QStringLiteral("TQ21 101 Temperatura [°C]");
    const auto rows = table->findItems(name, Qt::MatchExactly);
    QCOMPARE(rows.size(), 1);
    double sum = 0, lo = 1e9, hi = -1e9;
    for (int s = 100; s <= 415; ++s) {
        const double v = (s % 30 - 20) / 10.0;
        sum += v;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    QTreeWidgetItem* row = rows.front();
    QCOMPARE(row->text(1), QString::number(lo, 'f', 1).replace('.', ','));
    QCOMPARE(row->text(2), QString::number(hi, 'f', 1).replace('.', ','));
    QCOMPARE(row->text(3), QString::number(sum / 316, 'f', 2).replace('.', ','));
    QCOMPARE(row->text(4), QStringLiteral("316"));
    QCOMPARE(row->text(5), QStringLiteral("-1,0"));
    QCOMPARE(row->text(6), QStringLiteral("0,5"));
    QCOMPARE(row->text(7), QStringLiteral("1,5"));
    // Without both cursors: the visible range.
    w.ClearCursors();
    w.ShowAll();
    QVERIFY(table->RangeText().startsWith(QStringLiteral("Widoczny zakres")));
    QCOMPARE(table->findItems(name, Qt::MatchExactly).front()->text(4), QStringLiteral("600"));
}

void TrendPlotTest::picturesAndTheExportMenu() {
    QCOMPARE(WithExtension(QStringLiteral("/tmp/a.b/wykres"), QStringLiteral("png")),
             QStringLiteral("/tmp/a.b/wykres.png"));
    QCOMPARE(WithExtension(QStringLiteral("wykres.PNG"), QStringLiteral("png")),
             QStringLiteral("wykres.PNG"));
    QVERIFY(
        ExportHeading(QStringLiteral("hala.txt"), 0, 60).startsWith(QStringLiteral("hala.txt\n")));

    QTemporaryDir tmp;
    OpenedWindow o;
    CTrendWnd& w = o.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(OpenAndWait(w, WriteBusyRecording(tmp)));
    w.move(0, 0);
    w.resize(640, 420);
    QCustomPlot* plot = w.Plot();
    const int rows = plot->plotLayout()->rowCount();
    const QString png = tmp.filePath(QStringLiteral("w.png"));
    QVERIFY(w.ExportPng(png));
    const QImage image(png);
    QCOMPARE(image.width(), plot->width());
    // The heading takes a row above the plot, which the window gets back afterwards.
    QCOMPARE(plot->plotLayout()->rowCount(), rows);
    QVERIFY(plot->plotLayout()->elementAt(0) == plot->axisRect());
    const QString pdf = tmp.filePath(QStringLiteral("w.pdf"));
    QVERIFY(w.ExportPdf(pdf));
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.read(5), QByteArray("%PDF-"));

    // "Eksport..." from the keyboard: the menu opens under the button.
    auto* button = w.findChild<QPushButton*>(QStringLiteral("exportButton"));
    QPoint menuAt(-1, -1);
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
        menuAt = QApplication::activePopupWidget()->pos();
        QApplication::activePopupWidget()->close();
    });
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    // The screen's edge may push it to the left, never off the button's row.
    const QPoint under = button->mapToGlobal(QPoint(0, button->height()));
    QCOMPARE(menuAt.y(), under.y());
    QVERIFY(menuAt.x() <= under.x() && menuAt.x() > under.x() - 400);
}

void TrendPlotTest::timeAxisNamesTheZone() {
    OpenedWindow o;
    CTrendWnd& w = o.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.Plot()->xAxis->label(), QStringLiteral("Czas lokalny (Europe/Warsaw)"));
    // Across the autumn change the repeated hour's labels carry their offset.
    const double change = 1729990800;  // 2024-10-27 01:00 UTC
    w.SetFollowing(false);
    w.SetTimeRange(change - 3600, change + 3600);
    w.Plot()->replot(QCustomPlot::rpImmediateRefresh);
    const QString labels = w.Plot()->xAxis->tickVectorLabels().join(QLatin1Char('|'));
    QVERIFY2(labels.contains(QStringLiteral("CEST")) && labels.contains(QStringLiteral("CET")),
             qPrintable(labels));
    w.SetTimeRange(change + 7200, change + 9000);
    w.Plot()->replot(QCustomPlot::rpImmediateRefresh);
    QVERIFY(!w.Plot()->xAxis->tickVectorLabels().join(QString()).contains(QStringLiteral("CET")));
}

void TrendPlotTest::failedInputLeavesALiveGap() {
    OpenedWindow o;
    CTrendWnd& w = o.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    PollingCycle cycle;
    cycle.responding = true;
    cycle.readings[0] = Tq21(101, 453, -25);
    cycle.readings[3] = Tq21(404, 300, 100);
    const int64_t t0 = EpochMsAt(0);
    for (int s = 0; s < 10; ++s) {
        // The first input's read did not complete in cycles 4 and 5.
        cycle.readings[0].status = s == 4 || s == 5 ? 2 : 0;
        cycle.time =
            std::chrono::system_clock::time_point(std::chrono::milliseconds(t0 + s * 1000));
        o.live.Append(cycle);
    }
    const CSampleStore& store = w.ShownStore();
    const int failing = store.FindChannel("1|TQ21 101 Temperatura [°C]");
    const int other = store.FindChannel("4|TQ21 404 Temperatura [°C]");
    QVERIFY(failing >= 0 && other >= 0);
    QCOMPARE(store.Value(failing, 3), -2.5f);
    QVERIFY(std::isnan(store.Value(failing, 4)));
    QVERIFY(std::isnan(store.Value(failing, 5)));
    QCOMPARE(store.Value(failing, 6), -2.5f);
    QCOMPARE(store.Value(other, 4), 10.0f);
    w.SetFollowing(false);
    w.SetTimeRange(static_cast<double>(t0) / 1000 - 1, static_cast<double>(t0) / 1000 + 10);
    auto breaks = [&](int channel) {
        int n = 0;
        QCPGraph* g = GraphOf(w, channel);
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
            n += std::isnan(it->value) ? 1 : 0;
        return n;
    };
    QVERIFY(breaks(failing) >= 1);
    QCOMPARE(breaks(other), 0);
    QVERIFY(w.ValueTextAt(static_cast<double>(t0) / 1000 + 4)
                .contains(QStringLiteral("TQ21 404 Temperatura: 10,0 °C")));
}

void TrendPlotTest::valueAxisZoomAndLimits() {
    QTemporaryDir tmp;
    OpenedWindow o;
    CTrendWnd& w = o.window;
    QVERIFY(ShowBusyRecording(w, tmp));
    QCustomPlot* plot = w.Plot();
    const QString unit = w.Axes().UnitAxes().key(plot->yAxis);
    plot->replot(QCustomPlot::rpImmediateRefresh);
    const QCPRange automatic = plot->yAxis->range();
    // The wheel over the axis' labels zooms that axis alone, and the time axis stays.
    const QCPRange time = plot->xAxis->range();
    const QPoint onAxis(plot->axisRect()->left() - 12, plot->axisRect()->center().y());
    QCOMPARE(w.Axes().UnitAt(onAxis).value_or(QString()), unit);
    QWheelEvent wheel(onAxis, plot->mapToGlobal(onAxis), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &wheel);
    QVERIFY(std::abs(plot->yAxis->range().size() - automatic.size() * 0.8) < 1e-6);
    QCOMPARE(plot->xAxis->range(), time);
    QVERIFY(w.Axes().UnitLimits(unit).has_value());
    // Fixed limits hold through redraws and other views until cleared.
    w.Axes().SetUnitLimits(unit, -5, 5);
    w.ShowAll();
    QCOMPARE(plot->yAxis->range(), QCPRange(-5, 5));
    w.Axes().ClearUnitLimits(unit);
    w.Refresh();
    QVERIFY(std::abs(plot->yAxis->range().size() - automatic.size()) < 1e-6);
}

void TrendPlotTest::compareOverlaysOnTheSharedAxes() {
    QTemporaryDir tmp;
    OpenedWindow o;
    CTrendWnd& w = o.window;
    w.resize(900, 520);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(OpenAndWait(w, WriteDays(tmp, QStringLiteral("dni.txt"), 0)));
    QCustomPlot& plot = *w.Plot();
    const int shownGraphs = plot.graphCount();
    const QString name = QStringLiteral("TQ21 101 Temperatura [°C]");
    QVERIFY(GraphNamed(plot, name) != nullptr);
    const double t0 = static_cast<double>(EpochMsAt(0)) / 1000;
    const double day = 86400;

    // The same file a day earlier: the second day's hours show the first day's values.
    w.CompareShifted(86400000);
    QVERIFY(w.Comparing());
    QCOMPARE(w.ComparedGraphs(), 2);  // humidity and temperature; the binary lane has none
    QCOMPARE(plot.graphCount(), shownGraphs + 2);
    QCPGraph* temperature = GraphNamed(plot, name);  // the graphs were made anew
    QCPGraph* dayBefore = GraphNamed(plot, name + QStringLiteral(" (dzień wcześniej)"));
    QVERIFY(temperature != nullptr && dayBefore != nullptr);
    QCOMPARE(dayBefore->valueAxis(), temperature->valueAxis());  // the unit's one axis
    QCOMPARE(dayBefore->pen().style(), Qt::DashLine);
    QCOMPARE(ValuesBetween(temperature, t0 + day + 3600, t0 + 2 * day - 3600), QSet<double>{25.0});
    QCOMPARE(ValuesBetween(dayBefore, t0 + day + 3600, t0 + 2 * day - 3600), QSet<double>{20.0});
    QVERIFY(ValuesBetween(dayBefore, t0, t0 + day - 3600).isEmpty());  // nothing before the file
    // The statistics and the read-out stay with the shown recording.
    QCOMPARE(w.DrawnChannels().size(), static_cast<std::size_t>(shownGraphs));

    // Another recording of another week is laid start on start, on the same axes.
    const QString other = WriteDays(tmp, QStringLiteral("inne.txt"), -100, 7 * 86400);
    w.CompareWithFile(other);
    QTRY_VERIFY_WITH_TIMEOUT(GraphNamed(plot, name + QStringLiteral(" (inne.txt)")) != nullptr,
                             20000);
    QCPGraph* otherGraph = GraphNamed(plot, name + QStringLiteral(" (inne.txt)"));
    QCOMPARE(otherGraph->valueAxis(), GraphNamed(plot, name)->valueAxis());
    QCOMPARE(ValuesBetween(otherGraph, t0 + 3600, t0 + day - 3600), QSet<double>{10.0});
    QCOMPARE(ValuesBetween(otherGraph, t0 + 2 * day + 3600, t0 + 3 * day - 3600),
             QSet<double>{20.0});
    QCOMPARE(GraphNamed(plot, name + QStringLiteral(" (dzień wcześniej)")), nullptr);

    // From the button's menu, by keyboard: the comparison ends.
    auto* button = w.findChild<QPushButton*>(QStringLiteral("compareButton"));
    QStringList texts;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        for (QAction* a : menu->actions())
            texts << a->text();
        QTest::keyClick(menu, Qt::Key_Up);  // from no item to the last one
        QTest::keyClick(menu, Qt::Key_Return);
    });
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    QCOMPARE(
        texts,
        QStringList({QStringLiteral("Z innym zapisem..."), QStringLiteral("Z dniem wcześniej"),
                     QStringLiteral("Z tygodniem wcześniej"), QStringLiteral("Bez porównania")}));
    QVERIFY(!w.Comparing());
    QCOMPARE(w.ComparedGraphs(), 0);
    QCOMPARE(plot.graphCount(), shownGraphs);
}

QTEST_MAIN(TrendPlotTest)
#include "TrendPlotTest.moc"
