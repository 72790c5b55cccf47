#pragma once
// The pictures as ready pixels, made at build time from the PNG files under
// resources/bitmaps (tools/PackPictures.cpp): nothing is decoded at start-up.

#include <QImage>

namespace tolvane {

struct PackedPicture {
    int id;
    int width;
    int height;
    int bytesPerLine;
    QImage::Format format;
    const unsigned char* pixels;
};

// Null when there is no picture of that id.
const PackedPicture* FindPackedPicture(int id);

}  // namespace tolvane
