#pragma once
// The pictures compiled into the program, by their resource id.

#include <QImage>
#include <QPixmap>

namespace tolvane {

// A null pixmap when the picture does not exist.
QPixmap LoadBitmapResource(int bitmapId);
// The same picture as an image (for reading its pixels); null when it does not exist.
QImage LoadBitmapImage(int bitmapId);

}  // namespace tolvane
