#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The program answers where its settings are and which port they name, for scripts that must
// not repeat its rules; it answers without a display and leaves no file behind.
class SettingsQueryTest : public QObject {
    Q_OBJECT

    // The program's standard output for the option, with the environment changed as given
    // (an empty value removes the variable).
    static QString Ask(const QString& program, const QString& option,
                       const QList<QPair<QString, QString>>& environment) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");  // no platform at all: the answer must come before Qt
        for (const auto& [name, value] : environment) {
            if (value.isEmpty()) {
                env.remove(name);
            } else {
                env.insert(name, value);
            }
        }
        process.setProcessEnvironment(env);
        process.start(program, {option});
        if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            return QStringLiteral("<failed: %1>")
                .arg(QString::fromLocal8Bit(process.readAllStandardError()));
        }
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    }

    static void Write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

private slots:
    void folderFromTheEnvironment() {
        QTemporaryDir dir;
        QCOMPARE(Ask(ORVEX_BINARY, "--settings-folder", {{"ORVEX_CONFIG_DIR", dir.path()}}),
                 dir.path() + "\n");
        QVERIFY(!QFile::exists(dir.filePath("orvex.ini")));
    }

    // Without the variable: the program's own folder when it can keep the file there.
    void folderOfTheProgram() {
        QTemporaryDir dir;
        const QString copy = dir.filePath("orvex");
        QVERIFY(QFile::copy(ORVEX_BINARY, copy));
        const QString xdg = dir.filePath("xdg");
        QCOMPARE(
            Ask(copy, "--settings-folder", {{"ORVEX_CONFIG_DIR", ""}, {"XDG_CONFIG_HOME", xdg}}),
            dir.path() + "\n");
        Write(dir.filePath("orvex.ini"), "[GENERAL]\r\nPORT_NR=4\r\n");
        QCOMPARE(Ask(copy, "--settings-port", {{"ORVEX_CONFIG_DIR", ""}, {"XDG_CONFIG_HOME", xdg}}),
                 QStringLiteral("4\n"));
    }

    void port_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("answer");
        QTest::newRow("configured") << QByteArray("[GENERAL]\r\nPORT_NR=12\r\n") << "12\n";
        QTest::newRow("keys in any case") << QByteArray("[general]\r\nport_nr=256\r\n") << "256\n";
        QTest::newRow("none chosen") << QByteArray("[GENERAL]\r\nPORT_NR=0\r\n") << "0\n";
        QTest::newRow("beyond the last COM") << QByteArray("[GENERAL]\r\nPORT_NR=257\r\n") << "0\n";
        QTest::newRow("negative") << QByteArray("[GENERAL]\r\nPORT_NR=-3\r\n") << "0\n";
        QTest::newRow("in another section") << QByteArray("[LOG]\r\nPORT_NR=5\r\n") << "0\n";
        QTest::newRow("no file") << QByteArray() << "0\n";
    }

    void port() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, answer);
        QTemporaryDir dir;
        if (!ini.isEmpty()) {
            Write(dir.filePath("orvex.ini"), ini);
        }
        QCOMPARE(Ask(ORVEX_BINARY, "--settings-port", {{"ORVEX_CONFIG_DIR", dir.path()}}), answer);
        QCOMPARE(QFile::exists(dir.filePath("orvex.ini")), !ini.isEmpty());
    }
};

QTEST_GUILESS_MAIN(SettingsQueryTest)
#include "SettingsQueryTest.moc"
