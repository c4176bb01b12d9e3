#include "ui/dialogs/AlarmsDlg.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/dialogs/DialogButtons.h"
#include "ui/dialogs/FocusShown.h"

namespace {

// Tab enters a group on its checked button (the arrow keys move within the group): only the
// checked button takes the focus by Tab, or every button while none is checked.
void KeepTabOnChecked(QButtonGroup* group) {
    const auto update = [group] {
        const bool anyChecked = group->checkedButton() != nullptr;
        for (QAbstractButton* button : group->buttons()) {
            button->setFocusPolicy(!anyChecked || button->isChecked() ? Qt::StrongFocus
                                                                      : Qt::ClickFocus);
        }
    };
    QObject::connect(group, &QButtonGroup::buttonToggled, group, update);
    update();
}

// A group box with an exclusive "Włączony" / "Wyłączony" pair.
QGroupBox* MakeGroup(QWidget* parent, const QString& title, const QString& name, QRadioButton*& on,
                     QRadioButton*& off) {
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(name);
    on = new QRadioButton(QStringLiteral("Włączony"), box);
    on->setObjectName(name + QStringLiteral("On"));
    off = new QRadioButton(QStringLiteral("Wyłączony"), box);
    off->setObjectName(name + QStringLiteral("Off"));
    auto* group = new QButtonGroup(box);
    group->addButton(on);
    group->addButton(off);
    KeepTabOnChecked(group);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(on);
    layout->addWidget(off);
    return box;
}

}  // namespace

CAlarmsDlg::CAlarmsDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("alarmsDlg"));
    setWindowTitle(QStringLiteral("Alarmy"));

    // The titles carry the mnemonics: the buttons' texts repeat in both groups.
    QGroupBox* internal =
        MakeGroup(this, QStringLiteral("Alarm &wewnętrzny"), QStringLiteral("internalAlarm"),
                  internalOnButton, internalOffButton);
    QGroupBox* external =
        MakeGroup(this, QStringLiteral("Alarm &zewnętrzny"), QStringLiteral("externalAlarm"),
                  externalOnButton, externalOffButton);
    const OkCancelButtons buttons = MakeOkCancel(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(internal);
    layout->addWidget(external);
    layout->addWidget(buttons.box);
    ShowFocusFromStart(this);
}

void CAlarmsDlg::setVisible(bool visible) {
    if (visible) {
        (internalOn ? internalOnButton : internalOffButton)->setChecked(true);
        (externalOn ? externalOnButton : externalOffButton)->setChecked(true);
    }
    QDialog::setVisible(visible);
}

void CAlarmsDlg::accept() {
    internalOn = internalOnButton->isChecked() ? 1 : 0;
    externalOn = externalOnButton->isChecked() ? 1 : 0;
    QDialog::accept();
}
