#pragma once
#include <QDialog>

class CClickLabel;
class CInputLook;

// "Czcionki": a "0123456789." preview per input in that input's value font. A click opens the
// font chooser of the main window's value control; the command restores all eight fonts
// unless the dialog ends with OK.
class CFontDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kPreviewText = "0123456789.";

    explicit CFontDlg(QWidget* parent = nullptr);

    // The main window's value controls, index 0 = input 1; set before exec().
    CInputLook* valueControls[8] = {};

    CClickLabel* Preview(int input) const { return previews[input]; }

    void setVisible(bool visible) override;

private:
    void OnPreviewClicked(int input);

    CClickLabel* previews[8] = {};
};
