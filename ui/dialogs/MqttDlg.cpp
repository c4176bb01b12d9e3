#include "ui/dialogs/MqttDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QSpinBox>

#include "ui/dialogs/DialogButtons.h"

namespace {

QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

std::string S(const QLineEdit* edit) {
    return edit->text().trimmed().toStdString();
}

}  // namespace

CMqttDlg::CMqttDlg(std::filesystem::path folder, QWidget* parent, Checker check)
    : QDialog(parent), settingsFolder(std::move(folder)), checker(std::move(check)) {
    setObjectName(QStringLiteral("mqttDlg"));
    setWindowTitle(QStringLiteral("Publikowanie MQTT"));
    if (!checker) {
        checker = [this](const MqttSettings& s) {
            return CheckMqttConnection(s, settingsFolder, kCheckTimeout);
        };
    }

    auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        return e;
    };
    enabledCheck = new QCheckBox(QStringLiteral("Publikuj odczyty do brokera MQTT"), this);
    enabledCheck->setObjectName(QStringLiteral("enabledCheck"));
    hostEdit = edit("hostEdit");
    // Paths and host names are long: room for a typical one.
    hostEdit->setMinimumWidth(hostEdit->fontMetrics().averageCharWidth() * 36);
    portSpin = new QSpinBox(this);
    portSpin->setObjectName(QStringLiteral("portSpin"));
    portSpin->setRange(0, 65535);
    portSpin->setSpecialValueText(QStringLiteral("domyślny"));
    tlsCheck = new QCheckBox(QStringLiteral("Szyfrowanie TLS"), this);
    tlsCheck->setObjectName(QStringLiteral("tlsCheck"));
    caEdit = edit("caEdit");
    certEdit = edit("certEdit");
    keyEdit = edit("keyEdit");
    userEdit = edit("userEdit");
    passwordFileEdit = edit("passwordFileEdit");
    clientIdEdit = edit("clientIdEdit");
    clientIdEdit->setPlaceholderText(Q(DefaultClientId(settingsFolder)));
    prefixEdit = edit("prefixEdit");
    qosList = new QComboBox(this);
    qosList->setObjectName(QStringLiteral("qosList"));
    qosList->addItem(QStringLiteral("0 - najwyżej raz"));
    qosList->addItem(QStringLiteral("1 - co najmniej raz"));
    keepaliveSpin = new QSpinBox(this);
    keepaliveSpin->setObjectName(QStringLiteral("keepaliveSpin"));
    keepaliveSpin->setRange(5, 65535);
    keepaliveSpin->setSuffix(QStringLiteral(" s"));
    checkButton = new QPushButton(QStringLiteral("Sprawdź połączenie"), this);
    checkButton->setObjectName(QStringLiteral("checkButton"));
    checkResult = new QLabel(this);
    checkResult->setObjectName(QStringLiteral("checkResult"));
    checkResult->setWordWrap(true);

    auto* grid = new QGridLayout;
    int row = 0;
    grid->addWidget(enabledCheck, row++, 0, 1, 2);
    auto add = [&](const char* label, QWidget* field) {
        grid->addWidget(new QLabel(QString::fromUtf8(label), this), row, 0);
        grid->addWidget(field, row++, 1);
    };
    add("Serwer:", hostEdit);
    add("Port:", portSpin);
    grid->addWidget(tlsCheck, row++, 0, 1, 2);
    add("Plik CA:", caEdit);
    add("Certyfikat klienta:", certEdit);
    add("Klucz klienta:", keyEdit);
    add("Użytkownik:", userEdit);
    add("Plik z hasłem:", passwordFileEdit);
    add("Identyfikator klienta:", clientIdEdit);
    add("Prefiks tematów:", prefixEdit);
    add("QoS:", qosList);
    add("Keepalive:", keepaliveSpin);
    grid->addWidget(checkButton, row, 0);
    grid->addWidget(checkResult, row++, 1);
    grid->setColumnStretch(1, 1);
    LayOutOverOkCancel(this, grid);

    connect(checkButton, &QPushButton::clicked, this, &CMqttDlg::OnCheck);
    connect(enabledCheck, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(tlsCheck, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
}

CMqttDlg::~CMqttDlg() {
    if (checkThread.joinable()) {
        checkThread.join();
    }
}

void CMqttDlg::setVisible(bool visible) {
    if (visible) {
        enabledCheck->setChecked(settings.enabled);
        hostEdit->setText(Q(settings.host));
        portSpin->setValue(settings.port);
        tlsCheck->setChecked(settings.tls);
        caEdit->setText(Q(settings.caFile));
        certEdit->setText(Q(settings.certFile));
        keyEdit->setText(Q(settings.keyFile));
        userEdit->setText(Q(settings.username));
        passwordFileEdit->setText(Q(settings.passwordFile));
        clientIdEdit->setText(Q(settings.clientId));
        prefixEdit->setText(Q(settings.topicPrefix));
        qosList->setCurrentIndex(settings.qos == 0 ? 0 : 1);
        keepaliveSpin->setValue(settings.keepalive);
        checkResult->clear();
        UpdateEnabled();
    }
    QDialog::setVisible(visible);
}

MqttSettings CMqttDlg::FormSettings() const {
    MqttSettings s;
    s.enabled = enabledCheck->isChecked();
    s.host = S(hostEdit);
    if (s.host.empty()) {
        s.host = MqttSettings{}.host;
    }
    s.port = portSpin->value();
    s.tls = tlsCheck->isChecked();
    s.caFile = S(caEdit);
    s.certFile = S(certEdit);
    s.keyFile = S(keyEdit);
    s.username = S(userEdit);
    s.passwordFile = S(passwordFileEdit);
    s.clientId = S(clientIdEdit);
    s.topicPrefix = S(prefixEdit);
    s.qos = qosList->currentIndex();
    s.keepalive = keepaliveSpin->value();
    return s;
}

void CMqttDlg::UpdateEnabled() {
    const bool tls = tlsCheck->isChecked();
    caEdit->setEnabled(tls);
    certEdit->setEnabled(tls);
    keyEdit->setEnabled(tls);
}

QString CMqttDlg::CheckText(const MqttCheckResult& result) {
    if (result.failure == MqttFailure::None) {
        return QStringLiteral("Połączenie działa.");
    }
    return QStringLiteral("Brak połączenia: ") + Q(MqttFailureText(result.failure, result.detail)) +
           QStringLiteral(".");
}

void CMqttDlg::OnCheck() {
    const MqttSettings s = FormSettings();
    if (!IsValidTopicPrefix(s.topicPrefix)) {
        checkResult->setText(QStringLiteral("Nieprawidłowy prefiks tematów."));
        return;
    }
    if (checkThread.joinable()) {
        checkThread.join();  // the last one has posted its result already
    }
    checkResult->setText(QStringLiteral("Sprawdzanie..."));
    checkButton->setEnabled(false);
    checkThread = std::thread([this, s] {
        const MqttCheckResult result = checker(s);
        QMetaObject::invokeMethod(
            this, [this, result] { ShowCheckResult(result); }, Qt::QueuedConnection);
    });
}

void CMqttDlg::ShowCheckResult(const MqttCheckResult& result) {
    checkButton->setEnabled(true);
    checkResult->setText(CheckText(result));
}

void CMqttDlg::accept() {
    const MqttSettings s = FormSettings();
    if (!IsValidTopicPrefix(s.topicPrefix)) {
        checkResult->setText(QStringLiteral("Nieprawidłowy prefiks tematów."));
        prefixEdit->setFocus();
        return;
    }
    settings = s;
    QDialog::accept();
}
