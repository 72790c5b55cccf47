#include "DialogTemplate.h"

#include <QFontMetrics>
#include <QString>
#include <QWidget>

namespace tolvane::dialogs {

namespace {

// The dialog manager's average width: the 52 Latin letters measured together, rounded.
// (QFontMetrics::averageCharWidth differs too much between fonts to lay out by.)
int AverageCharWidth(const QFontMetrics& metrics) {
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return (metrics.horizontalAdvance(letters) + 26) / 52;
}

// units * base / divisor, rounded half away from zero, as MulDiv rounds.
int Scale(int units, int base, int divisor) {
    const int scaled = units * base;
    return scaled >= 0 ? (scaled + divisor / 2) / divisor : -((-scaled + divisor / 2) / divisor);
}

}  // namespace

DialogUnitScale::DialogUnitScale(const QFont& dialogFont) {
    const QFontMetrics metrics(dialogFont);
    baseWidth_ = qMax(1, AverageCharWidth(metrics));
    baseHeight_ = qMax(1, metrics.height());
}

DialogUnitScale::DialogUnitScale(int baseWidth, int baseHeight)
    : baseWidth_(qMax(1, baseWidth)), baseHeight_(qMax(1, baseHeight)) {}

int DialogUnitScale::ToPixelsX(int units) const {
    return Scale(units, baseWidth_, 4);
}

int DialogUnitScale::ToPixelsY(int units) const {
    return Scale(units, baseHeight_, 8);
}

QRect DialogUnitScale::ToPixels(int x, int y, int width, int height) const {
    return QRect(ToPixelsX(x), ToPixelsY(y), ToPixelsX(width), ToPixelsY(height));
}

void DialogItems::Register(int id, QWidget* control, const QRect& pixels) {
    control->setObjectName(QString::number(id));
    control->setGeometry(pixels);
    items_.insert(id, control);
}

}  // namespace tolvane::dialogs
