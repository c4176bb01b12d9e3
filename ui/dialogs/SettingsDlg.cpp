#include "ui/dialogs/SettingsDlg.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialogs/DialogButtons.h"

CSettingsDlg::CSettingsDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("settingsDlg"));
    setWindowTitle(QStringLiteral("Dialog"));

    checkBox = new QCheckBox(QString::fromUtf8(kCheckText), this);
    checkBox->setObjectName(QStringLiteral("doNotShowCheck"));
    QFrame* line = MakeSeparator(this);
    const auto [ok, cancel] = MakeOkCancel(this);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(checkBox);
    layout->addWidget(line);
    layout->addLayout(buttons);
}

void CSettingsDlg::setVisible(bool visible) {
    if (visible) {
        checkBox->setChecked(doNotShow != 0);
    }
    QDialog::setVisible(visible);
}

void CSettingsDlg::accept() {
    doNotShow = checkBox->isChecked() ? 1 : 0;
    QDialog::accept();
}
