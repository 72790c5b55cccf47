// Marking on the file's waveform: the wheel zooms around the pointer, a handle dragged
// at any zoom sets its edit to the time under the pointer, the snap option moves a typed
// mark into the quiet gap of a made file, and the keys zoom and nudge.

#include "OperationsTestSupport.h"
#include "Settings.h"
#include "TimeCode.h"
#include "WindowText.h"

#include <QCheckBox>
#include <QScrollBar>
#include <QWheelEvent>

using namespace tolvane;
using namespace tolvane::testing;

namespace {

class WaveformMarks : public WindowOperations {
  protected:
    // The window with the waveform option on and `file` loaded on the cut tab.
    CBitmapSlider* Open(WindowUnderTest& w, const fs::path& file) {
        AddFiles(w, {Q(file)});
        auto* slider = w->Item<CBitmapSlider>(Id::PositionSlider);
        EXPECT_TRUE(QTest::qWaitFor([&] { return slider->HasTimeline(); }, 5000));
        return slider;
    }
    // A 440 Hz tone, near silent at 1.030-1.050 s, 8 kHz mono WAV of 2 s.
    fs::path ToneWithGap() {
        const fs::path file = media / "gap.wav";
        EXPECT_TRUE(
            RunFfmpeg("-f lavfi -i \"aevalsrc=if(between(t\\,1.03\\,1.05)\\,0.01\\,0.8)*"
                      "sin(2*PI*440*t):s=8000:d=2\"",
                      file));
        return file;
    }
    void SetUp() override { SettingsFile(folder.path()).SetShowFileWaveform(true); }
};

void Wheel(QWidget* widget, int x, int notches) {
    const QPointF at(x, 40);
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

TEST_F(WaveformMarks, WheelZoomKeepsTheTimeUnderThePointerInPlace) {
    WindowUnderTest w(folder.path());
    CBitmapSlider* slider = Open(w, Wav("ten.wav", 10.0));
    for (const int x : {30, 258, 500}) {
        for (const int notches : {3, 5, -2}) {
            const double before = slider->View().PixelToTime(x);
            Wheel(slider, x, notches);
            const double pixelUs = slider->View().SpanUs() / 515;
            EXPECT_NEAR(slider->View().PixelToTime(x), before, pixelUs) << x << " " << notches;
        }
    }
    EXPECT_TRUE(slider->View().Zoomed());
    // A zoomed view is panned by its bar, to the file's end and back to its start.
    auto* bar = qobject_cast<QScrollBar*>(w->GetDlgItem(Id::ZoomBar));
    ASSERT_TRUE(bar != nullptr && bar->isEnabled());
    bar->setValue(bar->maximum());
    EXPECT_NEAR(slider->View().ToUs(), 10.0e6, 1000);
    bar->setValue(0);
    EXPECT_NEAR(slider->View().FromUs(), 0.0, 1000);
}

// Zoomed to 200 ms, the start handle is dragged from its place to pixel 400.
TEST_F(WaveformMarks, HandleDragSetsTheEditToTheTimeUnderThePointer) {
    WindowUnderTest w(folder.path());
    CBitmapSlider* slider = Open(w, Wav("ten.wav", 10.0));
    w->Item<QLineEdit>(Id::StartEdit)->setText(QStringLiteral("00:00:05.050"));
    slider->ShowView(5.0e6, 5.2e6);
    const int handle = slider->HandlePixel(CBitmapSlider::kStartMark);
    ASSERT_NEAR(handle, 1 + 515 / 4, 2);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(handle + 1, 5));
    QTest::mouseMove(slider, QPoint(300, 90));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(400, 90));
    const auto expectedMs = std::llround(slider->View().PixelToTime(400) / 1000);
    EXPECT_EQ(EditText(*w, Id::StartEdit), TimeCodeText(expectedMs));
    EXPECT_EQ(slider->MarkedStartUs(), expectedMs * 1000);
    EXPECT_EQ(EditText(*w, Id::EndEdit), QStringLiteral("00:00:10.000"));  // the other stays
}

TEST_F(WaveformMarks, SnapMovesATypedMarkIntoTheQuietGap) {
    WindowUnderTest w(folder.path());
    Open(w, ToneWithGap());
    w->Item<QCheckBox>(Id::SnapMarks)->setChecked(true);
    auto* start = w->Item<QLineEdit>(Id::StartEdit);
    start->selectAll();
    QTest::keyClicks(start, QStringLiteral("00:00:01.000"));
    QTest::keyClick(start, Qt::Key_Return);
    const std::int32_t ms = ParseTimeCode(EditText(*w, Id::StartEdit).toStdString());
    EXPECT_GE(ms, 1030);
    EXPECT_LE(ms, 1050);
    EXPECT_TRUE(SettingsFile(folder.path()).SnapMarks());  // remembered
}

TEST_F(WaveformMarks, KeysZoomAndNudgeTheMarkBeingEdited) {
    WindowUnderTest w(folder.path());
    CBitmapSlider* slider = Open(w, Wav("ten.wav", 10.0));
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_LT(slider->View().SpanUs(), 10e6);
    QTest::keyClick(slider, Qt::Key_0, Qt::ControlModifier);
    EXPECT_FALSE(slider->View().Zoomed());
    QTest::keyClick(slider, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(slider, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(EditText(*w, Id::StartEdit), QStringLiteral("00:00:00.002"));
    QTest::keyClick(slider, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);  // the end
    QTest::keyClick(slider, Qt::Key_Left, Qt::AltModifier);  // WAV: cut to the sample, 1 ms
    EXPECT_EQ(EditText(*w, Id::EndEdit), QStringLiteral("00:00:09.999"));
}

}  // namespace
