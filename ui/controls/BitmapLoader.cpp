#include "BitmapLoader.h"

namespace tolvane {

QString BitmapResourcePath(int bitmapId) {
    return QStringLiteral(":/bitmaps/%1.png").arg(bitmapId);
}

QPixmap LoadBitmapResource(int bitmapId) {
    return QPixmap(BitmapResourcePath(bitmapId));
}

}  // namespace tolvane
