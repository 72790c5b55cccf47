#pragma once
// The position slider's track pictures (520 x 176): a dark band with a faint grid and a
// waveform drawn one column at a time, in a plain and a highlighted colouring. The
// artwork program draws the fixed pictures with it, the window the file's own.

#include <QImage>

class QPainter;

namespace tolvane::ui {

inline constexpr int kTrackWidth = 520;
inline constexpr int kTrackHeight = 176;

// The band and its grid, without a waveform.
QImage TrackBackground(bool highlighted);
// One column of waveform at `x`: `high` and `low` are the extremes there, in [-1, 1].
void PaintTrackColumn(QPainter& painter, bool highlighted, int x, double high, double low);
// The zero line across columns [0, width).
void PaintTrackZeroLine(QPainter& painter, bool highlighted, int width);

}  // namespace tolvane::ui
