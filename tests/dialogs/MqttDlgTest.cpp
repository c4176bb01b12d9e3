// "Publikowanie MQTT": texts, what OK and Anuluj leave, and the connection check's answers.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <tuple>

#include "ui/dialogs/MqttDlg.h"

namespace {

MqttSettings Sample() {
    MqttSettings s;
    s.enabled = true;
    s.host = "broker.zaklad";
    s.port = 8884;
    s.tls = true;
    s.caFile = "/etc/orvex/ca.pem";
    s.username = "hala";
    s.passwordFile = "/etc/orvex/mqtt.pw";
    s.topicPrefix = "zaklad/hala1";
    s.qos = 0;
    s.keepalive = 30;
    return s;
}

template <typename T>
T* Child(QDialog& d, const char* name) {
    return d.findChild<T*>(QString::fromLatin1(name));
}

int ClosedPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

}  // namespace

class MqttDlgTest : public QObject {
    Q_OBJECT
private slots:
    void textsAndLayout() {
        CMqttDlg d("/tmp/x");
        d.show();
        QCOMPARE(d.windowTitle(), QStringLiteral("Publikowanie MQTT"));
        QStringList labels;
        for (QLabel* l : d.findChildren<QLabel*>()) {
            if (!l->text().isEmpty()) {
                labels << l->text();
            }
        }
        for (const char* text :
             {"Serwer:", "Port:", "Plik CA:", "Certyfikat klienta:", "Klucz klienta:",
              "Użytkownik:", "Plik z hasłem:", "Identyfikator klienta:", "Prefiks tematów:", "QoS:",
              "Podtrzymanie [s]:"}) {
            QVERIFY2(labels.contains(QString::fromUtf8(text)), text);
        }
        QCOMPARE(d.CheckButton()->text(), QStringLiteral("Sprawdź połączenie"));
        QCOMPARE(Child<QPushButton>(d, "okButton")->text(), QStringLiteral("OK"));
        QCOMPARE(Child<QPushButton>(d, "cancelButton")->text(), QStringLiteral("Anuluj"));
        QCOMPARE(Child<QCheckBox>(d, "enabledCheck")->text(),
                 QStringLiteral("Publikuj odczyty do brokera MQTT"));
        // The client id's field shows the default it stands for.
        QCOMPARE(Child<QLineEdit>(d, "clientIdEdit")->placeholderText().toStdString(),
                 DefaultClientId("/tmp/x"));
        // TLS files only matter with TLS.
        Child<QCheckBox>(d, "tlsCheck")->setChecked(false);
        QVERIFY(!Child<QLineEdit>(d, "caEdit")->isEnabled());
        QVERIFY(!Child<QToolButton>(d, "caChooser")->isEnabled());
        QVERIFY(Child<QToolButton>(d, "passwordFileChooser")->isEnabled());
        Child<QCheckBox>(d, "tlsCheck")->setChecked(true);
        QVERIFY(Child<QLineEdit>(d, "caEdit")->isEnabled());
        QVERIFY(Child<QToolButton>(d, "caChooser")->isEnabled());
    }

