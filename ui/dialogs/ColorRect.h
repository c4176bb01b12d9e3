#pragma once
#include <QWidget>

#include "ui/dialogs/Colour.h"

// A colour swatch: its whole area in one colour. A click, or Space or Enter while it has the
// keyboard focus (Tab reaches it), is reported with Clicked().
class CColorRect : public QWidget {
    Q_OBJECT
public:
    explicit CColorRect(QWidget* parent = nullptr);

    Colour GetColour() const { return colour; }
    // Repaints at once.
    void SetColour(Colour newColour);

    QSize sizeHint() const override { return {48, 20}; }

signals:
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Colour colour = Rgb(128, 128, 128);
};
