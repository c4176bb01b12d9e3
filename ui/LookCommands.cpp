#include "ui/LookCommands.h"

#include "ui/ColorStatic.h"
#include "ui/dialogs/ColorDlg.h"
#include "ui/dialogs/FontDlg.h"

void RunColoursCommand(QWidget& window, CColorStatic* controls) {
    CColorDlg dialog(&window);
    Colour background[8];
    Colour text[8];
    for (int i = 0; i < 8; ++i) {
        background[i] = controls[i].GetBackgroundColour();
        text[i] = controls[i].GetTextColour();
        dialog.valueControls[i] = &controls[i];
    }
    if (dialog.exec() == QDialog::Accepted) {
        return;
    }
    for (int i = 0; i < 8; ++i) {
        CColorStatic& control = controls[i];
        const bool unchanged =
            control.GetBackgroundColour() == background[i] && control.GetTextColour() == text[i];
        control.SetBackgroundColour(background[i]);
        control.SetTextColour(text[i]);
        if (unchanged) {
            control.repaint();
        }
    }
}

void RunFontsCommand(QWidget& window, CColorStatic* controls) {
    CFontDlg dialog(&window);
    FontDescription former[8];
    for (int i = 0; i < 8; ++i) {
        former[i] = controls[i].GetFontDescription();
        dialog.valueControls[i] = &controls[i];
    }
    if (dialog.exec() == QDialog::Accepted) {
        return;
    }
    // Every font is made again, changed or not.
    for (int i = 0; i < 8; ++i) {
        controls[i].SetLogFont(former[i]);
    }
}
