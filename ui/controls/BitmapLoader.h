#pragma once
// Pictures compiled into the program as Qt resources, by their resource id.

#include <QPixmap>
#include <QString>

namespace tolvane {

// ":/bitmaps/<id>.png"
QString BitmapResourcePath(int bitmapId);

// A null pixmap when the picture does not exist.
QPixmap LoadBitmapResource(int bitmapId);

}  // namespace tolvane
