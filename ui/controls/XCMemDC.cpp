#include "XCMemDC.h"

namespace tolvane {

namespace {

QPixmap MakeBuffer(QPainter& target, const QRect& rect) {
    const qreal ratio = target.device() ? target.device()->devicePixelRatioF() : 1.0;
    QPixmap buffer(rect.size() * ratio);
    buffer.setDevicePixelRatio(ratio);
    return buffer;
}

}  // namespace

XCMemDC::XCMemDC(QPainter& target, const QRect& rect, const QColor& background)
    : target_(target), rect_(rect), buffer_(MakeBuffer(target, rect)) {
    if (buffer_.isNull())
        return;  // empty rectangle: nothing to draw or copy
    buffer_.fill(background);
    painter_.begin(&buffer_);
    // Callers draw in the target's coordinates.
    painter_.translate(-rect_.topLeft());
}

XCMemDC::~XCMemDC() {
    if (buffer_.isNull())
        return;
    painter_.end();
    target_.drawPixmap(rect_.topLeft(), buffer_);
}

}  // namespace tolvane
