#include "ui/dialogs/ColorRect.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/dialogs/KeyActivation.h"

CColorRect::CColorRect(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void CColorRect::SetColour(Colour newColour) {
    colour = newColour;
    repaint();
}

void CColorRect::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(colour));
    DrawFocusFrame(this, painter);
}

void CColorRect::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit Clicked();
    }
}

void CColorRect::keyPressEvent(QKeyEvent* event) {
    if (IsActivationKey(event)) {
        emit Clicked();
        return;
    }
    QWidget::keyPressEvent(event);
}
