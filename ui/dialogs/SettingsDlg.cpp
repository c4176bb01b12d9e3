#include "ui/dialogs/SettingsDlg.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

CSettingsDlg::CSettingsDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("settingsDlg"));
    setWindowTitle(QStringLiteral("Dialog"));

    checkBox = new QCheckBox(QString::fromUtf8(kCheckText), this);
    checkBox->setObjectName(QStringLiteral("doNotShowCheck"));
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Anuluj"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(ok, &QPushButton::clicked, this, &CSettingsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

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
