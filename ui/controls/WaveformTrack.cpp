#include "WaveformTrack.h"

#include <QLinearGradient>
#include <QPainter>

#include <cmath>

namespace tolvane::ui {

namespace {

constexpr double kMiddle = (kTrackHeight - 1) / 2.0;
// The loudest sample reaches this far from the middle: six pixels stay free.
constexpr double kReach = kMiddle - 6;

int Row(double fromMiddle) {
    return int(std::lround(kMiddle - fromMiddle));
}

}  // namespace

QImage TrackBackground(bool highlighted) {
    QImage image(kTrackWidth, kTrackHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient back(0, 0, 0, kTrackHeight);
    if (highlighted) {
        back.setColorAt(0.0, QColor(22, 48, 78));
        back.setColorAt(0.5, QColor(30, 64, 102));
        back.setColorAt(1.0, QColor(22, 48, 78));
    } else {
        back.setColorAt(0.0, QColor(40, 46, 54));
        back.setColorAt(0.5, QColor(52, 58, 68));
        back.setColorAt(1.0, QColor(40, 46, 54));
    }
    painter.fillRect(image.rect(), back);

    // Faint grid: a line every 40 pixels and two at a quarter of the height.
    painter.setPen(highlighted ? QColor(52, 90, 132) : QColor(66, 72, 82));
    for (int x = 40; x < kTrackWidth; x += 40)
        painter.drawLine(x, 0, x, kTrackHeight - 1);
    painter.drawLine(0, kTrackHeight / 4, kTrackWidth - 1, kTrackHeight / 4);
    painter.drawLine(0, kTrackHeight * 3 / 4, kTrackWidth - 1, kTrackHeight * 3 / 4);
    return image;
}

void PaintTrackColumn(QPainter& painter, bool highlighted, int x, double high, double low) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(highlighted ? QColor(70, 214, 170) : QColor(120, 134, 150));
    painter.drawLine(x, Row(high * kReach), x, Row(low * kReach));
    // A brighter core at under half the extremes, where most of the sound lies. A column
    // on one side of zero (a few samples each, zoomed in) has no such core: it would draw
    // a second, smaller wave.
    if (high < 0 || low > 0)
        return;
    constexpr double kCore = 0.45;
    painter.setPen(highlighted ? QColor(170, 246, 220) : QColor(164, 176, 190));
    painter.drawLine(x, Row(high * kReach * kCore), x, Row(low * kReach * kCore));
}

void PaintTrackZeroLine(QPainter& painter, bool highlighted, int width) {
    painter.setPen(highlighted ? QColor(120, 230, 196) : QColor(140, 150, 162));
    painter.drawLine(0, int(kMiddle), width - 1, int(kMiddle));
}

}  // namespace tolvane::ui
