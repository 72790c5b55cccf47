#pragma once
// The keyboard focus mark every control of the windows draws: a dotted rectangle, black
// over white, so it shows on any picture and in any colour scheme. A tab bar that draws it
// around its current tab.

#include <QRect>
#include <QTabBar>

class QPainter;

namespace tolvane {

// Draws the mark along the inside of `box`; nothing when the box is too small to hold it.
void DrawFocusMark(QPainter& painter, const QRect& box);

class FocusTabBar : public QTabBar {
    Q_OBJECT
  public:
    using QTabBar::QTabBar;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tolvane
