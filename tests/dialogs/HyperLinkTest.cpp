// The link of the information dialog: its looks, and opening an address through the desktop's
// default text/html handler when the desktop's opener fails. Every test runs in a private XDG
// tree with an empty PATH, so neither the machine's browser nor xdg-open can answer.
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include "tests/ui/ModalAnswerer.h"
#include "ui/dialogs/DesktopHandler.h"
#include "ui/dialogs/HyperLink.h"
#include "ui/dialogs/LinkOpener.h"

namespace {

const QString kAddress = QStringLiteral("https://example.org/zelvio?a=1&b=2");

void WriteFile(const QString& path, const QByteArray& text, bool executable = false) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    QFile::Permissions p = QFile::ReadOwner | QFile::WriteOwner;
    if (executable) {
        p |= QFile::ExeOwner;
    }
    file.setPermissions(p);
}

QStringList ReadLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

class HyperLinkTest : public QObject {
    Q_OBJECT
    ModalAnswerer answerer;

private:
    QTemporaryDir tmp;
    QString data;      // XDG_DATA_HOME
    QString config;    // XDG_CONFIG_HOME
    QString argsFile;  // what the fake browser was started with
    QString script;

    void InstallHandler(const QByteArray& exec, const QByteArray& defaults) {
        WriteFile(data + QStringLiteral("/applications/fake-browser.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Fake\nExec=" + exec +
                      "\nMimeType=text/html;\n");
        WriteFile(config + QStringLiteral("/mimeapps.list"),
                  "[Default Applications]\ntext/html=" + defaults + "\n");
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        data = tmp.filePath(QStringLiteral("data"));
        config = tmp.filePath(QStringLiteral("config"));
        const QString none = tmp.filePath(QStringLiteral("none"));
        const QString bin = tmp.filePath(QStringLiteral("bin"));
        QDir().mkpath(none);
        QDir().mkpath(bin);
        qputenv("XDG_DATA_HOME", data.toLocal8Bit());
        qputenv("XDG_DATA_DIRS", none.toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
        qputenv("XDG_CONFIG_DIRS", none.toLocal8Bit());
        qputenv("PATH", bin.toLocal8Bit());
        qunsetenv("XDG_CURRENT_DESKTOP");
        qunsetenv("BROWSER");
        qunsetenv("DEFAULT_BROWSER");
        argsFile = tmp.filePath(QStringLiteral("args.txt"));
        script = tmp.filePath(QStringLiteral("fake-browser.sh"));
        // Written whole, then renamed, so the test never reads half a file.
        WriteFile(script,
                  "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + argsFile.toLocal8Bit() +
                      ".part'\n/bin/mv '" + argsFile.toLocal8Bit() + ".part' '" +
                      argsFile.toLocal8Bit() + "'\n",
                  true);
        // The premise of the fallback: the desktop's own opener cannot open the address here.
        QVERIFY(!QDesktopServices::openUrl(QUrl(kAddress)));
    }

    void init() {
        QFile::remove(argsFile);
        QFile::remove(config + QStringLiteral("/mimeapps.list"));
        QFile::remove(data + QStringLiteral("/applications/fake-browser.desktop"));
        answerer.Reset();
    }

    void execLines() {
        using linkopen::CommandForAddress;
        const QString a = QStringLiteral("http://x/");
        QCOMPARE(CommandForAddress(QStringLiteral("firefox %u"), a), (QStringList{"firefox", a}));
        QCOMPARE(CommandForAddress(QStringLiteral("\"/opt/my browser/run\" --new-window %U -x"), a),
                 (QStringList{"/opt/my browser/run", "--new-window", a, "-x"}));
        QCOMPARE(CommandForAddress(QStringLiteral("browser"), a), (QStringList{"browser", a}));
        // Other field codes go, %% is a percent sign, only the first placeholder takes it.
        QCOMPARE(CommandForAddress(QStringLiteral("b --url=%u %i %c 100%% %F"), a),
                 (QStringList{"b", "--url=" + a, "100%"}));
        QCOMPARE(CommandForAddress(QStringLiteral("sh -c \"echo \\\"q\\\" \\$HOME\""), a),
                 (QStringList{"sh", "-c", "echo \"q\" $HOME", a}));
        QCOMPARE(CommandForAddress(QStringLiteral("b\\s--flag %f"), a),
                 (QStringList{"b", "--flag", a}));
        QVERIFY(CommandForAddress(QStringLiteral("b \"unterminated"), a).isEmpty());
        QVERIFY(CommandForAddress(QStringLiteral("%u"), a).isEmpty());
        QVERIFY(CommandForAddress(QString(), a).isEmpty());
    }

    void errorTexts() {
        using linkopen::ErrorReport;
        QCOMPARE(ErrorReport(31), QStringLiteral("Unable to open hyperlink:\n\nThere is no "
                                                 "application associated\nwith the given "
                                                 "filename extension."));
        QCOMPARE(ErrorReport(2),
                 QStringLiteral("Unable to open hyperlink:\n\nThe specified file was not found."));
        QCOMPARE(ErrorReport(5), QStringLiteral("Unable to open hyperlink:\n\nThe operating "
                                                "system denied\naccess to the specified file."));
        QCOMPARE(ErrorReport(26),
                 QStringLiteral("Unable to open hyperlink:\n\nA sharing violation occurred. "));
        QCOMPARE(ErrorReport(1005),
                 QStringLiteral("Unable to open hyperlink:\n\nUnknown Error (1005) occurred."));
        QCOMPARE(linkopen::ResultFromErrno(ENOENT), 2);
        QCOMPARE(linkopen::ResultFromErrno(EACCES), 5);
        QCOMPARE(linkopen::ResultFromErrno(EIO), linkopen::kErrnoBase + EIO);
    }

    // A listed entry that does not exist is passed over; the handler gets its own arguments
    // and the address in place of %u; the link turns to the visited colour.
    void clickStartsDefaultHandler() {
        InstallHandler(script.toLocal8Bit() + " --new-window %u",
                       "missing.desktop;fake-browser.desktop;");
        CHyperLink link(QStringLiteral("Kliknij"));
        link.SetURL(kAddress);
        link.show();
        QVERIFY(QTest::qWaitForWindowExposed(&link));
        QTest::mouseClick(&link, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(ReadLines(argsFile), (QStringList{"--new-window", kAddress}),
                                  10000);
        QVERIFY(link.IsVisited());
        QCOMPARE(link.CurrentColour(), QColor(85, 26, 139));
    }

    void noHandlerBeepsAndReports() {
        CHyperLink link(QStringLiteral("Kliknij"));
        link.SetURL(kAddress);
        link.show();
        QString text;
        QString title;
        int icon = -1;
        answerer.On<QMessageBox>([&](QMessageBox* box) {
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            box->accept();
        });
        QTest::mouseClick(&link, Qt::LeftButton);
        QCOMPARE(text, linkopen::ErrorReport(linkopen::kNoAssociation));
        QCOMPARE(title, QStringLiteral("orvex"));
        QCOMPARE(icon, int(QMessageBox::Warning));
        QVERIFY(!link.IsVisited());
        QCOMPARE(link.CurrentColour(), QColor(0, 0, 238));
        QCOMPARE(answerer.Unmet(), QStringList());
    }

    void handlerThatCannotStart() {
        InstallHandler(tmp.filePath(QStringLiteral("gone/browser")).toLocal8Bit() + " %u",
                       "fake-browser.desktop");
        QCOMPARE(linkopen::OpenAddress(kAddress), linkopen::kNotFound);
        InstallHandler("no-such-browser-anywhere %u", "fake-browser.desktop");
        QCOMPARE(linkopen::OpenAddress(kAddress), linkopen::kNotFound);
        const QString plain = tmp.filePath(QStringLiteral("not-executable.sh"));
        WriteFile(plain, "#!/bin/sh\n", false);
        InstallHandler(plain.toLocal8Bit() + " %u", "fake-browser.desktop");
        QCOMPARE(linkopen::OpenAddress(kAddress), linkopen::kAccessDenied);
        InstallHandler("\"unterminated %u", "fake-browser.desktop");
        QCOMPARE(linkopen::OpenAddress(kAddress), linkopen::kBadAssociation);
        QVERIFY(!QFile::exists(argsFile));
    }

    void looksAndHover() {
        QWidget parent;
        parent.resize(400, 100);
        auto* link = new CHyperLink(QStringLiteral("Kliknij, aby uzyskać więcej"), &parent);
        link->SetURL(kAddress);
        link->move(10, 10);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QVERIFY(link->font().underline());
        QCOMPARE(link->toolTip(), kAddress);
        QCOMPARE(link->size(), link->fontMetrics().size(Qt::TextSingleLine, link->text()));
        QCOMPARE(link->pos(), QPoint(10, 10));
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(link->CurrentColour(), QColor(0, 0, 238));
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 238));

        QTest::mouseMove(link, link->rect().center());
        QTRY_VERIFY(link->IsOver());
        const QColor highlight =
            QApplication::palette().color(QPalette::Active, QPalette::Highlight);
        QCOMPARE(link->palette().color(QPalette::WindowText), highlight);
        QTest::mouseMove(&parent, QPoint(390, 90));
        QTRY_VERIFY(!link->IsOver());
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 238));

        // A new address resizes the link and becomes its tool tip.
        link->SetURL(QStringLiteral("https://example.org/other"));
        QCOMPARE(link->toolTip(), QStringLiteral("https://example.org/other"));
    }
};

QTEST_MAIN(HyperLinkTest)
#include "HyperLinkTest.moc"
