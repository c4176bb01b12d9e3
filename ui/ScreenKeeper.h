#pragma once
#include <QMargins>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

class QWidget;
class QWindow;

// The client rectangle that puts a window, with the given frame around it, fully inside the
// available area: moved as little as needed, and shrunk (not below its minimum size) when it
// is bigger. A window that cannot fit even so keeps its frame's top left corner in the area,
// so its title bar can always be grabbed.
QRect FitOnScreen(const QRect& client, const QMargins& frame, const QRect& available,
                  const QSize& minimum);

// Keeps every window and dialog of the program (its own, message boxes, Qt's choosers, the
// help window) fully on the screen that holds the main window, title bar included. A window
// is placed just before the window system shows it, after a dialog has centred itself over
// its parent. While a window's frame is not known yet, the main window's frame stands in.
class CScreenKeeper : public QObject {
public:
    // Watches the whole application while it lives.
    explicit CScreenKeeper(QWidget* mainWindow);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Place(QWindow* window);

    QPointer<QWidget> mainWindow;
};
