#pragma once
#include <QDialog>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "publish/MqttCheck.h"
#include "publish/MqttSettings.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;

// "Publikowanie MQTT": the [MQTT] settings. The caller sets settings before exec() and reads
// them after OK; Anuluj leaves them as they were; settings the publisher could not use are not
// taken. "Sprawdź połączenie" tries the broker with what the form holds, on a thread of its own,
// and says in Polish how it went; the dialog grows to show the whole answer.
class CMqttDlg : public QDialog {
    Q_OBJECT
public:
    using Checker = std::function<MqttCheckResult(const MqttSettings&)>;
    static constexpr std::chrono::milliseconds kCheckTimeout{5000};

    // settingsFolder gives the default client id; checker replaces the real check in tests.
    CMqttDlg(std::filesystem::path settingsFolder, QWidget* parent = nullptr, Checker checker = {});
    ~CMqttDlg() override;  // waits for a running check, at most kCheckTimeout

    MqttSettings settings;
    // Why the running publisher's broker refuses it, if it does: shown when the dialog opens.
    MqttFailure lastRefusal = MqttFailure::None;

    // What the form holds now.
    MqttSettings FormSettings() const;
    QLabel* CheckResult() const { return checkResult; }
    // The file chooser a "..." button opened, while it is open (for tests).
    QFileDialog* FileChooser() const { return fileChooser; }
    QPushButton* CheckButton() const { return checkButton; }
    void setVisible(bool visible) override;

    // The check's outcome as the dialog shows it.
    static QString CheckText(const MqttCheckResult& result);

public slots:
    void accept() override;
    void OnCheck();

private:
    void UpdateEnabled();
    void ShowCheckResult(const MqttCheckResult& result);
    void ShowMessage(const QString& text);
    // A line edit with a "..." button that opens a file chooser on the edit's file.
    QWidget* WithChooser(QLineEdit* edit, const char* buttonName, const QString& title,
                         const QString& filter);

    std::filesystem::path settingsFolder;
    Checker checker;
    QCheckBox* enabledCheck = nullptr;
    QLineEdit* hostEdit = nullptr;
    QSpinBox* portSpin = nullptr;
    QCheckBox* tlsCheck = nullptr;
    QLineEdit* caEdit = nullptr;
    QLineEdit* certEdit = nullptr;
    QLineEdit* keyEdit = nullptr;
    QLineEdit* userEdit = nullptr;
    QLineEdit* passwordFileEdit = nullptr;
    QLineEdit* clientIdEdit = nullptr;
    QLineEdit* prefixEdit = nullptr;
    QComboBox* qosList = nullptr;
    QSpinBox* keepaliveSpin = nullptr;
    QPushButton* checkButton = nullptr;
    QLabel* checkResult = nullptr;
    QFileDialog* fileChooser = nullptr;
    // Each chooser button follows its field (TLS files are off without TLS).
    std::vector<std::pair<QLineEdit*, QToolButton*>> choosers;
    // The check runs beside the dialog, which stays responsive.
    std::thread checkThread;
};
