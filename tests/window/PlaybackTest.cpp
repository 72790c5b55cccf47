#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>

#include <QImage>
#include <QTabBar>

#include "BitmapLoader.h"
#include "CControlButton.h"
#include "OperationsTestSupport.h"

namespace tolvane::testing {
namespace {

using Strings = std::vector<std::string>;

class Playback : public WindowOperations {
  protected:
    // A window playing a file of `seconds`, with the player's calls cleared.
    void StartPlaying(WindowUnderTest& window, double seconds = 3) {
        file = Q(Wav("play.wav", seconds));
        AddFiles(window, {file});
        ASSERT_EQ(window->playMode(), "PAUSE");
        window.player->SetReportedDuration(seconds);
        window.player->ClearCalls();
    }
    QString file;
};
using PlaybackPause = Playback;
using PlaybackStop = Playback;
using PlaybackTick = Playback;
using PlaybackEnd = Playback;
using PlaybackDrag = Playback;
using PlaybackOpen = Playback;
using PlaybackTabs = Playback;
using PlaybackLook = Playback;

// True when the button's normal picture is bitmap `bitmapId` (scaled down, as the window
// does, when it is larger than the button).
::testing::AssertionResult ShowsBitmap(CTolvaneDlg& window, int id, int bitmapId) {
    auto* button = window.Item<CControlButton>(id);
    QPixmap expected = LoadBitmapResource(bitmapId);
    if (expected.isNull())
        return ::testing::AssertionFailure() << "no bitmap " << bitmapId;
    if (expected.width() > button->width() || expected.height() > button->height())
        expected = expected.scaled(button->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QImage shown = button->NormalBitmap().toImage().convertToFormat(QImage::Format_ARGB32);
    if (shown == expected.toImage().convertToFormat(QImage::Format_ARGB32))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "button " << id << " does not show bitmap " << bitmapId;
}

TEST_F(PlaybackPause, ThenPlayResumesWithoutReopening) {
    WindowUnderTest window(folder.path());
    StartPlaying(window);
    Click(*window, Id::Play);
    EXPECT_EQ(window.player->Commands(), Strings{"Pause"});
    EXPECT_EQ(window->playMode(), "PLAY");
    EXPECT_FALSE(window->reloadOnPlay());
    // Paused, the timer still reports the position.
    window.player->SetReportedCurrentPosition(1.25);
    ASSERT_TRUE(WaitForTicks(*window.player, 1));
    EXPECT_EQ(LabelText(*window, Id::PlayPosition), "00:00:01.250");

    window->Item<QLineEdit>(Id::StartEdit)->setText("00:00:01.000");
    window.player->ClearCalls();
    Click(*window, Id::Play);
    EXPECT_EQ(window.player->Commands(), Strings{"Start"});
    EXPECT_EQ(window->playMode(), "PAUSE");
    EXPECT_EQ(EditText(*window, Id::StartEdit), "00:00:01.000");
    EXPECT_EQ(LabelText(*window, Id::SelectionLength), "00:00:02.000");
}

TEST_F(PlaybackStop, ThenPlayReopensAndKeepsTheMarkedRange) {
    WindowUnderTest window(folder.path());
    StartPlaying(window);
    window.player->SetReportedCurrentPosition(2.0);
    window.player->SetReportedPos(2.0f / 3);
    ASSERT_TRUE(WaitForTicks(*window.player, 1));
    window->Item<QLineEdit>(Id::StartEdit)->setText("00:00:01.000");
    window->Item<QLineEdit>(Id::EndEdit)->setText("00:00:02.000");

    window.player->ClearCalls();
    Click(*window, Id::Stop);
    EXPECT_EQ(window.player->Commands(), (Strings{"Stop", "Close"}));
    EXPECT_EQ(window->playMode(), "PLAY");
    EXPECT_TRUE(window->reloadOnPlay());
    EXPECT_EQ(window->currentPositionMs(), 0);
    EXPECT_EQ(window->Item<CBitmapSlider>(Id::PositionSlider)->GetPos(), 0);
    EXPECT_FALSE(window->GetDlgItem(Id::PositionSlider)->isEnabled());
    EXPECT_EQ(LabelText(*window, Id::PlayPosition), kZero);
    EXPECT_EQ(LabelText(*window, Id::Duration), "/ 00:00:03.000");  // keeps its text
    // Stopped: no more ticks.
    window.player->ClearCalls();
    QTest::qWait(250);
    EXPECT_EQ(window.player->Count("GetPos"), 0);

    Click(*window, Id::Play);
    EXPECT_EQ(window.player->Commands(),
              (Strings{"Stop", "Close", "SetFileName " + file.toStdString(), "Open", "GetMideaType",
                       "Start"}));
    EXPECT_EQ(EditText(*window, Id::StartEdit), "00:00:01.000");
    EXPECT_EQ(EditText(*window, Id::EndEdit), "00:00:02.000");
    EXPECT_EQ(LabelText(*window, Id::SelectionLength), "00:00:01.000");
}

// Only another file (or the reset of the delete button) marks the whole file again.
TEST_F(PlaybackStop, RangeIsMarkedWholeOnlyForANewlyLoadedFile) {
    struct Case {
        const char* name;
        std::function<void(WindowUnderTest&)> between;
        bool markedWhole;
    };
    const std::vector<Case> cases = {
        {"Stop then Play",
         [](WindowUnderTest& w) {
             Click(*w, Id::Stop);
             Click(*w, Id::Play);
         },
         false},
        {"Play Selection to its end then Play",
         [](WindowUnderTest& w) {
             Click(*w, Id::PlaySelection);
             w.player->SetReportedCurrentPosition(2.5);
             ASSERT_TRUE(WaitForTicks(*w.player, 1));
             ASSERT_FALSE(w->playSelectionActive());
             Click(*w, Id::Play);
         },
         false},
        {"Pause then Play",
         [](WindowUnderTest& w) {
             Click(*w, Id::Play);
             Click(*w, Id::Play);
         },
         false},
        {"another file", [this](WindowUnderTest& w) { AddFiles(w, {Q(Wav("other.wav", 3))}); },
         true},
        {"delete button then Play",
         [](WindowUnderTest& w) {
             Click(*w, Id::Cut);
             Click(*w, Id::Play);
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowUnderTest window(folder.path());
        StartPlaying(window);
        window->Item<QLineEdit>(Id::StartEdit)->setText("00:00:01.000");
        window->Item<QLineEdit>(Id::EndEdit)->setText("00:00:02.000");
        c.between(window);
        ASSERT_EQ(window->playMode(), "PAUSE");
        EXPECT_EQ(EditText(*window, Id::StartEdit), c.markedWhole ? kZero : "00:00:01.000");
        EXPECT_EQ(EditText(*window, Id::EndEdit), c.markedWhole ? "00:00:03.000" : "00:00:02.000");
    }
}

// The position and the length read "position / length" in every stopped state.
TEST_F(PlaybackStop, PositionAndLengthKeepOneSlashBetweenThem) {
    const struct {
        const char* what;
        std::function<void(WindowUnderTest&)> act;
    } cases[] = {
        {"Stop before the first tick", [](WindowUnderTest& w) { Click(*w, Id::Stop); }},
        {"Stop after a tick",
         [](WindowUnderTest& w) {
             ASSERT_TRUE(WaitForTicks(*w.player, 1));
             Click(*w, Id::Stop);
         }},
        {"Stop twice",
         [](WindowUnderTest& w) {
             ASSERT_TRUE(WaitForTicks(*w.player, 1));
             Click(*w, Id::Stop);
             Click(*w, Id::Stop);
         }},
        {"played selection ended, then Stop",
         [](WindowUnderTest& w) {
             Click(*w, Id::PlaySelection);
             w.player->SetReportedCurrentPosition(2.5);
             ASSERT_TRUE(WaitForTicks(*w.player, 1));
             ASSERT_FALSE(w->playSelectionActive());
             Click(*w, Id::Stop);
         }},
        {"end of the file",
         [](WindowUnderTest& w) {
             w.player->FireEndCallback();
             for (int i = 0; i < 300 && !w.player->EndCallbackReturned(); ++i)
                 QTest::qWait(10);
             ASSERT_TRUE(w.player->EndCallbackReturned());
         }},
        {"delete button", [](WindowUnderTest& w) { Click(*w, Id::Cut); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WindowUnderTest window(folder.path());
        StartPlaying(window);
        window->Item<QLineEdit>(Id::EndEdit)->setText("00:00:02.000");
        c.act(window);
        QApplication::processEvents();
        const QString shown =
            LabelText(*window, Id::PlayPosition) + " " + LabelText(*window, Id::Duration);
        EXPECT_TRUE(shown.startsWith(kZero)) << shown.toStdString();
        EXPECT_EQ(shown.count(QLatin1Char('/')), 1) << shown.toStdString();
    }
}

TEST_F(PlaybackTick, ShowsPositionLengthAndSlider) {
    WindowUnderTest window(folder.path());
    StartPlaying(window, 180);
    window.player->SetReportedDuration(180.0);
    window.player->SetReportedCurrentPosition(62.003);
    window.player->SetReportedPos(62.003f / 180.0f);
    ASSERT_TRUE(WaitForTicks(*window.player, 1));
    EXPECT_EQ(LabelText(*window, Id::PlayPosition), "00:01:02.003");
    EXPECT_EQ(LabelText(*window, Id::Duration), "/ 00:03:00.000");
    EXPECT_EQ(window->currentPositionMs(), 62003);
    EXPECT_EQ(window->Item<CBitmapSlider>(Id::PositionSlider)->GetPos(), 344);
    // Every tick asks for the position, the time and the length, and commands nothing.
    EXPECT_TRUE(window.player->Commands().empty());
}

TEST_F(PlaybackTick, OutlandishPlayerValuesDoNotOverflow) {
    WindowUnderTest window(folder.path());
    StartPlaying(window);
    window.player->SetReportedCurrentPosition(1e12);
    window.player->SetReportedDuration(std::nan(""));
    window.player->SetReportedPos(-3.0f);
    ASSERT_TRUE(WaitForTicks(*window.player, 1));
    EXPECT_EQ(window->currentPositionMs(), INT32_MAX);
    EXPECT_EQ(LabelText(*window, Id::Duration), "/ " + kZero);
    EXPECT_EQ(window->Item<CBitmapSlider>(Id::PositionSlider)->GetPos(), 0);
}

TEST_F(PlaybackEnd, CallbackFromThePlayersThreadActsAsStop) {
    WindowUnderTest window(folder.path());
    StartPlaying(window);
    window.player->FireEndCallback();
    for (int i = 0; i < 300 && !window.player->EndCallbackReturned(); ++i)
        QTest::qWait(10);
    ASSERT_TRUE(window.player->EndCallbackReturned());
    window.player->JoinEndThread();
    EXPECT_EQ(window.player->Commands(), (Strings{"Stop", "Close"}));
    EXPECT_EQ(window->playMode(), "PLAY");
    EXPECT_TRUE(window->reloadOnPlay());
    EXPECT_FALSE(window->GetDlgItem(Id::PositionSlider)->isEnabled());
}

// The callback waits for the window while the window is busy in player calls of its own:
// the window finishes them, then runs the Stop the callback asked for.
TEST_F(PlaybackEnd, CallbackWhileTheWindowIsInsideAPlayerCallDoesNotDeadlock) {
    WindowUnderTest window(folder.path());
    StartPlaying(window);
    window.player->FireEndCallback();
    Click(*window, Id::Play);  // pause, before the window sees the end
    Click(*window, Id::Play);  // resume
    for (int i = 0; i < 300 && !window.player->EndCallbackReturned(); ++i)
        QTest::qWait(10);
    ASSERT_TRUE(window.player->EndCallbackReturned());
    window.player->JoinEndThread();
    EXPECT_EQ(window.player->Commands(), (Strings{"Pause", "Start", "Stop", "Close"}));
    EXPECT_EQ(window->playMode(), "PLAY");
}

TEST_F(PlaybackDrag, WhilePausedPlaysOnAtTheNewPosition) {
    WindowUnderTest window(folder.path());
    StartPlaying(window, 60);
    Click(*window, Id::Play);  // pause
    window.player->ClearCalls();
    auto* slider = window->Item<CBitmapSlider>(Id::PositionSlider);
    slider->SetPos(500);
    emit slider->sliderTracking(Id::PositionSlider, 500);
    QTest::qWait(20);  // the report is queued
    EXPECT_EQ(window.player->Commands(), (Strings{"Pause", "SetPos 0.5", "Start"}));
    EXPECT_EQ(window->currentPositionMs(), 30000);
    EXPECT_EQ(window->playMode(), "PLAY");  // the Play button keeps its play look
}

TEST_F(PlaybackDrag, ReportOfAnotherControlOnlyEndsTheSelection) {
    WindowUnderTest window(folder.path());
    StartPlaying(window, 60);
    auto* slider = window->Item<CBitmapSlider>(Id::PositionSlider);
    emit slider->sliderTracking(4242, 100);
    QTest::qWait(20);
    EXPECT_TRUE(window.player->Commands().empty());
}

TEST_F(PlaybackTabs, MergeTabStopsPlaybackAndTheCutTabDoesNotRestartIt) {
    WindowUnderTest window(folder.path());
    StartPlaying(window);
    auto* tabs = window->Item<QTabBar>(Id::Tabs);
    tabs->setCurrentIndex(1);
    EXPECT_EQ(window.player->Commands(), (Strings{"Stop", "Close"}));
    EXPECT_EQ(window->playMode(), "PLAY");
    EXPECT_TRUE(window->reloadOnPlay());

    window.player->ClearCalls();
    tabs->setCurrentIndex(0);
    QTest::qWait(150);  // a position tick would show a restarted timer
    EXPECT_TRUE(window.player->Calls().empty());
    EXPECT_EQ(window->playMode(), "PLAY");
    EXPECT_FALSE(window->GetDlgItem(Id::PositionSlider)->isEnabled());
}

TEST_F(PlaybackLook, PlayAndStopPicturesFollowThePlayer) {
    WindowUnderTest window(folder.path());
    EXPECT_TRUE(ShowsBitmap(*window, Id::Play, 301));
    EXPECT_TRUE(ShowsBitmap(*window, Id::Stop, 303));

    // An accepted file plays at once: the Play button shows the pause picture.
    StartPlaying(window, 60);
    EXPECT_TRUE(ShowsBitmap(*window, Id::Play, 310));
    EXPECT_TRUE(ShowsBitmap(*window, Id::Stop, 304));

    Click(*window, Id::Play);  // pause
    EXPECT_TRUE(ShowsBitmap(*window, Id::Play, 302));
    Click(*window, Id::Play);  // resume
    EXPECT_TRUE(ShowsBitmap(*window, Id::Play, 310));
    Click(*window, Id::Stop);
    EXPECT_TRUE(ShowsBitmap(*window, Id::Play, 302));
    EXPECT_TRUE(ShowsBitmap(*window, Id::Stop, 304));

    // A drag from paused plays on, yet the button keeps its play picture.
    Click(*window, Id::Play);
    Click(*window, Id::Play);
    ASSERT_EQ(window->playMode(), "PLAY");
    window.player->ClearCalls();
    auto* slider = window->Item<CBitmapSlider>(Id::PositionSlider);
    slider->SetPos(250);
    emit slider->sliderTracking(Id::PositionSlider, 250);
    QTest::qWait(20);
    ASSERT_EQ(window.player->Count("Start"), 1);
    EXPECT_TRUE(ShowsBitmap(*window, Id::Play, 302));
    EXPECT_TRUE(ShowsBitmap(*window, Id::Stop, 304));
}

// Before playback starts, an accepted file gives the buttons their ready pictures.
TEST_F(PlaybackLook, AcceptedFileThatCannotOpenShowsTheReadyPictures) {
    WindowUnderTest window(folder.path());
    window.player->SetOpenResult(-1);
    AddFiles(window, {Q(Wav("ready.wav", 1))});
    EXPECT_EQ(window->playMode(), "PLAY");
    EXPECT_TRUE(ShowsBitmap(*window, Id::Play, 302));
    EXPECT_TRUE(ShowsBitmap(*window, Id::Stop, 304));
}

TEST_F(PlaybackOpen, FailedOpenStartsNothing) {
    WindowUnderTest window(folder.path());
    window.player->SetOpenResult(-1);
    AddFiles(window, {Q(Wav("a.wav", 1))});
    EXPECT_EQ(CommandsAfterStart(*window.player),
              (Strings{"SetFileName " + Q(media.path() / "a.wav").toStdString(), "Open"}));
    EXPECT_FALSE(window->playerOpened());
    EXPECT_EQ(window->playMode(), "PLAY");
    // The timer runs and its queries are harmless.
    EXPECT_TRUE(WaitForTicks(*window.player, 1));
}

// The real player with SDL's dummy output.
TEST_F(Playback, RealPlayerPlaysWithTheDummyDriver) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const QString mp3 = Q(fixtures.Mp3(3.0));
    WindowFakes fakes;
    WindowServices services = fakes.Services(folder.path());
    services.player.reset();  // the real one
    fakes.player = nullptr;
    CTolvaneDlg window(std::move(services));
    fakes.fileChooser.answer = {mp3};
    Click(window, Id::Add);
    ASSERT_TRUE(window.playerOpened());
    EXPECT_EQ(window.playMode(), "PAUSE");
    bool moved = false;
    for (int i = 0; i < 300 && !moved; ++i) {
        QTest::qWait(10);
        moved = window.currentPositionMs() > 200;
    }
    EXPECT_TRUE(moved) << LabelText(window, Id::PlayPosition).toStdString();
    EXPECT_TRUE(LabelText(window, Id::Duration).startsWith("/ 00:00:03."))
        << LabelText(window, Id::Duration).toStdString();
    Click(window, Id::Stop);
    EXPECT_EQ(LabelText(window, Id::PlayPosition), kZero);
    EXPECT_TRUE(window.reloadOnPlay());
}

}  // namespace
}  // namespace tolvane::testing
