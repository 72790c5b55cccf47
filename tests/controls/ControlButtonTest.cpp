#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <memory>

#include "CControlButton.h"

namespace tolvane {
namespace {

constexpr int kButtonId = 1004;

QImage Filled(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QPixmap Solid(QColor colour) {
    return QPixmap::fromImage(Filled(40, 30, colour));
}

TEST(ControlButtonShape, AllWhiteGivesAnEmptyRegion) {
    EXPECT_TRUE(CControlButton::RegionFromPicture(Filled(20, 10, Qt::white)).isEmpty());
}

TEST(ControlButtonShape, NearWhiteBelongsToTheShape) {
    QImage picture = Filled(20, 10, Qt::white);
    picture.setPixel(7, 3, qRgb(254, 255, 255));
    picture.setPixel(8, 3, qRgb(255, 255, 254));
    picture.setPixel(2, 9, qRgb(0, 0, 0));
    const QRegion region = CControlButton::RegionFromPicture(picture);
    EXPECT_TRUE(region.contains(QPoint(7, 3)));
    EXPECT_TRUE(region.contains(QPoint(8, 3)));
    EXPECT_TRUE(region.contains(QPoint(2, 9)));
    EXPECT_FALSE(region.contains(QPoint(6, 3)));
    EXPECT_FALSE(region.contains(QPoint(9, 3)));
    EXPECT_EQ(region.boundingRect(), QRect(2, 3, 7, 7));
}

TEST(ControlButtonShape, RegionIsExactlyTheNonWhitePixelsOfEveryPicture) {
    for (int id : {178, 186, 199, 204, 301, 325}) {
        const QImage picture = QImage(QStringLiteral(":/bitmaps/%1.png").arg(id))
                                   .convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(picture.isNull()) << id;
        const QRegion region = CControlButton::RegionFromPicture(picture);
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const bool white = (picture.pixel(x, y) & 0xFFFFFFu) == 0xFFFFFFu;
                ASSERT_EQ(region.contains(QPoint(x, y)), !white) << id << " at " << x << ", " << y;
            }
        }
    }
}

TEST(ControlButtonShape, ManyRunsAreJoinedInBatches) {
    // A checkerboard gives one run per black pixel: more than one batch of rectangles.
    QImage picture = Filled(200, 60, Qt::white);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = (y % 2); x < picture.width(); x += 2)
            picture.setPixel(x, y, qRgb(0, 0, 0));
    }
    const QRegion region = CControlButton::RegionFromPicture(picture);
    EXPECT_EQ(region.rectCount(), 6000);
    EXPECT_TRUE(region.contains(QPoint(199, 59)));
    EXPECT_FALSE(region.contains(QPoint(198, 59)));
}

class ControlButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = std::make_unique<QWidget>();
        window_->resize(300, 200);
        button_ = new CControlButton(kButtonId, window_.get());
        button_->setGeometry(50, 40, 40, 30);
        other_ = new QWidget(window_.get());
        other_->setGeometry(200, 40, 40, 30);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }

    QPoint InWindow(QPoint inButton) const { return button_->mapTo(window_.get(), inButton); }
    void ClickAt(QPoint inButton) {
        QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, {}, InWindow(inButton));
    }
    QColor PaintedColour() { return QColor(button_->grab().toImage().pixel(20, 15)); }

    std::unique_ptr<QWidget> window_;
    CControlButton* button_ = nullptr;
    QWidget* other_ = nullptr;
};

TEST_F(ControlButtonTest, KeepsItsId) {
    EXPECT_EQ(button_->controlId(), kButtonId);
    EXPECT_EQ(button_->objectName(), QStringLiteral("1004"));
}

TEST_F(ControlButtonTest, ClickInsideTheShapeOnly) {
    // A round figure: the corners are white.
    QImage picture = Filled(40, 30, Qt::white);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            if ((x - 20) * (x - 20) + (y - 15) * (y - 15) <= 14 * 14)
                picture.setPixel(x, y, qRgb(30, 90, 200));
        }
    }
    button_->SetShape(picture);
    QSignalSpy clicks(button_, &QAbstractButton::clicked);
    ClickAt(QPoint(1, 1));
    EXPECT_EQ(clicks.count(), 0);
    ClickAt(QPoint(20, 15));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_FALSE(button_->mask().contains(QPoint(1, 1)));
}

