// The slider's optional waveform of the loaded file: the pictures drawn from the file,
// the context menu that turns it on and off, and the setting that remembers it.

#include "BitmapLoader.h"
#include "CBitmapSlider.h"
#include "FileWaveform.h"
#include "OperationsTestSupport.h"
#include "Settings.h"
#include "WaveformTrack.h"

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tolvane;
using namespace tolvane::testing;

namespace {

// Loud for the first half of its three seconds, quiet after.
fs::path Halves(const fs::path& dir) {
    const fs::path file = dir / "halves.wav";
    EXPECT_TRUE(RunFfmpeg(
        "-f lavfi -i \"aevalsrc=if(lt(t\\,1.5)\\,0.9\\,0.1)*sin(2*PI*440*t):s=8000:d=3\"", file));
    return file;
}

QImage Fixed(int bitmap) {
    return LoadBitmapResource(bitmap).toImage().convertToFormat(QImage::Format_RGB32);
}

bool SameImage(const QPixmap& pixmap, const QImage& image) {
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32) == image;
}

// The row a sample value reaches in a track picture.
int RowOf(double value) {
    const double middle = (ui::kTrackHeight - 1) / 2.0;
    return int(std::lround(middle - value * (middle - 6)));
}

// Both colourings: the fixed picture until columns arrive, then the loud half reaches
// rows the quiet half does not, in that colouring's peak colour.
TEST(FileWaveformPictures, LoudAndQuietHalvesShowInBothColourings) {
    TempDir dir;
    ui::FileWaveform waveform(LoadBitmapResource(306), LoadBitmapResource(307));
    EXPECT_TRUE(SameImage(waveform.Normal(), Fixed(306)));
    waveform.Load(Halves(dir.path()).string());
    for (int i = 0; i < 500 && waveform.Reading(); ++i) {
        waveform.Update();
        QTest::qWait(10);
    }
    ASSERT_FALSE(waveform.Reading());
    struct Colouring {
        QImage picture;
        QRgb peak;
    };
    for (const Colouring& c : {Colouring{waveform.Normal().toImage(), qRgb(120, 134, 150)},
                               Colouring{waveform.Highlighted().toImage(), qRgb(70, 214, 170)}}) {
        EXPECT_EQ(c.picture.pixel(100, RowOf(0.75)), c.peak);
        EXPECT_EQ(c.picture.pixel(100, RowOf(-0.75)), c.peak);
        EXPECT_NE(c.picture.pixel(400, RowOf(0.75)), c.peak);
        EXPECT_EQ(c.picture.pixel(400, RowOf(0.08)), c.peak);
    }
    waveform.Clear();
    EXPECT_TRUE(SameImage(waveform.Highlighted(), Fixed(307)));
}

// Chooses the slider menu's one entry, as a right click and a click on it would.
void ChooseWaveformEntry(CTolvaneDlg& window) {
    QTimer::singleShot(0, [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->actions().size(), 1);
        menu->setActiveAction(menu->actions().front());
        QTest::keyClick(menu, Qt::Key_Return);
    });
    auto* slider = window.Item<CBitmapSlider>(Id::PositionSlider);
    emit slider->customContextMenuRequested(QPoint(10, 10));
}

bool ShowsFixedTrack(CTolvaneDlg& window) {
    auto* slider = window.Item<CBitmapSlider>(Id::PositionSlider);
    return SameImage(slider->NormalTrack(), Fixed(306)) &&
           SameImage(slider->HighlightedTrack(), Fixed(307));
}

class FileWaveformOption : public WindowOperations {};

// Off (older setting files have no key): the fixed pictures, whatever is loaded. On:
// the file's own, remembered for the next start; off again: the fixed ones.
TEST_F(FileWaveformOption, MenuTurnsItOnAndOffAndTheSettingRemembersIt) {
    const fs::path file = Halves(media.path());
    {
        WindowUnderTest w(folder.path());
        AddFiles(w, {Q(file)});
        QTest::qWait(200);
        EXPECT_TRUE(ShowsFixedTrack(*w));
        ChooseWaveformEntry(*w);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !ShowsFixedTrack(*w); }, 5000));
        EXPECT_TRUE(SettingsFile(folder.path()).ShowFileWaveform());
    }
    {
        WindowUnderTest w(folder.path());
        AddFiles(w, {Q(file)});
        EXPECT_TRUE(QTest::qWaitFor([&] { return !ShowsFixedTrack(*w); }, 5000));
        ChooseWaveformEntry(*w);
        EXPECT_TRUE(ShowsFixedTrack(*w));
        EXPECT_FALSE(SettingsFile(folder.path()).ShowFileWaveform());
    }
}

}  // namespace
