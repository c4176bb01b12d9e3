#pragma once
#include <QSize>

#include "settings/WindowRect.h"

class QWidget;

// The main window's rectangle as orvex.ini keeps it: the outer rectangle of the normal state,
// placed at the start and followed through resizes and moves, never replaced by the rectangle
// of a minimised or maximised window. Also the last client size of each state, for a re-layout.
class CWindowGeometry {
public:
    // How the client area last changed size.
    enum class SizeType { Restored, Minimized, Maximized };

    // rect is the settings' rectangle, kept up to date.
    CWindowGeometry(QWidget& window, WindowRect& rect);

    SizeType CurrentSizeType() const;
    // Moves and sizes the window to rect (the outer rectangle).
    void Place();
    // The frame's size is known only once the window manager has framed the window (on X11
    // some time after the first show): places the rectangle once more then, so that a saved
    // rectangle does not grow by a frame on every run. True when it placed it.
    bool FitFrameOnce();
    // A new client size of the given kind; tracking: whether rect follows the window yet.
    void Sized(SizeType type, int cx, int cy, bool tracking);
    void Moved();
    // The client size of the state the window is in, as last reported.
    QSize LastClientSize() const;
    bool Maximized() const { return maximized; }

private:
    WindowRect OuterRect() const;

    QWidget& window;
    WindowRect& rect;
    WindowRect placedRect;  // the rectangle given at the last placing
    bool frameFixed = false;
    bool moveFollowsResize = false;  // a resize in the normal state was just reported
    bool maximized = false;
    QSize restored;
    QSize maximizedSize;
};
