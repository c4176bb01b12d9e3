#include "ui/dialogs/DialogButtons.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFrame>
#include <QPushButton>
#include <QVBoxLayout>

OkCancelButtons MakeOkCancel(QDialog* dialog) {
    auto* box = new QDialogButtonBox(dialog);
    box->setObjectName(QStringLiteral("buttonBox"));
    // Enter and Escape serve these two: no mnemonics to clash with the dialog's labels.
    auto* ok = new QPushButton(QStringLiteral("OK"), box);
    ok->setObjectName(QStringLiteral("okButton"));
    auto* cancel = new QPushButton(QStringLiteral("Anuluj"), box);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    // The box puts them in the platform's order, the same in every dialog.
    box->addButton(ok, QDialogButtonBox::AcceptRole);
    box->addButton(cancel, QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    // accept and reject are virtual: a dialog's own accept runs.
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return {box, ok, cancel};
}

QFrame* MakeSeparator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

void LayOutOverOkCancel(QDialog* dialog, QLayout* contents) {
    QFrame* line = MakeSeparator(dialog);
    const OkCancelButtons buttons = MakeOkCancel(dialog);
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(contents);
    layout->addWidget(line);
    layout->addWidget(buttons.box);
}
