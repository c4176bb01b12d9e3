#include "ui/dialogs/DialogButtons.h"

#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

OkCancelButtons MakeOkCancel(QDialog* dialog) {
    auto* ok = new QPushButton(QStringLiteral("OK"), dialog);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Anuluj"), dialog);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    // accept and reject are virtual: a dialog's own accept runs.
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return {ok, cancel};
}

QFrame* MakeSeparator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

void LayOutOverOkCancel(QDialog* dialog, QLayout* contents) {
    QFrame* line = MakeSeparator(dialog);
    const auto [ok, cancel] = MakeOkCancel(dialog);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(contents);
    layout->addWidget(line);
    layout->addLayout(buttons);
}
