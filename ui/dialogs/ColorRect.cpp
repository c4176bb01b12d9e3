#include "ui/dialogs/ColorRect.h"

#include <QMouseEvent>
#include <QPainter>

CColorRect::CColorRect(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::PointingHandCursor);
}

void CColorRect::SetColour(Colour newColour) {
    colour = newColour;
    repaint();
}

void CColorRect::paintEvent(QPaintEvent* /*event*/) {
    QPainter(this).fillRect(rect(), ToQColor(colour));
}

void CColorRect::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit Clicked();
    }
}
