#pragma once
// Off-screen drawing buffer: everything is painted into a pixmap that is copied to the
// target painter in one step when the buffer goes away, so a frame never reaches the
// screen half drawn.

#include <QColor>
#include <QPainter>
#include <QPixmap>
#include <QRect>

namespace tolvane {

class XCMemDC {
  public:
    // Covers `rect` of the target (in the target's coordinates). The buffer starts filled
    // with `background`; drawing through painter() uses the target's coordinates.
    XCMemDC(QPainter& target, const QRect& rect, const QColor& background);
    ~XCMemDC();

    XCMemDC(const XCMemDC&) = delete;
    XCMemDC& operator=(const XCMemDC&) = delete;

    QPainter& painter() { return painter_; }
    const QRect& rect() const { return rect_; }

  private:
    QPainter& target_;
    QRect rect_;
    QPixmap buffer_;
    QPainter painter_;
};

}  // namespace tolvane
