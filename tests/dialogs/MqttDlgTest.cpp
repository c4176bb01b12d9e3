// "Publikowanie MQTT": texts, what OK and Anuluj leave, and the connection check's answers.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

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
              "Keepalive:"}) {
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
        Child<QCheckBox>(d, "tlsCheck")->setChecked(true);
        QVERIFY(Child<QLineEdit>(d, "caEdit")->isEnabled());
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

    void aBadTopicPrefixIsNotTaken() {
        CMqttDlg d("/tmp/x");
        d.settings = Sample();
        d.show();
        Child<QLineEdit>(d, "prefixEdit")->setText(QStringLiteral("a/#"));
        QTest::mouseClick(Child<QPushButton>(d, "okButton"), Qt::LeftButton);
        QVERIFY(d.isVisible());
        QCOMPARE(d.CheckResult()->text(), QStringLiteral("Nieprawidłowy prefiks tematów."));
        QCOMPARE(d.settings, Sample());
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
        answer = {MqttFailure::BadCredentials, "not authorised"};
        QTest::mouseClick(d.CheckButton(), Qt::LeftButton);
        QTRY_COMPARE(d.CheckResult()->text(),
                     QStringLiteral("Brak połączenia: broker odrzucił nazwę użytkownika lub hasło "
                                    "(not authorised)."));
        QCOMPARE(d.settings, Sample());  // a check changes no setting
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
