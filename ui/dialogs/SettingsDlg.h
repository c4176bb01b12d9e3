#pragma once
#include <QDialog>

class QCheckBox;

// "Ustawienia dodatkowe": whether the information about Zelvio is shown at start. The caller
// sets doNotShow before exec() and reads it after OK.
class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kCheckText =
        "Nie pokazu informacji o oprogramowaniu Zelvio przy starcie";

    explicit CSettingsDlg(QWidget* parent = nullptr);

    int doNotShow = 0;

    QCheckBox* CheckBox() const { return checkBox; }
    void setVisible(bool visible) override;

public slots:
    void accept() override;

private:
    QCheckBox* checkBox = nullptr;
};
