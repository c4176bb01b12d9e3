#include "ui/dialogs/HyperLink.h"

#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>

#include "ui/dialogs/LinkOpener.h"

CHyperLink::CHyperLink(const QString& text, QWidget* parent)
    : QLabel(text, parent), linkColour(Rgb(0, 0, 238)), visitedColour(Rgb(85, 26, 139)) {
    setMouseTracking(true);
    // The help program's pointing hand has no Linux counterpart; the system's one stands in.
    setCursor(Qt::PointingHandCursor);
    setTextFormat(Qt::PlainText);
    ApplyColour();
}

void CHyperLink::SetURL(const QString& newAddress) {
    address = newAddress;
    if (prepared) {
        SizeToText();
        setToolTip(address);
    }
}

void CHyperLink::showEvent(QShowEvent* event) {
    if (!prepared) {
        Prepare();
    }
    QLabel::showEvent(event);
}

void CHyperLink::Prepare() {
    prepared = true;
    if (address.isEmpty()) {
        address = text();
    }
    if (text().isEmpty()) {
        setText(address);
    }
    QFont linkFont = font();
    linkFont.setUnderline(underline);
    setFont(linkFont);
    if (autoSize) {
        SizeToText();
    }
    setToolTip(address);
}

void CHyperLink::SizeToText() {
    const QSize textSize = fontMetrics().size(Qt::TextSingleLine, text());
    QRect r = geometry();
    const Qt::Alignment a = alignment();
    const int dy = r.height() - textSize.height();
    if (a & Qt::AlignVCenter) {
        r.setTop(r.top() + dy / 2);
    }
    r.setHeight(textSize.height());
    const int dx = r.width() - textSize.width();
    if (a & Qt::AlignHCenter) {
        r.setLeft(r.left() + dx / 2);
    } else if (a & Qt::AlignRight) {
        r.setLeft(r.left() + dx);
    }
    r.setWidth(textSize.width());
    // Fixed, so that a layout keeps the size too.
    setFixedSize(r.size());
    setGeometry(r);
}

QColor CHyperLink::CurrentColour() const {
    if (over) {
        return QApplication::palette(this).color(QPalette::Active, QPalette::Highlight);
    }
    return ToQColor(visited ? visitedColour : linkColour);
}

void CHyperLink::ApplyColour() {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, CurrentColour());
    setPalette(p);
}

void CHyperLink::SetOver(bool on) {
    if (over == on) {
        return;
    }
    over = on;
    ApplyColour();
    repaint();
}

void CHyperLink::mouseMoveEvent(QMouseEvent* event) {
    QLabel::mouseMoveEvent(event);
    SetOver(rect().contains(event->position().toPoint()));
}

void CHyperLink::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    SetOver(false);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Follow();
    }
}

void CHyperLink::Follow() {
    const int result = linkopen::OpenAddress(address);
    if (result > 32) {
        visited = true;
        ApplyColour();
        repaint();
        return;
    }
    QApplication::beep();
    QMessageBox box(QMessageBox::Warning, QStringLiteral("orvex"), linkopen::ErrorReport(result),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("linkErrorBox"));
    box.exec();
}