TEST_F(ControlButtonTest, AllWhiteShapeIsInvisibleAndUnclickable) {
    button_->SetShape(Filled(40, 30, Qt::white));
    EXPECT_TRUE(button_->HasShape());
    EXPECT_TRUE(button_->GetShape().isEmpty());
    EXPECT_FALSE(button_->mask().intersects(button_->rect()));
    QSignalSpy clicks(button_, &QAbstractButton::clicked);
    ClickAt(QPoint(20, 15));
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(ControlButtonTest, MissingShapePictureKeepsTheRectangle) {
    button_->SetShape(9999);
    EXPECT_FALSE(button_->HasShape());
    EXPECT_TRUE(button_->mask().isEmpty());
    QSignalSpy clicks(button_, &QAbstractButton::clicked);
    ClickAt(QPoint(1, 1));
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(ControlButtonTest, PicturesByResourceId) {
    button_->SetShape(186);
    button_->SetBitmaps(186);
    EXPECT_EQ(button_->NormalBitmap().size(), QSize(84, 84));
    EXPECT_EQ(button_->HoverBitmap().size(), QSize(84, 84));
    EXPECT_EQ(button_->PressedBitmap().size(), QSize(84, 84));
    button_->SetBitmaps(9999);
    EXPECT_TRUE(button_->NormalBitmap().isNull());
}

TEST_F(ControlButtonTest, HoverAndLeaveSwitchThePicture) {
    button_->SetBitmaps(Solid(Qt::red), Solid(Qt::blue), Solid(Qt::green), Solid(Qt::yellow));
    EXPECT_EQ(PaintedColour(), QColor(Qt::blue));
    QSignalSpy reports(button_, &CControlButton::hoverChanged);
    for (int round = 0; round < 2; ++round) {
        QTest::mouseMove(window_->windowHandle(), InWindow(QPoint(10, 10)));
        QTest::mouseMove(window_->windowHandle(), InWindow(QPoint(12, 10)));
        EXPECT_TRUE(button_->IsTracking());
        EXPECT_TRUE(QTest::qWaitFor([&] { return button_->IsHovering(); }, 1000));
        EXPECT_EQ(PaintedColour(), QColor(Qt::red));
        QTest::mouseMove(window_->windowHandle(), QPoint(220, 50));
        EXPECT_FALSE(button_->IsHovering());
        EXPECT_FALSE(button_->IsTracking());
        EXPECT_EQ(PaintedColour(), QColor(Qt::blue));
    }
    // One hover and one leave report per visit.
    ASSERT_EQ(reports.count(), 4);
    EXPECT_TRUE(reports[0][0].toBool());
    EXPECT_FALSE(reports[1][0].toBool());
}

TEST_F(ControlButtonTest, PressedPictureOnTopWhileHeld) {
    button_->SetBitmaps(Solid(Qt::red), Solid(Qt::blue), Solid(Qt::green), Solid(Qt::yellow));
    QSignalSpy clicks(button_, &QAbstractButton::clicked);
    QTest::mouseMove(window_->windowHandle(), InWindow(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return button_->IsHovering(); }, 1000));
    QTest::mousePress(window_->windowHandle(), Qt::LeftButton, {}, InWindow(QPoint(10, 10)));
    EXPECT_TRUE(button_->isDown());
    EXPECT_EQ(PaintedColour(), QColor(Qt::green));
    QTest::mouseRelease(window_->windowHandle(), Qt::LeftButton, {}, InWindow(QPoint(10, 10)));
    EXPECT_EQ(PaintedColour(), QColor(Qt::red));
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(ControlButtonTest, PressedPictureOnlyCoversItsOwnSize) {
    QPixmap smallPressed = QPixmap::fromImage(Filled(10, 10, Qt::green));
    button_->SetBitmaps(Solid(Qt::red), Solid(Qt::blue), smallPressed, QPixmap());
    button_->setDown(true);
    const QImage painted = button_->grab().toImage();
    EXPECT_EQ(QColor(painted.pixel(5, 5)), QColor(Qt::green));
    EXPECT_EQ(QColor(painted.pixel(20, 15)), QColor(Qt::blue));
}

// One picture for every state: a press darkens it, and the focus draws a dotted mark
// inside it, black and white, away from the edges; both go again.
TEST_F(ControlButtonTest, OnePictureForAllStatesStillShowsThePressAndTheFocus) {
    const QPixmap picture = Solid(QColor(200, 120, 40));
    button_->SetBitmaps(picture, picture, picture, picture);
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    other_->setFocusPolicy(Qt::StrongFocus);
    other_->setFocus();
    ASSERT_FALSE(button_->hasFocus());
    const QImage plain = button_->grab().toImage();

    button_->setDown(true);
    const QImage pressed = button_->grab().toImage();
    EXPECT_LT(QColor(pressed.pixel(20, 15)).lightness(), QColor(plain.pixel(20, 15)).lightness());
    button_->setDown(false);
    EXPECT_EQ(button_->grab().toImage(), plain);

    button_->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(button_->hasFocus());
    const QImage focused = button_->grab().toImage();
    int black = 0, white = 0, changedAtTheEdge = 0;
    for (int y = 0; y < focused.height(); ++y) {
        for (int x = 0; x < focused.width(); ++x) {
            if (focused.pixel(x, y) == plain.pixel(x, y))
                continue;
            const QRgb rgb = focused.pixel(x, y) & 0xFFFFFFu;
            black += rgb == 0;
            white += rgb == 0xFFFFFFu;
            changedAtTheEdge +=
                x == 0 || y == 0 || x == focused.width() - 1 || y == focused.height() - 1;
        }
    }
    EXPECT_GT(black, 10);
    EXPECT_GT(white, 10);
    EXPECT_EQ(changedAtTheEdge, 0);
    other_->setFocus();
    EXPECT_EQ(button_->grab().toImage(), plain);
}

}  // namespace
}  // namespace tolvane
