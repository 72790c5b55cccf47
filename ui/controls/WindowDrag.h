#pragma once
// Moves a window by a press on a free spot of it, as if its title bar had been pressed:
// the window system moves it where it can, else the window follows the mouse by hand.
// The window's own mouse handlers hand their events here first.

#include <QPoint>

class QMouseEvent;
class QWidget;

namespace tolvane {

class WindowDrag {
  public:
    // Each returns true when the event was used for the move; the window passes the
    // others on to its base class.
    bool Press(QWidget& window, QMouseEvent& event);
    bool Move(QWidget& window, QMouseEvent& event);
    void Release(QMouseEvent& event);

  private:
    bool dragging_ = false;
    QPoint offset_;  // from the window's top left corner to the pressed point
};

}  // namespace tolvane
