#pragma once
#include <QPainter>
#include <QPixmap>
#include <QRect>

// Flicker-free drawing: everything is painted into an off-screen pixmap of the rectangle's
// size, and the destructor copies it to the target in one step. On a print target (printer
// or PDF) drawing goes straight to the target: rasterising there would only lose quality.
class CMemDC {
public:
    CMemDC(QPainter& target, const QRect& rect);
    // Without a rectangle: the target's clip box, or the whole device when it is unclipped.
    explicit CMemDC(QPainter& target);
    ~CMemDC();
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    QPainter& Painter() { return *active; }
    QPainter* operator->() { return active; }
    const QRect& Rect() const { return rect; }
    bool IsOffScreen() const { return offScreen; }

private:
    QPixmap bitmap;
    QPainter memPainter;
    QPainter* target;
    QPainter* active;
    QRect rect;
    bool offScreen;
};
