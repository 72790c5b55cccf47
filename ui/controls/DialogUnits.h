#pragma once
// Dialog units to pixels: a horizontal unit is a quarter of the dialog font's average
// character width, a vertical unit an eighth of its height, as the window templates
// were laid out.

#include <QFont>
#include <QRect>

namespace tolvane {

class DialogUnits {
  public:
    explicit DialogUnits(const QFont& dialogFont);
    // Average character width and height of the font, in pixels.
    DialogUnits(int baseWidth, int baseHeight)
        : baseWidth_(baseWidth > 0 ? baseWidth : 1), baseHeight_(baseHeight > 0 ? baseHeight : 1) {}

    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QRect ToPixels(int x, int y, int width, int height) const;

    int baseWidth() const { return baseWidth_; }
    int baseHeight() const { return baseHeight_; }

  private:
    int baseWidth_;
    int baseHeight_;
};

}  // namespace tolvane
