// The pictures compiled in: reachable without Q_INIT_RESOURCE, with their sizes and the
// colour rules the controls rely on.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include "BitmapLoader.h"

namespace tolvane {
namespace {

struct Picture {
    int id;
    int width;
    int height;
};

constexpr Picture kPictures[] = {
    {178, 115, 52},  {188, 115, 52},  {254, 115, 52},  {326, 115, 52}, {330, 115, 52},
    {199, 65, 35},   {204, 96, 35},   {186, 84, 84},   {301, 34, 32},  {302, 34, 32},
    {310, 34, 32},   {303, 34, 32},   {304, 34, 32},   {320, 34, 32},  {321, 34, 32},
    {325, 34, 32},   {306, 520, 176}, {307, 520, 176}, {308, 3, 173},  {292, 48, 16},
    {266, 256, 256}, {331, 34, 32},
};

constexpr int kButtons[] = {178, 188, 254, 326, 330, 199, 204, 186, 301,
                            302, 310, 303, 304, 320, 321, 325, 331};

TEST(ArtworkResources, EveryPictureLoadsWithItsSize) {
    for (const Picture& picture : kPictures) {
        const QPixmap pixmap = LoadBitmapResource(picture.id);
        ASSERT_FALSE(pixmap.isNull()) << picture.id;
        EXPECT_EQ(pixmap.size(), QSize(picture.width, picture.height)) << picture.id;
    }
    EXPECT_TRUE(LoadBitmapResource(9999).isNull());
}

TEST(ArtworkResources, PackedPixelsAreThoseOfThePngFiles) {
    const auto premultiplied = [](const QImage& image) {
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    for (const Picture& picture : kPictures) {
        const QImage png(QStringLiteral(":/bitmaps/%1.png").arg(picture.id));
        ASSERT_FALSE(png.isNull()) << picture.id;
        EXPECT_EQ(premultiplied(LoadBitmapImage(picture.id)), premultiplied(png)) << picture.id;
    }
}

TEST(ArtworkResources, ButtonsAreCutOutOfWhite) {
    for (int id : kButtons) {
        const QImage image = LoadBitmapResource(id).toImage().convertToFormat(QImage::Format_RGB32);
        // Corners outside the figure are exactly white, the middle never is.
        EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFFu, 0xFFFFFFu) << id;
        EXPECT_EQ(image.pixel(image.width() - 1, image.height() - 1) & 0xFFFFFFu, 0xFFFFFFu) << id;
        EXPECT_NE(image.pixel(image.width() / 2, image.height() / 2) & 0xFFFFFFu, 0xFFFFFFu) << id;
    }
}

TEST(ArtworkResources, ThumbHasItsMaskColourTopLeft) {
    const QImage thumb = LoadBitmapResource(308).toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb mask = thumb.pixel(0, 0);
    const QColor centre(thumb.pixel(1, 86));
    EXPECT_NE(centre.rgb(), mask);
    EXPECT_GT(centre.red(), 200);
    EXPECT_LT(centre.green(), 80);
    for (int y = 1; y < thumb.height() - 1; ++y) {
        for (int x = 0; x < 3; ++x)
            ASSERT_NE(thumb.pixel(x, y), mask) << x << ", " << y;
    }
}

TEST(ArtworkResources, TrackColouringsShareTheirShapeButDiffer) {
    const QImage normal = LoadBitmapResource(306).toImage();
    const QImage highlighted = LoadBitmapResource(307).toImage();
    int differing = 0;
    for (int x = 0; x < 520; x += 7) {
        if (normal.pixel(x, 88) != highlighted.pixel(x, 88))
            ++differing;
    }
    EXPECT_GT(differing, 60);
}

TEST(ArtworkResources, HeaderStripOnMagenta) {
    const QImage strip = LoadBitmapResource(292).toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(strip.pixel(0, 0) & 0xFFFFFFu, 0xFF00FFu);
    EXPECT_EQ(strip.pixel(8, 8) & 0xFFFFFFu, 0xFF00FFu);   // image 0 is blank
    EXPECT_NE(strip.pixel(24, 8) & 0xFFFFFFu, 0xFF00FFu);  // inside the empty box
}

}  // namespace
}  // namespace tolvane
