#pragma once
// What a dialog template gives its controls: a place in dialog units and an id by which
// the dialog's code finds them again.

#include <QFont>
#include <QMap>
#include <QRect>

class QWidget;

namespace tolvane::dialogs {

// Dialog units to pixels: a horizontal unit is a quarter of the font's average character
// width, a vertical unit an eighth of its height.
class DialogUnitScale {
  public:
    explicit DialogUnitScale(const QFont& dialogFont);
    DialogUnitScale(int baseWidth, int baseHeight);

    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QRect ToPixels(int x, int y, int width, int height) const;

    int baseWidth() const { return baseWidth_; }
    int baseHeight() const { return baseHeight_; }

  private:
    int baseWidth_;
    int baseHeight_;
};

// The controls of one dialog by id. The dialog owns the widgets (as their parent).
class DialogItems {
  public:
    explicit DialogItems(const DialogUnitScale& scale) : scale_(scale) {}

    // Registers `control` under `id` and places it at the rectangle in dialog units.
    template <typename Widget>
    Widget* Place(int id, Widget* control, int x, int y, int width, int height) {
        Register(id, control, scale_.ToPixels(x, y, width, height));
        return control;
    }

    const DialogUnitScale& scale() const { return scale_; }

    // The control with that id, or nullptr.
    QWidget* Get(int id) const { return items_.value(id, nullptr); }

  private:
    void Register(int id, QWidget* control, const QRect& pixels);

    DialogUnitScale scale_;
    QMap<int, QWidget*> items_;
};

}  // namespace tolvane::dialogs