    void choosersOpenOnTheCurrentFileAndFillTheirField() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const char* name : {"ca.pem", "klucz.key", "haslo.txt"}) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        CMqttDlg d("/tmp/x");
        MqttSettings s = Sample();
        s.caFile = dir.filePath(QStringLiteral("ca.pem")).toStdString();
        d.settings = s;
        d.show();
        for (const auto& [button, edit, file] :
             {std::tuple{"caChooser", "caEdit", "ca.pem"},
              std::tuple{"keyChooser", "keyEdit", "klucz.key"},
              std::tuple{"passwordFileChooser", "passwordFileEdit", "haslo.txt"}}) {
            QTest::mouseClick(Child<QToolButton>(d, button), Qt::LeftButton);
            QTRY_VERIFY(d.FileChooser() != nullptr && d.FileChooser()->isVisible());
            QCOMPARE(Child<QToolButton>(d, button)->text(), QStringLiteral("..."));
            if (std::string(button) == "caChooser") {
                // On the file already set, in its folder.
                QCOMPARE(d.FileChooser()->directory().absolutePath(), dir.path());
                QCOMPARE(d.FileChooser()->selectedFiles().value(0),
                         dir.filePath(QStringLiteral("ca.pem")));
            }
            d.FileChooser()->selectFile(dir.filePath(QString::fromLatin1(file)));
            QMetaObject::invokeMethod(d.FileChooser(), "accept");
            QTRY_VERIFY(d.FileChooser() == nullptr);
            QCOMPARE(Child<QLineEdit>(d, edit)->text(), dir.filePath(QString::fromLatin1(file)));
        }
    }

    void cancelLeavesTheSettingsAndOkTakesTheForm() {
        CMqttDlg d("/tmp/x");
        d.settings = Sample();
        d.show();
        QCOMPARE(d.FormSettings(), Sample());  // every field shows its setting
        Child<QLineEdit>(d, "hostEdit")->setText(QStringLiteral("inny"));
        Child<QCheckBox>(d, "enabledCheck")->setChecked(false);
        Child<QSpinBox>(d, "portSpin")->setValue(0);
        QTest::mouseClick(Child<QPushButton>(d, "cancelButton"), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(d.settings, Sample());

        d.show();  // shows the settings again, not the abandoned edits
        QCOMPARE(Child<QLineEdit>(d, "hostEdit")->text(), QStringLiteral("broker.zaklad"));
        Child<QLineEdit>(d, "hostEdit")->setText(QStringLiteral("  inny  "));
        Child<QComboBox>(d, "qosList")->setCurrentIndex(1);
        QTest::mouseClick(Child<QPushButton>(d, "okButton"), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        MqttSettings expected = Sample();
        expected.host = "inny";
        expected.qos = 1;
        QCOMPARE(d.settings, expected);
    }

    void unusablePrefixOrClientIdIsNotTakenAndTheReasonIsNamed() {
        CMqttDlg d("/tmp/x");
        d.settings = Sample();
        d.show();
        Child<QLineEdit>(d, "prefixEdit")->setText(QStringLiteral("zaklad/site1/"));
        QTest::mouseClick(Child<QPushButton>(d, "okButton"), Qt::LeftButton);
        QVERIFY(d.isVisible());
        QCOMPARE(d.CheckResult()->text(),
                 QStringLiteral("Nie można zapisać ustawień: [MQTT] TOPIC_PREFIX: prefiks tematów "
                                "nie może kończyć się na „/”."));
        QCOMPARE(d.settings, Sample());
        Child<QLineEdit>(d, "prefixEdit")->setText(QStringLiteral("zaklad/site1"));
        Child<QLineEdit>(d, "clientIdEdit")->setText(QString(300, QLatin1Char('c')));
        QTest::mouseClick(Child<QPushButton>(d, "okButton"), Qt::LeftButton);
        QVERIFY(d.isVisible());
        QVERIFY(d.CheckResult()->text().contains(QStringLiteral("[MQTT] CLIENT_ID: ")));
        QVERIFY(Child<QLineEdit>(d, "clientIdEdit")->hasFocus() || !d.isActiveWindow());
        Child<QLineEdit>(d, "clientIdEdit")->clear();
        QTest::mouseClick(Child<QPushButton>(d, "okButton"), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.settings.topicPrefix, std::string("zaklad/site1"));
    }

    void aLongAnswerWrapsAndTheDialogGrowsToShowIt() {
        MqttCheckResult answer{MqttFailure::TlsFiles,
                               "plik CA „/bardzo/długa/ścieżka/do/pliku/urzędu/certyfikacji/"
                               "zakładu/hala/pierwsza/ca.pem” nie zawiera -----BEGIN "
                               "CERTIFICATE----- w formacie PEM",
                               "",
                               {"plik z hasłem /etc/orvex/mqtt.pw mogą czytać inni "
                                "użytkownicy (chmod 600)"}};
        CMqttDlg d("/tmp/x", nullptr, [&](const MqttSettings&) { return answer; });
        d.settings = Sample();
        d.show();
        const int width = d.width();
        QTest::mouseClick(d.CheckButton(), Qt::LeftButton);
        QTRY_VERIFY(d.CheckResult()->text().contains(QStringLiteral("Uwaga: plik z hasłem")));
        QCOMPARE(d.width(), width);  // wrapped, not widened
        QLabel* label = d.CheckResult();
        QVERIFY(label->heightForWidth(label->width()) <= label->height());
        QVERIFY(label->geometry().bottom() < d.height());
    }

    void checkReportsSuccessOrTheReasonInPolish() {
        MqttSettings seen;
        MqttCheckResult answer;
        CMqttDlg d("/tmp/x", nullptr, [&](const MqttSettings& s) {
            seen = s;
            return answer;
        });
        d.settings = Sample();
        d.show();
        Child<QLineEdit>(d, "userEdit")->setText(QStringLiteral("ktoś"));
        QTest::mouseClick(d.CheckButton(), Qt::LeftButton);
        QTRY_COMPARE(d.CheckResult()->text(), QStringLiteral("Połączenie działa."));
        QCOMPARE(seen.username, std::string("ktoś"));  // the form, not the stored settings
        QVERIFY(d.CheckButton()->isEnabled());
        answer = {MqttFailure::BadCredentials, "", "not authorised", {}};
        QTest::mouseClick(d.CheckButton(), Qt::LeftButton);
        // The library's English stays out of what the user reads.
        QTRY_COMPARE(d.CheckResult()->text(),
                     QStringLiteral("Brak połączenia: broker odrzucił nazwę użytkownika lub "
                                    "hasło."));
        QCOMPARE(d.settings, Sample());  // a check changes no setting
    }

    void theRunningPublishersRefusalIsNamedOnOpening() {
        CMqttDlg d("/tmp/x");
        d.settings = Sample();
        d.lastRefusal = MqttFailure::NotAuthorized;
        d.show();
        QCOMPARE(d.CheckResult()->text(),
                 QStringLiteral("Publikowanie teraz: broker odmówił dostępu (brak uprawnień)."));
        d.hide();
        d.lastRefusal = MqttFailure::ConnectionLost;  // not a refusal: nothing to act on
        d.show();
        QCOMPARE(d.CheckResult()->text(), QString());
    }

    void realCheckAgainstAClosedPort() {
        CMqttDlg d("/tmp/x");
        MqttSettings s;
        s.host = "127.0.0.1";
        s.port = ClosedPort();
        d.settings = s;
        d.show();
        QTest::mouseClick(d.CheckButton(), Qt::LeftButton);
        QTRY_COMPARE(
            d.CheckResult()->text(),
            QStringLiteral("Brak połączenia: serwer odrzucił połączenie (broker nie działa "
                           "na tym porcie?)."));
    }
};

QTEST_MAIN(MqttDlgTest)
#include "MqttDlgTest.moc"
