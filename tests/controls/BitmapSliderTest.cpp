#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QTest>
#include <memory>

#include "CBitmapSlider.h"
#include "SignalRecorder.h"

namespace tolvane {
namespace {

using test::SignalRecorder;
using Report = std::pair<int, int>;

constexpr int kSliderId = 1140;

// The slider as the main window sets it up, enabled as during playback.
class BitmapSliderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = std::make_unique<QWidget>();
        window_->resize(600, 220);
        slider_ = new CBitmapSlider(kSliderId, window_.get());
        slider_->move(10, 10);
        ASSERT_TRUE(slider_->SetTrackBitmaps(306, 307));
        ASSERT_TRUE(slider_->SetThumbBitmaps(308, 308));
        slider_->ShowFocusRect(false);
        slider_->SetRange(0, 1000);
        slider_->SetPos(0);
        slider_->SetMargins(0, -1, 2, 0);
        window_->show();
        recorder_ = std::make_unique<SignalRecorder>(*slider_);
    }

    // Posted reports arrive only once the event loop runs.
    void Deliver() { QCoreApplication::processEvents(); }

    QImage Painted() { return slider_->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    std::unique_ptr<QWidget> window_;
    CBitmapSlider* slider_ = nullptr;
    std::unique_ptr<SignalRecorder> recorder_;
};

QImage Track(int id) {
    return QImage(QStringLiteral(":/bitmaps/%1.png").arg(id)).convertToFormat(QImage::Format_RGB32);
}

// Columns [from, to) of the painting show the same columns of the picture.
::testing::AssertionResult ColumnsMatch(const QImage& painted, const QImage& picture, int from,
                                        int to) {
    for (int x = from; x < to; ++x) {
        for (int y = 0; y < picture.height(); ++y) {
            if (painted.pixel(x, y) != picture.pixel(x, y))
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") differs";
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(BitmapSliderDefaults, StateBeforeSetUp) {
    CBitmapSlider slider(kSliderId);
    EXPECT_EQ(slider.controlId(), kSliderId);
    EXPECT_EQ(slider.objectName(), QStringLiteral("1140"));
    EXPECT_EQ(slider.GetRangeMin(), 0);
    EXPECT_EQ(slider.GetRangeMax(), 100);
    EXPECT_EQ(slider.GetPos(), 0);
    EXPECT_EQ(slider.GetPageSize(), 20);
    EXPECT_EQ(slider.GetSelectionMode(), 0);
    EXPECT_TRUE(slider.IsFocusRectShown());
    EXPECT_FALSE(slider.IsTrackLoaded());
    EXPECT_FALSE(slider.IsThumbLoaded());
}

TEST(BitmapSliderDefaults, MissingPicturesLeaveNoTrack) {
    CBitmapSlider slider(kSliderId);
    EXPECT_FALSE(slider.SetTrackBitmaps(306, 9999));
    EXPECT_FALSE(slider.IsTrackLoaded());
    EXPECT_FALSE(slider.SetThumbBitmaps(9999, 308));
    EXPECT_FALSE(slider.IsThumbLoaded());
}

TEST(BitmapSliderDefaults, EmptyRangeDoesNotDivideByZero) {
    CBitmapSlider slider(kSliderId);
    slider.SetRange(5, 5);
    EXPECT_EQ(slider.PositionToPixel(5), 0);
    EXPECT_EQ(slider.PixelToPosition(10), 5);
}

TEST_F(BitmapSliderTest, TakesTheTrackSize) {
    EXPECT_EQ(slider_->size(), QSize(520, 176));
    EXPECT_EQ(slider_->GetThumbWidth(), 3);
    EXPECT_EQ(slider_->GetThumbHeight(), 173);
    EXPECT_EQ(slider_->pos(), QPoint(10, 10));
}

TEST_F(BitmapSliderTest, PixelPositionsWithTheWindowGeometry) {
    EXPECT_EQ(slider_->PositionToPixel(0), 1);
    EXPECT_EQ(slider_->PositionToPixel(1000), 516);
    EXPECT_EQ(slider_->PositionToPixel(500), 258);
    // The conversions truncate and are not exact inverses.
    EXPECT_EQ(slider_->PixelToPosition(258), 499);
    EXPECT_EQ(slider_->PixelToPosition(1), 0);
    EXPECT_EQ(slider_->PixelToPosition(516), 1000);
    EXPECT_GT(slider_->PixelToPosition(517), 1000);
}

TEST_F(BitmapSliderTest, SettersClampIntoTheRange) {
    slider_->SetPos(1500);
    EXPECT_EQ(slider_->GetPos(), 1000);
    slider_->SetPos(-3);
    EXPECT_EQ(slider_->GetPos(), 0);
    slider_->SetSelectionStart(-10);
    slider_->SetSelectionEnd(2000);
    EXPECT_EQ(slider_->GetSelectionStart(), 0);
    EXPECT_EQ(slider_->GetSelectionEnd(), 1000);
    slider_->SetSelectionMode(2);
    EXPECT_EQ(slider_->GetSelectionMode(), 2);
    slider_->SetSelectionMode(3);
    EXPECT_EQ(slider_->GetSelectionMode(), 0);
    slider_->SetSelectionMode(2);
    slider_->SetSelectionMode(-1);
    EXPECT_EQ(slider_->GetSelectionMode(), 0);
    Deliver();
    EXPECT_TRUE(recorder_->tracking.empty());
    EXPECT_TRUE(recorder_->settled.empty());
}

TEST_F(BitmapSliderTest, ShrinkingTheRangeClampsThePosition) {
    slider_->SetRange(0, 10000);
    slider_->SetPos(5000);
    slider_->SetRange(0, 1000);
    EXPECT_EQ(slider_->GetPos(), 1000);
}

class BitmapSliderPaintTest : public BitmapSliderTest {
  protected:
    void SetUp() override {
        BitmapSliderTest::SetUp();
        // The thumb sits at x 0 to 2 at position 0; keep it out of the compared columns.
        normal_ = Track(306);
        highlighted_ = Track(307);
        ASSERT_NE(normal_.pixel(100, 88), highlighted_.pixel(100, 88));
    }
    QImage normal_;
    QImage highlighted_;
};

TEST_F(BitmapSliderPaintTest, ModeZeroIsAllHighlighted) {
    slider_->SetSelectionStart(300);
    slider_->SetSelectionEnd(600);
    EXPECT_TRUE(ColumnsMatch(Painted(), highlighted_, 3, 520));
}

TEST_F(BitmapSliderPaintTest, ModeOneHighlightsFromTheStart) {
    slider_->SetSelectionStart(300);
    slider_->SetSelectionMode(1);
    const int start = slider_->PositionToPixel(300);
    const QImage painted = Painted();
    EXPECT_TRUE(ColumnsMatch(painted, normal_, 3, start));
    EXPECT_TRUE(ColumnsMatch(painted, highlighted_, start, 520));
}

TEST_F(BitmapSliderPaintTest, ModeOneFromZeroReachesTheLeftEdge) {
    slider_->SetPos(500);
    slider_->SetSelectionStart(0);
    slider_->SetSelectionMode(1);
    EXPECT_TRUE(ColumnsMatch(Painted(), highlighted_, 0, 256));
}

TEST_F(BitmapSliderPaintTest, ModeTwoHighlightsBetweenStartAndEnd) {
    slider_->SetSelectionStart(200);
    slider_->SetSelectionEnd(700);
    slider_->SetSelectionMode(2);
    const int start = slider_->PositionToPixel(200);
    const int end = slider_->PositionToPixel(700);
    const QImage painted = Painted();
    EXPECT_TRUE(ColumnsMatch(painted, normal_, 3, start));
    EXPECT_TRUE(ColumnsMatch(painted, highlighted_, start, end));
    EXPECT_TRUE(ColumnsMatch(painted, normal_, end, 520));
}

TEST_F(BitmapSliderPaintTest, ModeTwoFromZeroToTheMaximumIsAllHighlighted) {
    slider_->SetPos(500);
    slider_->SetSelectionStart(0);
    slider_->SetSelectionEnd(1000);
    slider_->SetSelectionMode(2);
    const QImage painted = Painted();
    EXPECT_TRUE(ColumnsMatch(painted, highlighted_, 0, 257));
    EXPECT_TRUE(ColumnsMatch(painted, highlighted_, 260, 520));
}

TEST_F(BitmapSliderPaintTest, ModeTwoEdgesUseExactComparisons) {
    slider_->SetPos(500);
    slider_->SetSelectionStart(0);
    slider_->SetSelectionEnd(400);
    slider_->SetSelectionMode(2);
    const int end = slider_->PositionToPixel(400);
    QImage painted = Painted();
    EXPECT_TRUE(ColumnsMatch(painted, highlighted_, 0, end));
    EXPECT_TRUE(ColumnsMatch(painted, normal_, end, 257));

    slider_->SetSelectionStart(600);
    slider_->SetSelectionEnd(1000);
    const int start = slider_->PositionToPixel(600);
    painted = Painted();
    EXPECT_TRUE(ColumnsMatch(painted, normal_, 260, start));
    EXPECT_TRUE(ColumnsMatch(painted, highlighted_, start, 520));
}

TEST_F(BitmapSliderPaintTest, ModeTwoWithTheStartAfterTheEndShowsNoSelection) {
    slider_->SetPos(0);
    slider_->SetSelectionStart(700);
    slider_->SetSelectionEnd(200);
    slider_->SetSelectionMode(2);
    EXPECT_TRUE(ColumnsMatch(Painted(), normal_, 3, 520));
}

TEST_F(BitmapSliderPaintTest, ThumbIsDrawnThroughItsMask) {
    slider_->SetPos(500);  // thumb centre at 258, left edge 257, top at y = -1
    const QImage thumb =
        QImage(QStringLiteral(":/bitmaps/308.png")).convertToFormat(QImage::Format_RGB32);
    const QRgb transparent = thumb.pixel(0, 0);
    const QImage painted = Painted();
    for (int y = 0; y < 172; ++y) {
        for (int column = 0; column < 3; ++column) {
            const QRgb source = thumb.pixel(column, y + 1);
            const QRgb expected =
                source == transparent ? highlighted_.pixel(257 + column, y) : source;
            ASSERT_EQ(painted.pixel(257 + column, y), expected) << column << ", " << y;
        }
    }
    // Below the thumb, and beside it, the track shows.
    EXPECT_TRUE(ColumnsMatch(painted, highlighted_, 260, 520));
    for (int y = 172; y < 176; ++y)
        EXPECT_EQ(painted.pixel(258, y), highlighted_.pixel(258, y));
}

TEST_F(BitmapSliderPaintTest, FocusRectangleOnlyWhenAskedFor) {
    slider_->setFocus();
    QApplication::setActiveWindow(window_.get());
    slider_->SetPos(500);
    EXPECT_TRUE(ColumnsMatch(Painted(), highlighted_, 0, 256));
    slider_->ShowFocusRect(true);
    ASSERT_TRUE(slider_->hasFocus());
    const QImage painted = Painted();
    // The mark lies two pixels inside the track, where it shows on the picture.
    EXPECT_TRUE(ColumnsMatch(painted, highlighted_, 0, 2));
    EXPECT_FALSE(ColumnsMatch(painted, highlighted_, 2, 3));
    EXPECT_TRUE(
        ColumnsMatch(painted.copy(3, 3, 200, 170), highlighted_.copy(3, 3, 200, 170), 0, 200));
}

// Marks are thin lines of their colour over the track at their positions; marks outside
// the range are not drawn, and the rest of the track is left as it was.
TEST_F(BitmapSliderPaintTest, MarksAreDrawnAtTheirPositionsOnly) {
    slider_->SetMarkColour(QColor(200, 30, 30));
    slider_->SetMarks({250, 500, 1200});
    const QImage painted = Painted();
    const QRgb mark = QColor(200, 30, 30).rgb();
    for (const int position : {250, 500}) {
        const int x = slider_->PositionToPixel(position);
        EXPECT_EQ(painted.pixel(x, 88), mark) << position;
        EXPECT_EQ(painted.pixel(x - 1, 5), mark) << position;
    }
    const int first = slider_->PositionToPixel(250);
    EXPECT_TRUE(ColumnsMatch(painted, highlighted_, 3, first - 1));
    EXPECT_TRUE(ColumnsMatch(painted, highlighted_, first + 1, slider_->PositionToPixel(500) - 1));
    slider_->SetMarks({});
    EXPECT_TRUE(ColumnsMatch(Painted(), highlighted_, 3, 520));
}

TEST_F(BitmapSliderPaintTest, DisplayHeightSqueezesTheTrackIntoTheWidget) {
    slider_->SetTrackDisplayHeight(40);
    EXPECT_EQ(slider_->size(), QSize(520, 40));
    EXPECT_EQ(slider_->sizeHint(), QSize(520, 40));
    EXPECT_EQ(slider_->GetTrackHeight(), 176) << "the pictures stay as they are";
    slider_->SetTrackDisplayHeight(0);
    EXPECT_EQ(slider_->size(), QSize(520, 176));
    EXPECT_TRUE(ColumnsMatch(Painted(), highlighted_, 3, 520));
}

TEST_F(BitmapSliderPaintTest, DisabledSliderStillPaints) {
    slider_->SetSelectionStart(300);
    slider_->SetSelectionMode(1);
    const QImage enabled = Painted();
    slider_->setEnabled(false);
    EXPECT_EQ(Painted(), enabled);
}

TEST_F(BitmapSliderTest, PressNearTheThumbPostsNothing) {
    QTest::mousePress(slider_, Qt::LeftButton, {}, QPoint(2, 80));
    EXPECT_EQ(slider_->GetPos(), 0);
    EXPECT_TRUE(slider_->IsDragging());
    Deliver();
    EXPECT_TRUE(recorder_->tracking.empty());
}

TEST_F(BitmapSliderTest, PressFartherAwayCentresTheThumb) {
    QTest::mousePress(slider_, Qt::LeftButton, {}, QPoint(100, 80));
    EXPECT_EQ(slider_->GetPos(), 192);  // trunc(99 / 515 * 1000)
    EXPECT_LE(std::abs(slider_->PositionToPixel(slider_->GetPos()) - 100), 1);
    // Posted: nothing arrives before the event loop runs.
    EXPECT_TRUE(recorder_->tracking.empty());
    Deliver();
    EXPECT_EQ(recorder_->tracking, (std::vector<Report>{{kSliderId, 192}}));
    QTest::mouseRelease(slider_, Qt::LeftButton, {}, QPoint(100, 80));
    Deliver();
    EXPECT_EQ(recorder_->settled, (std::vector<Report>{{kSliderId, 192}}));
    EXPECT_FALSE(slider_->IsDragging());
}

TEST_F(BitmapSliderTest, GrabbedThumbKeepsTheGrabPoint) {
    slider_->SetPos(500);  // centre 258
    QTest::mousePress(slider_, Qt::LeftButton, {}, QPoint(259, 80));
    EXPECT_EQ(slider_->GetPos(), 500);
    QTest::mouseMove(slider_, QPoint(269, 80));
    // The pointer stays one pixel right of the centre: the centre goes to 268.
    EXPECT_EQ(slider_->GetPos(), slider_->PixelToPosition(268));
    Deliver();
    EXPECT_EQ(recorder_->tracking, (std::vector<Report>{{kSliderId, slider_->GetPos()}}));
    QTest::mouseRelease(slider_, Qt::LeftButton, {}, QPoint(269, 80));
}

TEST_F(BitmapSliderTest, DragClampsAtBothEnds) {
    QTest::mousePress(slider_, Qt::LeftButton, {}, QPoint(300, 80));
    QTest::mouseMove(slider_, QPoint(700, 80));
    EXPECT_EQ(slider_->GetPos(), 1000);
    // The clamped pixel (517) lies one past the maximum's centre (516), so every move out
    // there reports the maximum again.
    QTest::mouseMove(slider_, QPoint(800, 80));
    EXPECT_EQ(slider_->GetPos(), 1000);
    QTest::mouseMove(slider_, QPoint(-40, 80));
    EXPECT_EQ(slider_->GetPos(), 0);
    QTest::mouseRelease(slider_, Qt::LeftButton, {}, QPoint(-40, 80));
    Deliver();
    ASSERT_EQ(recorder_->tracking.size(), 4u);
    EXPECT_EQ(recorder_->tracking[1], Report(kSliderId, 1000));
    EXPECT_EQ(recorder_->tracking[2], Report(kSliderId, 1000));
    EXPECT_EQ(recorder_->tracking[3], Report(kSliderId, 0));
    EXPECT_EQ(recorder_->settled, (std::vector<Report>{{kSliderId, 0}}));
}

TEST_F(BitmapSliderTest, MovesWithoutAPressAreIgnored) {
    QTest::mouseMove(slider_, QPoint(300, 80));
    EXPECT_EQ(slider_->GetPos(), 0);
    Deliver();
    EXPECT_TRUE(recorder_->tracking.empty());
}

TEST_F(BitmapSliderTest, KeysStepAndSettle) {
    slider_->setFocus();
    QTest::keyClick(slider_, Qt::Key_Home);
    QTest::keyClick(slider_, Qt::Key_End);
    Deliver();
    EXPECT_EQ(recorder_->settled, (std::vector<Report>{{kSliderId, 0}, {kSliderId, 1000}}));

    recorder_->settled.clear();
    QTest::keyClick(slider_, Qt::Key_Right);  // clamped at the maximum
    EXPECT_EQ(slider_->GetPos(), 1000);
    QTest::keyClick(slider_, Qt::Key_PageUp);
    EXPECT_EQ(slider_->GetPos(), 980);
    QTest::keyClick(slider_, Qt::Key_Left);
    QTest::keyClick(slider_, Qt::Key_Up);
    EXPECT_EQ(slider_->GetPos(), 978);
    QTest::keyClick(slider_, Qt::Key_Down);
    QTest::keyClick(slider_, Qt::Key_PageDown);
    EXPECT_EQ(slider_->GetPos(), 999);
    QTest::keyClick(slider_, Qt::Key_A);  // not a slider key
    Deliver();
    EXPECT_EQ(recorder_->settled.size(), 6u);
    EXPECT_TRUE(recorder_->tracking.empty());
}

TEST_F(BitmapSliderTest, DisabledSliderTakesNoInput) {
    slider_->setEnabled(false);
    QTest::mousePress(slider_, Qt::LeftButton, {}, QPoint(300, 80));
    QTest::mouseRelease(slider_, Qt::LeftButton, {}, QPoint(300, 80));
    QTest::keyClick(slider_, Qt::Key_End);
    Deliver();
    EXPECT_EQ(slider_->GetPos(), 0);
    EXPECT_TRUE(recorder_->tracking.empty());
    EXPECT_TRUE(recorder_->settled.empty());
}

TEST_F(BitmapSliderTest, ReleaseWithoutPressStillSettles) {
    QTest::mouseRelease(slider_, Qt::LeftButton, {}, QPoint(300, 80));
    Deliver();
    EXPECT_EQ(recorder_->settled, (std::vector<Report>{{kSliderId, 0}}));
}

}  // namespace
}  // namespace tolvane
