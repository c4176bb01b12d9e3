// The real program records from orvex.ini at start-up; killed with SIGKILL it leaves whole
// records only, and a torn end left by such an end is repaired when it appends again.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "recording/format/BinaryRecordDecoder.h"
#include "tests/support/FileBytes.h"
#include "tests/support/SimProcess.h"
#include "text/Cp1250.h"

namespace fs = std::filesystem;

namespace {

void Append(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

}  // namespace

class RecordingCrashTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir tmp;
    fs::path config;
    fs::path textPath;
    fs::path binaryPath;

    void StartProgram(QProcess& program) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("ORVEX_CONFIG_DIR"), QString::fromStdString(config.string()));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ORVEX_BINARY), {});
        QVERIFY(program.waitForStarted());
    }

    // Both files hold at least `rows` text rows and `records` binary records.
    bool HasRecords(std::size_t rows, std::size_t records) {
        return CountRows(ReadFile(textPath)) >= rows &&
               DecodeBinaryRecords(ReadFile(binaryPath)).records.size() >= records;
    }

    void Kill(QProcess& program) {
        program.kill();
        QVERIFY(program.waitForFinished(5000));
    }

    // Every row of the text file is whole: ends in CR LF and has as many columns as its header.
    void CheckTextWhole(bool allowRepairedTornRow) {
        const std::string text = ReadFile(textPath);
        QVERIFY(text.ends_with("\r\n"));
        std::size_t columns = 0;
        std::size_t torn = 0;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find("\r\n", start);
            const std::string line = text.substr(start, end - start);
            const auto count = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t'));
            if (line.starts_with("Data i Godzina")) {
                columns = count;
            } else if (count != columns) {
                ++torn;
            }
            start = end + 2;
        }
        QCOMPARE(torn, allowRepairedTornRow ? std::size_t(1) : std::size_t(0));
    }

    void CheckBinaryWhole() {
        const std::string bytes = ReadFile(binaryPath);
        const BinaryDecodeResult decoded = DecodeBinaryRecords(bytes);
        QCOMPARE(decoded.wholeBytes, bytes.size());
        for (const std::string& record : decoded.records) {
            QVERIFY(record.find("$21,2101,26,") != std::string::npos);
        }
    }

private slots:
    void killedWhileRecording() {
        QVERIFY(tmp.isValid());
        config = fs::path(tmp.path().toStdString()) / "config";
        const fs::path data = fs::path(tmp.path().toStdString()) / "Pomiary szklarnia żółć";
        fs::create_directories(data);
        textPath = data / "wyniki-ąę.txt";
        binaryPath = data / "wykres-ąę.qdx";

        SimProcess sim({{}, {"--demo"}});
        sim.LinkAs(config / "ports", 7);
        const std::string ini =
            "[GENERAL]\r\nPORT_NR=7\r\nPORT_SPEED=9600\r\nSHOW_ADV=0\r\n[LOG]\r\nFILE_LOG=1\r\n"
            "FILE_NAME=" +
            *cp1250::FromUtf8(textPath.string()) +
            "\r\nFILE_LOG_BIN=1\r\nFILE_NAME_BIN=" + *cp1250::FromUtf8(binaryPath.string()) +
            "\r\nFILE_INTERVAL=1\r\n";
        std::ofstream(config / "orvex.ini", std::ios::binary) << ini;

        {
            QProcess program;
            StartProgram(program);
            QTRY_VERIFY2_WITH_TIMEOUT(HasRecords(4, 3), "no records from the start-up step", 40000);
            Kill(program);
        }
        CheckTextWhole(false);
        CheckBinaryWhole();

        // A torn end as a power cut could leave it: half a row and half a binary record.
        const std::string before = ReadFile(binaryPath);
        const std::size_t records = DecodeBinaryRecords(before).records.size();
        Append(textPath, "2026.12.07 10:00:00\t45.");
        Append(binaryPath, before.substr(0, 20));
        const std::size_t rows = CountRows(ReadFile(textPath));
        {
            QProcess program;
            StartProgram(program);
            QTRY_VERIFY2_WITH_TIMEOUT(HasRecords(rows + 3, records + 2),
                                      "no records after the restart", 40000);
            Kill(program);
        }
        CheckTextWhole(true);
        // The torn row stays a line of its own: the next row does not merge with it.
        QVERIFY(ReadFile(textPath).find("\t45.\r\nData i Godzina\t") != std::string::npos);
        CheckBinaryWhole();
    }
};

QTEST_MAIN(RecordingCrashTest)
#include "RecordingCrashTest.moc"
