#pragma once
#include <QDialog>
#include <cstdint>

class QRadioButton;

// "Alarmy": the device's internal and external alarm enables. The caller sets the two flags
// before exec(); after OK they hold the user's choice (1 on, 0 off).
class CAlarmsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAlarmsDlg(QWidget* parent = nullptr);

    std::uint8_t internalOn = 0;
    std::uint8_t externalOn = 0;

    QRadioButton* InternalOnButton() const { return internalOnButton; }
    QRadioButton* InternalOffButton() const { return internalOffButton; }
    QRadioButton* ExternalOnButton() const { return externalOnButton; }
    QRadioButton* ExternalOffButton() const { return externalOffButton; }

    void setVisible(bool visible) override;

public slots:
    void accept() override;

private:
    QRadioButton* internalOnButton = nullptr;
    QRadioButton* internalOffButton = nullptr;
    QRadioButton* externalOnButton = nullptr;
    QRadioButton* externalOffButton = nullptr;
};
