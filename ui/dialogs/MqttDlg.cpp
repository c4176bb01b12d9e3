#include "ui/dialogs/MqttDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QToolButton>

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
    const QString pem = QStringLiteral("Pliki PEM (*.pem *.crt *.key);;Wszystkie pliki (*)");
    add("Plik CA:", WithChooser(caEdit, "caChooser", QStringLiteral("Plik CA"), pem));
    add("Certyfikat klienta:",
        WithChooser(certEdit, "certChooser", QStringLiteral("Certyfikat klienta"), pem));
    add("Klucz klienta:", WithChooser(keyEdit, "keyChooser", QStringLiteral("Klucz klienta"), pem));
    add("Użytkownik:", userEdit);
    add("Plik z hasłem:",
        WithChooser(passwordFileEdit, "passwordFileChooser", QStringLiteral("Plik z hasłem"),
                    QStringLiteral("Wszystkie pliki (*)")));
    add("Identyfikator klienta:", clientIdEdit);
    add("Prefiks tematów:", prefixEdit);
    add("QoS:", qosList);
    add("Podtrzymanie [s]:", keepaliveSpin);
    grid->addWidget(checkButton, row++, 0);
    // The whole width: an answer that names a file and a reason is long.
    grid->addWidget(checkResult, row++, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    LayOutOverOkCancel(this, grid);

    connect(checkButton, &QPushButton::clicked, this, &CMqttDlg::OnCheck);
    connect(enabledCheck, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(tlsCheck, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
}

QWidget* CMqttDlg::WithChooser(QLineEdit* edit, const char* buttonName, const QString& title,
                               const QString& filter) {
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    auto* button = new QToolButton(box);
    button->setObjectName(QString::fromLatin1(buttonName));
    button->setText(QStringLiteral("..."));
    button->setToolTip(QStringLiteral("Wybierz plik"));
    row->addWidget(edit, 1);
    row->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, edit, title, filter] {
        if (fileChooser != nullptr) {
            return;
        }
        const QString current = edit->text().trimmed();
        fileChooser = new QFileDialog(this, title, QString(), filter);
        fileChooser->setObjectName(QStringLiteral("fileChooser"));
        fileChooser->setAttribute(Qt::WA_DeleteOnClose);
        fileChooser->setFileMode(QFileDialog::ExistingFile);
        if (!current.isEmpty()) {
            // Opens on the file already chosen, in its folder.
            fileChooser->setDirectory(QFileInfo(current).absolutePath());
            fileChooser->selectFile(current);
        }
        connect(fileChooser, &QFileDialog::fileSelected, edit,
                [edit](const QString& path) { edit->setText(path); });
        connect(fileChooser, &QObject::destroyed, this, [this] { fileChooser = nullptr; });
        fileChooser->open();
    });
    choosers.push_back({edit, button});
    return box;
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
        if (IsRefusal(lastRefusal)) {
            checkResult->setText(QStringLiteral("Publikowanie teraz: ") +
                                 Q(MqttFailureText(lastRefusal)) + QStringLiteral("."));
        }
        UpdateEnabled();
    }
    QDialog::setVisible(visible);
}

MqttSettings CMqttDlg::FormSettings() const {
    MqttSettings s = settings;  // keys without a field stay as they are
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
    for (const auto& [edit, button] : choosers) {
        button->setEnabled(edit->isEnabled());
    }
}

QString CMqttDlg::CheckText(const MqttCheckResult& result) {
    QString text;
    if (result.failure == MqttFailure::None) {
        text = QStringLiteral("Połączenie działa.");
    } else if (result.failure == MqttFailure::Settings) {
        text = Q(result.detail) + QStringLiteral(".");
    } else {
        // Only Polish here: the library's own words are for a log.
        text = QStringLiteral("Brak połączenia: ") +
               Q(MqttFailureText(result.failure, result.detail)) + QStringLiteral(".");
    }
    for (const std::string& warning : result.warnings) {
        text += QStringLiteral("\nUwaga: ") + Q(warning) + QStringLiteral(".");
    }
    return text;
}

void CMqttDlg::ShowMessage(const QString& text) {
    checkResult->setText(text);
    // Grow to the wrapped text's height (never beyond the screen), so nothing is cut off.
    layout()->activate();
    int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width())
                                               : sizeHint().height();
    if (const QScreen* screen = this->screen()) {
        height = std::min(height, screen->availableGeometry().height());
    }
    if (height > this->height()) {
        resize(width(), height);
    }
}

// The first setting the publisher could not use, with its field's name, key and reason.
static QString SettingsRefusal(const MqttSettings& s) {
    const std::string problem = MqttSettingsProblem(s);
    if (problem.empty()) {
        return {};
    }
    return QStringLiteral("Nie można zapisać ustawień: ") + Q(problem) + QStringLiteral(".");
}

void CMqttDlg::OnCheck() {
    const MqttSettings s = FormSettings();
    if (const QString refusal = SettingsRefusal(s); !refusal.isEmpty()) {
        ShowMessage(refusal);
        return;
    }
    if (checkThread.joinable()) {
        checkThread.join();  // the last one has posted its result already
    }
    ShowMessage(QStringLiteral("Sprawdzanie..."));
    checkButton->setEnabled(false);
    checkThread = std::thread([this, s] {
        const MqttCheckResult result = checker(s);
        QMetaObject::invokeMethod(
            this, [this, result] { ShowCheckResult(result); }, Qt::QueuedConnection);
    });
}

void CMqttDlg::ShowCheckResult(const MqttCheckResult& result) {
    checkButton->setEnabled(true);
    ShowMessage(CheckText(result));
}

void CMqttDlg::accept() {
    const MqttSettings s = FormSettings();
    if (const QString refusal = SettingsRefusal(s); !refusal.isEmpty()) {
        ShowMessage(refusal);
        (TopicPrefixProblem(s.topicPrefix).empty() ? clientIdEdit : prefixEdit)->setFocus();
        return;
    }
    settings = s;
    QDialog::accept();
}
