#include "ui/dialogs/SettingsDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialogs/DialogButtons.h"

CSettingsDlg::CSettingsDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("settingsDlg"));
    setWindowTitle(QStringLiteral("Dialog"));

    checkBox = new QCheckBox(QStringLiteral("&") + QString::fromUtf8(kCheckText), this);
    checkBox->setObjectName(QStringLiteral("doNotShowCheck"));
    QFrame* line = MakeSeparator(this);
    const OkCancelButtons buttons = MakeOkCancel(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(checkBox);
    layout->addWidget(line);
    layout->addWidget(buttons.box);
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
