// The main window when one input's read fails in the middle of a cycle while the device
// keeps answering: that input must not go on showing its last good reading.
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>
#include <filesystem>

#include "ModalAnswerer.h"
#include "WindowOnSim.h"
#include "tests/support/SimProcess.h"
#include "tests/ui/WindowParts.h"
#include "ui/OrvexDlg.h"

namespace fs = std::filesystem;

namespace {

const char* const kConfig = R"(device id=23073 serial=4711
input 1 type=1 serial=101 valid=3 values=45.3,-2.5
input 4 type=2 serial=404 valid=7 values=55.0,21.5,1013.2
input 8 type=1 serial=808 valid=3 values=30.0,20.0
)";

InputReading ReadingOf(COrvexDlg& dlg, int input) {
    InputReading reading;
    dlg.Driver().GetReading(static_cast<uint8_t>(input), reading);
    return reading;
}

}  // namespace

class MainWindowFailedInputTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir tmp;
    fs::path ports;

private slots:
    void init() {
        QVERIFY(tmp.isValid());
        ports = UseTestPorts(tmp);
    }

    void failedInputShowsNoInput() {
        SimProcess sim({kConfig, {"--log"}});
        sim.LinkAs(ports, 7);
        ModalAnswerer answerer;
        COrvexDlg dlg;
        QVERIFY(ShowOnPort(dlg, 7));
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Driver().IsDeviceResponding(), 10000);
        dlg.RefreshDisplay();
        QCOMPARE(dlg.valueControls[3].Caption(), QStringLiteral("TQ23 nr 404 "));
        QCOMPARE(dlg.valueControls[3].ValueText(),
                 QStringLiteral("RH = 55,0 %, T = 21,5 °C, P = 1013,2 hPa"));

        // The pressure, the last value of input 4, stops answering; the inputs after it still
        // answer, so the device as a whole responds.
        sim.Command("fail 444");
        QTRY_VERIFY_WITH_TIMEOUT(ReadingOf(dlg, 3).status != 0, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Driver().IsDeviceResponding(), 10000);
        dlg.RefreshDisplay();
        QCOMPARE(StatusLineOf(dlg).text(), QStringLiteral("ORVEX nr 4711. "));
        QCOMPARE(dlg.valueControls[3].Caption(), QStringLiteral("Brak wejścia"));
        QCOMPARE(dlg.valueControls[3].ValueText(), QStringLiteral("???"));
        QVERIFY(dlg.valueControls[3].IsBlinking());
        QCOMPARE(dlg.valueControls[7].Caption(), QStringLiteral("TQ21 nr 808 "));
        QVERIFY(!dlg.valueControls[7].IsBlinking());

        // Answering again brings the reading back.
        sim.Command("unfail 444");
        QTRY_VERIFY_WITH_TIMEOUT(ReadingOf(dlg, 3).status == 0, 30000);
        dlg.RefreshDisplay();
        QCOMPARE(dlg.valueControls[3].Caption(), QStringLiteral("TQ23 nr 404 "));
        QVERIFY(!dlg.valueControls[3].IsBlinking());
        QVERIFY(answerer.SeenWidgets().empty());
    }
};

QTEST_MAIN(MainWindowFailedInputTest)
#include "MainWindowFailedInputTest.moc"
