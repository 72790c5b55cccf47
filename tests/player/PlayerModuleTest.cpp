// The player as the window uses it: opening, length, position while playing, paused
// and after seeks, and harmless queries when nothing is open.

#include "PlayerTestSupport.h"
#include "PreviewPlayer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

using namespace tolvane;
using namespace tolvane::testing;

namespace {

std::unique_ptr<IPlayerModule> OpenedPlayer(const fs::path& file) {
    auto player = CreatePlayerModule();
    player->PlayerModule_Initialize([] {}, [](int) {}, "preview");
    player->PlayerModule_SetFileName(file.string());
    EXPECT_NE(player->PlayerModule_Open(), -1) << file;
    return player;
}

void ExpectAllQueriesZero(IPlayerModule& player) {
    EXPECT_EQ(CurrentSeconds(player), 0.0);
    EXPECT_EQ(Fraction(player), 0.0f);
    EXPECT_EQ(Duration(player), 0.0);
}

}  // namespace

TEST(PlayerOpen, OpensEveryCommonFormatWithItsLength) {
    auto& f = PlayerFixtures();
    for (const fs::path& file : {f.Mp3(), f.Wav(), f.Flac(), f.Ogg(), f.M4a(), f.AacNamedMp3()}) {
        auto player = OpenedPlayer(file);
        EXPECT_NEAR(Duration(*player), 3.0, 0.1) << file;
        int first = -1;
        int second = -1;
        player->PlayerModule_GetMideaType(&first, &second);
        EXPECT_EQ(first, 1);
        EXPECT_EQ(second, 0);
        EXPECT_EQ(CurrentSeconds(*player), 0.0);
    }
}

TEST(PlayerOpen, ReportsTheLengthFfprobeReports) {
    const fs::path file = PlayerFixtures().Mp3();
    auto player = OpenedPlayer(file);
    const ProbeInfo probe = Ffprobe(file);
    ASSERT_TRUE(probe.ok);
    EXPECT_NEAR(Duration(*player), probe.durationSec, 0.001);
}

TEST(PlayerOpen, FailsForMissingGarbageEmptyAndVideoOnlyFiles) {
    auto& f = PlayerFixtures();
    for (const fs::path& file :
         {f.dir / "missing.mp3", f.Garbage(), f.Empty(), VideoOnlyFile(), f.dir}) {
        auto player = CreatePlayerModule();
        player->PlayerModule_SetFileName(file.string());
        EXPECT_EQ(player->PlayerModule_Open(), -1) << file;
        ExpectAllQueriesZero(*player);
        player->PlayerModule_Start();  // nothing to play: must do nothing
        SleepMs(50);
        ExpectAllQueriesZero(*player);
    }
}

TEST(PlayerOpen, FailsWithoutAFileNameAndAfterAFailedOpenOfAnotherFile) {
    auto player = CreatePlayerModule();
    EXPECT_EQ(player->PlayerModule_Open(), -1);
    player->PlayerModule_SetFileName(PlayerFixtures().Wav().string());
    ASSERT_NE(player->PlayerModule_Open(), -1);
    player->PlayerModule_SetFileName(PlayerFixtures().Garbage().string());
    EXPECT_EQ(player->PlayerModule_Open(), -1);  // the previous file is closed too
    ExpectAllQueriesZero(*player);
}

TEST(PlayerOpen, VideoWithAudioOpensAndSaysSo) {
    auto player = OpenedPlayer(PlayerFixtures().VideoFile());
    int first = 0;
    int second = 0;
    player->PlayerModule_GetMideaType(&first, &second);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}

TEST(PlayerOpen, TruncatedAndUnknownLengthFilesPlayToTheirEnd) {
    for (const fs::path& file :
         {PlayerFixtures().Truncated(), PlayerFixtures().UnknownDuration()}) {
        std::atomic<int> ends{0};
        auto player = CreatePlayerModule();
        player->PlayerModule_Initialize([&] { ++ends; }, [](int) {}, "");
        player->PlayerModule_SetFileName(file.string());
        ASSERT_NE(player->PlayerModule_Open(), -1) << file;
        const double duration = Duration(*player);
        EXPECT_GE(duration, 0.0);
        player->PlayerModule_SetCurrentPosition(std::max(0.0, duration - 0.3));
        player->PlayerModule_Start();
        SleepMs(300);
        const float fraction = Fraction(*player);
        EXPECT_GE(fraction, 0.0f);
        EXPECT_LE(fraction, 1.0f);
        if (duration > 0 && duration < 1) {
            for (int i = 0; i < 300 && ends == 0; ++i) {
                SleepMs(10);
            }
            EXPECT_EQ(ends.load(), 1) << file;
        }
    }
}

