#include "ui/MemDC.h"

#include <QPaintDevice>
#include <QPaintEngine>

namespace {

bool IsPrintTarget(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    if (device != nullptr && device->devType() == QInternal::Printer) {
        return true;
    }
    const QPaintEngine* engine = painter.paintEngine();
    return engine != nullptr && engine->type() == QPaintEngine::Pdf;
}

QRect ClipBox(const QPainter& target) {
    if (target.hasClipping()) {
        return target.clipBoundingRect().toAlignedRect();
    }
    const QPaintDevice* device = target.device();
    return device ? QRect(0, 0, device->width(), device->height()) : QRect();
}

}  // namespace

CMemDC::CMemDC(QPainter& target, const QRect& rect)
    : target(&target), active(&target), rect(rect), offScreen(!IsPrintTarget(target)) {
    if (offScreen && !rect.isEmpty()) {
        const qreal ratio = target.device() ? target.device()->devicePixelRatioF() : 1.0;
        bitmap = QPixmap(rect.size() * ratio);
        bitmap.setDevicePixelRatio(ratio);
        memPainter.begin(&bitmap);
        // Same coordinates as on the target: the rectangle's top-left maps to the pixmap's.
        memPainter.translate(-rect.topLeft());
        memPainter.setFont(target.font());
        memPainter.setPen(target.pen());
        memPainter.setBackground(target.background());
        active = &memPainter;
    } else {
        offScreen = false;
    }
    active->fillRect(rect, target.background());
}

CMemDC::CMemDC(QPainter& target) : CMemDC(target, ClipBox(target)) {}

CMemDC::~CMemDC() {
    if (offScreen) {
        memPainter.end();
        target->drawPixmap(rect.topLeft(), bitmap);
    }
}
