#pragma once
// What a dialog template gives its controls: a place in dialog units and an id by which
// the dialog's code finds them again.

#include "DialogUnits.h"

#include <QFont>
#include <QMap>
#include <QRect>

class QWidget;

namespace tolvane::dialogs {

// The controls of one dialog by id. The dialog owns the widgets (as their parent).
class DialogItems {
  public:
    explicit DialogItems(const DialogUnits& scale) : scale_(scale) {}

    // Registers `control` under `id` and places it at the rectangle in dialog units.
    template <typename Widget>
    Widget* Place(int id, Widget* control, int x, int y, int width, int height) {
        Register(id, control, scale_.ToPixels(x, y, width, height));
        return control;
    }

    const DialogUnits& scale() const { return scale_; }

    // The control with that id, or nullptr.
    QWidget* Get(int id) const { return items_.value(id, nullptr); }

  private:
    void Register(int id, QWidget* control, const QRect& pixels);

    DialogUnits scale_;
    QMap<int, QWidget*> items_;
};

}  // namespace tolvane::dialogs