TEST(PlayerOpen, OddPathsOpen) {
    const fs::path odd = PlayerFixtures().dir / "a:b é #1.wav";
    fs::copy_file(PlayerFixtures().Wav(), odd, fs::copy_options::overwrite_existing);
    auto player = OpenedPlayer(odd);
    EXPECT_NEAR(Duration(*player), 3.0, 0.1);
}

TEST(PlayerQueries, ReturnZeroBeforeOpenAndAfterStopAndClose) {
    auto player = CreatePlayerModule();
    ExpectAllQueriesZero(*player);
    player->PlayerModule_Pause();
    player->PlayerModule_Stop();
    player->PlayerModule_SetPos(0.5f);
    player->PlayerModule_SetCurrentPosition(1.0);
    player->PlayerModule_Close();
    ExpectAllQueriesZero(*player);

    player->PlayerModule_SetFileName(PlayerFixtures().Mp3().string());
    ASSERT_NE(player->PlayerModule_Open(), -1);
    player->PlayerModule_Start();
    SleepMs(300);
    EXPECT_GT(CurrentSeconds(*player), 0.0);
    player->PlayerModule_Stop();
    EXPECT_EQ(CurrentSeconds(*player), 0.0);
    EXPECT_EQ(Fraction(*player), 0.0f);
    player->PlayerModule_Close();
    ExpectAllQueriesZero(*player);
    // Null pointers are ignored.
    player->PlayerModule_GetPos(nullptr);
    player->PlayerModule_GetCurrentPosition(nullptr);
    player->PlayerModule_GetDuration(nullptr);
    player->PlayerModule_GetMideaType(nullptr, nullptr);
}

TEST(PlayerPlayback, PositionAdvancesAtRealTimePace) {
    auto player = OpenedPlayer(PlayerFixtures().Mp3());
    SleepMs(200);
    EXPECT_EQ(CurrentSeconds(*player), 0.0);  // opened, not started
    player->PlayerModule_Start();
    SleepMs(500);
    const double seconds = CurrentSeconds(*player);
    EXPECT_GT(seconds, 0.25);
    EXPECT_LT(seconds, 0.9);
    EXPECT_NEAR(Fraction(*player), seconds / 3.0, 0.05);
}

TEST(PlayerPlayback, PauseKeepsThePositionAndStartResumesThere) {
    auto player = OpenedPlayer(PlayerFixtures().Wav());
    player->PlayerModule_Start();
    SleepMs(400);
    player->PlayerModule_Pause();
    const double paused = CurrentSeconds(*player);
    EXPECT_GT(paused, 0.15);
    SleepMs(400);
    EXPECT_EQ(CurrentSeconds(*player), paused);
    player->PlayerModule_Pause();  // twice is harmless
    EXPECT_EQ(CurrentSeconds(*player), paused);
    player->PlayerModule_Start();
    EXPECT_NEAR(CurrentSeconds(*player), paused, 0.03);
    SleepMs(400);
    const double resumed = CurrentSeconds(*player);
    EXPECT_GT(resumed, paused + 0.15);
    EXPECT_LT(resumed, paused + 0.8);
}

TEST(PlayerPlayback, SetPosHalfMovesToTheMiddle) {
    auto player = OpenedPlayer(PlayerFixtures().Mp3());
    const double duration = Duration(*player);
    player->PlayerModule_SetPos(0.5f);
    EXPECT_NEAR(CurrentSeconds(*player), duration / 2, 0.001);
    EXPECT_NEAR(Fraction(*player), 0.5f, 0.001f);
    player->PlayerModule_Start();
    SleepMs(300);
    const double later = CurrentSeconds(*player);
    EXPECT_GT(later, duration / 2 + 0.1);
    EXPECT_LT(later, duration / 2 + 0.7);
}

