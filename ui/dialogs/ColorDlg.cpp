#include "ui/dialogs/ColorDlg.h"

#include <QGridLayout>
#include <QLabel>

#include "ui/dialogs/ColorRect.h"
#include "ui/dialogs/DialogButtons.h"
#include "ui/dialogs/FocusShown.h"
#include "ui/dialogs/InputLook.h"

CColorDlg::CColorDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("colorDlg"));
    setWindowTitle(QStringLiteral("Kolory"));

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Tło"), this), 0, 1, Qt::AlignHCenter);
    grid->addWidget(new QLabel(QStringLiteral("Tekst"), this), 0, 2, Qt::AlignHCenter);
    for (int i = 0; i < 8; ++i) {
        auto* label = new QLabel(QStringLiteral("Wejście &%1").arg(i + 1), this);
        grid->addWidget(label, i + 1, 0);
        backgroundSwatches[i] = new CColorRect(this);
        label->setBuddy(backgroundSwatches[i]);
        backgroundSwatches[i]->setObjectName(QStringLiteral("background%1").arg(i));
        textSwatches[i] = new CColorRect(this);
        textSwatches[i]->setObjectName(QStringLiteral("text%1").arg(i));
        grid->addWidget(backgroundSwatches[i], i + 1, 1);
        grid->addWidget(textSwatches[i], i + 1, 2);
        connect(backgroundSwatches[i], &CColorRect::Clicked, this,
                [this, i] { OnBackgroundClicked(i); });
        connect(textSwatches[i], &CColorRect::Clicked, this, [this, i] { OnTextClicked(i); });
    }

    LayOutOverOkCancel(this, grid);
    ShowFocusFromStart(this);
}

void CColorDlg::setVisible(bool visible) {
    if (visible) {
        for (int i = 0; i < 8; ++i) {
            if (valueControls[i] != nullptr) {
                backgroundSwatches[i]->SetColour(valueControls[i]->GetBackgroundColour());
                textSwatches[i]->SetColour(valueControls[i]->GetTextColour());
            }
        }
    }
    QDialog::setVisible(visible);
}

void CColorDlg::OnBackgroundClicked(int input) {
    if (CInputLook* control = valueControls[input]) {
        control->ChooseBackgroundColour();
        backgroundSwatches[input]->SetColour(control->GetBackgroundColour());
    }
}

void CColorDlg::OnTextClicked(int input) {
    if (CInputLook* control = valueControls[input]) {
        control->ChooseTextColour();
        textSwatches[input]->SetColour(control->GetTextColour());
    }
}
