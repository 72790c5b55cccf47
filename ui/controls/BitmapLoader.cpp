#include "BitmapLoader.h"

#include "PackedPictures.h"

namespace tolvane {

QImage LoadBitmapImage(int bitmapId) {
    const PackedPicture* picture = FindPackedPicture(bitmapId);
    if (!picture)
        return {};
    // Wraps the pixels in place; they are read-only, so a change copies them first.
    return QImage(picture->pixels, picture->width, picture->height, picture->bytesPerLine,
                  picture->format);
}

QPixmap LoadBitmapResource(int bitmapId) {
    const QImage image = LoadBitmapImage(bitmapId);
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

}  // namespace tolvane
