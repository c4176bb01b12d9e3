#pragma once
#include <QDialog>

class CColorRect;
class CInputLook;

// "Kolory": a background and a text swatch per input. A click opens the colour chooser of the
// main window's value control, so the window shows the choice at once; the command restores
// the former colours unless the dialog ends with OK.
class CColorDlg : public QDialog {
    Q_OBJECT
public:
    explicit CColorDlg(QWidget* parent = nullptr);

    // The main window's value controls, index 0 = input 1; set before exec().
    CInputLook* valueControls[8] = {};

    CColorRect* BackgroundSwatch(int input) const { return backgroundSwatches[input]; }
    CColorRect* TextSwatch(int input) const { return textSwatches[input]; }

    void setVisible(bool visible) override;

private:
    void OnBackgroundClicked(int input);
    void OnTextClicked(int input);

    CColorRect* textSwatches[8] = {};
    CColorRect* backgroundSwatches[8] = {};
};
