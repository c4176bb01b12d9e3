#include "ui/dialogs/FontDlg.h"

#include <QFrame>
#include <QGridLayout>

#include "ui/dialogs/ClickLabel.h"
#include "ui/dialogs/DialogButtons.h"
#include "ui/dialogs/FocusShown.h"
#include "ui/dialogs/InputLook.h"

CFontDlg::CFontDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fontDlg"));
    setWindowTitle(QStringLiteral("Czcionki"));

    auto* grid = new QGridLayout;
    for (int i = 0; i < 8; ++i) {
        auto* label = new QLabel(QStringLiteral("Wejście &%1").arg(i + 1), this);
        grid->addWidget(label, i, 0);
        previews[i] = new CClickLabel(QString::fromLatin1(kPreviewText), this);
        label->setBuddy(previews[i]);
        previews[i]->setObjectName(QStringLiteral("preview%1").arg(i));
        previews[i]->setAlignment(Qt::AlignCenter);
        previews[i]->setFrameShape(QFrame::StyledPanel);
        previews[i]->setCursor(Qt::PointingHandCursor);
        previews[i]->setFocusPolicy(Qt::StrongFocus);  // Tab, then Space or Enter
        grid->addWidget(previews[i], i, 1);
        connect(previews[i], &CClickLabel::Clicked, this, [this, i] { OnPreviewClicked(i); });
    }
    grid->setColumnStretch(1, 1);

    LayOutOverOkCancel(this, grid);
    ShowFocusFromStart(this);
    setMinimumWidth(360);
}

void CFontDlg::setVisible(bool visible) {
    if (visible) {
        for (int i = 0; i < 8; ++i) {
            if (valueControls[i] != nullptr) {
                previews[i]->setFont(valueControls[i]->LookFont());
            }
        }
    }
    QDialog::setVisible(visible);
}

void CFontDlg::OnPreviewClicked(int input) {
    if (CInputLook* control = valueControls[input]) {
        control->ChooseFont();
        previews[input]->setFont(control->LookFont());
        previews[input]->repaint();
    }
}
