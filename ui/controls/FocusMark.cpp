#include "FocusMark.h"

#include <QPainter>

namespace tolvane {

void DrawFocusMark(QPainter& painter, const QRect& box) {
    if (box.width() < 2 || box.height() < 2)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1, Qt::SolidLine));
    painter.drawRect(box);
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.drawRect(box);
    painter.restore();
}

// The style's own focus frame of a tab is barely seen; the mark goes inside the tab.
void FocusTabBar::paintEvent(QPaintEvent* event) {
    QTabBar::paintEvent(event);
    if (!hasFocus() || currentIndex() < 0)
        return;
    QPainter painter(this);
    DrawFocusMark(painter, tabRect(currentIndex()).adjusted(3, 3, -4, -3));
}

}  // namespace tolvane
