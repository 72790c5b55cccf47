#include "DialogUnits.h"

#include <QFontMetrics>
#include <QString>

namespace tolvane {

namespace {

// The average width the dialog manager uses: the 52 Latin letters measured together,
// rounded (it is not the font's own averageCharWidth, which varies wildly between fonts).
int AverageCharWidth(const QFontMetrics& metrics) {
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int total = metrics.horizontalAdvance(letters);
    return (total / 26 + 1) / 2;
}

}  // namespace

DialogUnits::DialogUnits(const QFont& dialogFont) {
    const QFontMetrics metrics(dialogFont);
    baseWidth_ = qMax(1, AverageCharWidth(metrics));
    baseHeight_ = qMax(1, metrics.height());
}

// Rounded to the nearest pixel, as MulDiv does.
int DialogUnits::ToPixelsX(int units) const {
    const int scaled = units * baseWidth_;
    return scaled >= 0 ? (scaled + 2) / 4 : -((-scaled + 2) / 4);
}

int DialogUnits::ToPixelsY(int units) const {
    const int scaled = units * baseHeight_;
    return scaled >= 0 ? (scaled + 4) / 8 : -((-scaled + 4) / 8);
}

QRect DialogUnits::ToPixels(int x, int y, int width, int height) const {
    return QRect(ToPixelsX(x), ToPixelsY(y), ToPixelsX(width), ToPixelsY(height));
}

}  // namespace tolvane
