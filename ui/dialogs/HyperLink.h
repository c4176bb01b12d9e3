#pragma once
#include <QLabel>
#include <QString>

#include "ui/dialogs/Colour.h"

// A text that looks and acts like a web link: underlined, blue until followed, purple after a
// successful open, the highlight colour while the pointer is over it, a pointing hand and a
// tool tip with the address. A failed open beeps and reports the reason.
class CHyperLink : public QLabel {
    Q_OBJECT
public:
    explicit CHyperLink(const QString& text = {}, QWidget* parent = nullptr);

    void SetURL(const QString& address);
    const QString& URL() const { return address; }
    void SetAutoSize(bool on) { autoSize = on; }

    bool IsOver() const { return over; }
    bool IsVisited() const { return visited; }
    // The colour the text is drawn in now.
    QColor CurrentColour() const;

    Colour linkColour;
    Colour visitedColour;

    // Opens the address as a click does.
    void Follow();

protected:
    void showEvent(QShowEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Prepare();
    void SizeToText();
    void ApplyColour();
    void SetOver(bool on);

    bool over = false;
    bool visited = false;
    bool underline = true;
    bool autoSize = true;
    bool prepared = false;
    QString address;
};