TEST(PlayerPlayback, SetCurrentPositionMovesThereWhilePlayingAndPaused) {
    auto player = OpenedPlayer(PlayerFixtures().Flac());
    player->PlayerModule_Start();
    SleepMs(200);
    player->PlayerModule_SetCurrentPosition(2.0);
    EXPECT_NEAR(CurrentSeconds(*player), 2.0, 0.001);
    SleepMs(300);
    const double playing = CurrentSeconds(*player);
    EXPECT_GT(playing, 2.1);
    EXPECT_LT(playing, 2.7);

    player->PlayerModule_Pause();
    player->PlayerModule_SetCurrentPosition(0.75);
    SleepMs(200);
    EXPECT_NEAR(CurrentSeconds(*player), 0.75, 0.001);  // still paused
    player->PlayerModule_Start();
    SleepMs(300);
    EXPECT_GT(CurrentSeconds(*player), 0.85);
}

TEST(PlayerPlayback, SeeksOutsideTheFileAreClamped) {
    auto player = OpenedPlayer(PlayerFixtures().Wav());
    player->PlayerModule_SetCurrentPosition(-5);
    EXPECT_EQ(CurrentSeconds(*player), 0.0);
    player->PlayerModule_SetCurrentPosition(99);
    EXPECT_NEAR(CurrentSeconds(*player), Duration(*player), 0.001);
    player->PlayerModule_SetPos(1.5f);
    EXPECT_NEAR(Fraction(*player), 1.0f, 0.001f);
    player->PlayerModule_SetPos(std::nanf(""));
    EXPECT_EQ(Fraction(*player), 0.0f);
}

TEST(PlayerPlayback, StopReturnsToTheStartAndStartPlaysFromThere) {
    auto player = OpenedPlayer(PlayerFixtures().Wav());
    player->PlayerModule_SetCurrentPosition(2.0);
    player->PlayerModule_Start();
    SleepMs(200);
    player->PlayerModule_Stop();
    EXPECT_EQ(CurrentSeconds(*player), 0.0);
    player->PlayerModule_Start();
    SleepMs(300);
    const double seconds = CurrentSeconds(*player);
    EXPECT_GT(seconds, 0.1);
    EXPECT_LT(seconds, 0.8);
}

TEST(PlayerPlayback, PlaysOnSdlDummyOutput) {
    auto player = std::make_unique<player::PreviewPlayer>();
    player->PlayerModule_SetFileName(PlayerFixtures().Wav().string());
    ASSERT_NE(player->PlayerModule_Open(), -1);
    EXPECT_TRUE(player->UsesSdlOutput());
}

TEST(PlayerPlayback, WithoutAnySoundOutputPositionsAdvanceOnTheClock) {
    player::PreviewPlayer player(player::PreviewPlayer::Output::ClockOnly);
    std::atomic<int> ends{0};
    player.PlayerModule_Initialize([&] { ++ends; }, [](int) {}, "");
    player.PlayerModule_SetFileName(PlayerFixtures().Mp3().string());
    ASSERT_NE(player.PlayerModule_Open(), -1);
    EXPECT_FALSE(player.UsesSdlOutput());
    player.PlayerModule_Start();
    SleepMs(500);
    const double seconds = CurrentSeconds(player);
    EXPECT_GT(seconds, 0.25);
    EXPECT_LT(seconds, 0.9);
    player.PlayerModule_SetCurrentPosition(2.7);
    for (int i = 0; i < 300 && ends == 0; ++i) {
        SleepMs(10);
    }
    EXPECT_EQ(ends.load(), 1);
}

TEST(PlayerPlayback, AnUnusableSoundDriverStillPlays) {
    // Each case runs in its own process under CTest; a player made after this sees
    // the variable when SDL starts up.
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    {
        auto player = OpenedPlayer(PlayerFixtures().Wav());
        player->PlayerModule_Start();
        SleepMs(400);
        EXPECT_GT(CurrentSeconds(*player), 0.15);
    }
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
}

TEST(PlayerPlayback, TwoPlayersAtOnce) {
    auto first = OpenedPlayer(PlayerFixtures().Wav());
    auto second = OpenedPlayer(PlayerFixtures().Mp3());
    first->PlayerModule_Start();
    second->PlayerModule_Start();
    SleepMs(300);
    first.reset();
    SleepMs(200);
    EXPECT_GT(CurrentSeconds(*second), 0.25);
}
