#pragma once
#include <QFont>

#include "ui/dialogs/Colour.h"

// What the colours and fonts dialogs need of one input's value control. The main window's
// CColorStatic provides it; the dialogs reach the control only through it.
class CInputLook {
public:
    virtual Colour GetBackgroundColour() const = 0;
    virtual Colour GetTextColour() const = 0;
    // The font the value text is drawn in.
    virtual QFont LookFont() const = 0;
    // The choosers; each returns true when the user confirmed.
    virtual bool ChooseBackgroundColour() = 0;
    virtual bool ChooseTextColour() = 0;
    virtual bool ChooseFont() = 0;

protected:
    ~CInputLook() = default;
};
