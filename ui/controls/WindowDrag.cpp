#include "WindowDrag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace tolvane {

bool WindowDrag::Press(QWidget& window, QMouseEvent& event) {
    if (event.button() != Qt::LeftButton)
        return false;
    event.accept();
    if (QWindow* handle = window.windowHandle(); handle != nullptr && handle->startSystemMove())
        return true;
    dragging_ = true;
    offset_ = event.globalPosition().toPoint() - window.frameGeometry().topLeft();
    return true;
}

bool WindowDrag::Move(QWidget& window, QMouseEvent& event) {
    if (!dragging_ || !(event.buttons() & Qt::LeftButton))
        return false;
    window.move(event.globalPosition().toPoint() - offset_);
    event.accept();
    return true;
}

void WindowDrag::Release(QMouseEvent& event) {
    if (event.button() == Qt::LeftButton)
        dragging_ = false;
}

}  // namespace tolvane
