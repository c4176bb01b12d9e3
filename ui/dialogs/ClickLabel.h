#pragma once
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

#include "ui/dialogs/KeyActivation.h"

// A static text that reports clicks; given a focus policy, also Space and Enter while it has
// the focus, which it then shows with a focus frame.
class CClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void Clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QLabel::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            emit Clicked();
        }
    }

    void keyPressEvent(QKeyEvent* event) override {
        if (IsActivationKey(event)) {
            emit Clicked();
            return;
        }
        QLabel::keyPressEvent(event);
    }

    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        QPainter painter(this);
        DrawFocusFrame(this, painter);
    }
};
