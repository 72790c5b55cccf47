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

// `player` (by default one on the clock output) with `file` open.
std::unique_ptr<IPlayerModule> OpenedPlayer(
    const fs::path& file, std::unique_ptr<IPlayerModule> player = ClockOnlyPlayer()) {
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
        auto player = ClockOnlyPlayer();
        player->PlayerModule_SetFileName(file.string());
        EXPECT_EQ(player->PlayerModule_Open(), -1) << file;
        ExpectAllQueriesZero(*player);
        player->PlayerModule_Start();  // nothing to play: must do nothing
        ExpectAllQueriesZero(*player);
    }
}

TEST(PlayerOpen, FailsWithoutAFileNameAndAfterAFailedOpenOfAnotherFile) {
    auto player = ClockOnlyPlayer();
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
        auto player = ClockOnlyPlayer();
        player->PlayerModule_Initialize([&] { ++ends; }, [](int) {}, "");
        player->PlayerModule_SetFileName(file.string());
        ASSERT_NE(player->PlayerModule_Open(), -1) << file;
        const double duration = Duration(*player);
        EXPECT_GE(duration, 0.0);
        const double from = std::max(0.0, duration - 0.3);
        player->PlayerModule_SetCurrentPosition(from);
        player->PlayerModule_Start();
        EXPECT_TRUE(WaitUntil([&] { return CurrentSeconds(*player) > from || ends > 0; })) << file;
        const float fraction = Fraction(*player);
        EXPECT_GE(fraction, 0.0f);
        EXPECT_LE(fraction, 1.0f);
        if (duration > 0 && duration < 1) {
            EXPECT_TRUE(WaitUntil([&] { return ends > 0; })) << file;
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
    auto player = ClockOnlyPlayer();
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
    EXPECT_TRUE(WaitUntil([&] { return CurrentSeconds(*player) > 0.0; }));
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

// The output's latency: what may be heard ahead of the wall clock at a start.
constexpr double kOutputSlack = 0.1;

TEST(PlayerPlayback, PositionAdvancesNoFasterThanRealTime) {
    auto player = OpenedPlayer(PlayerFixtures().Mp3());
    SleepMs(100);
    EXPECT_EQ(CurrentSeconds(*player), 0.0);  // opened, not started
    const Stopwatch played;
    player->PlayerModule_Start();
    ASSERT_TRUE(WaitUntil([&] { return CurrentSeconds(*player) > 0.25; }));
    const double seconds = CurrentSeconds(*player);
    EXPECT_LT(seconds, played.Seconds() + kOutputSlack);
    EXPECT_NEAR(Fraction(*player), seconds / 3.0, 0.05);
}

TEST(PlayerPlayback, PauseKeepsThePositionAndStartResumesThere) {
    auto player = OpenedPlayer(PlayerFixtures().Wav());
    player->PlayerModule_Start();
    ASSERT_TRUE(WaitUntil([&] { return CurrentSeconds(*player) > 0.15; }));
    player->PlayerModule_Pause();
    const double paused = CurrentSeconds(*player);
    SleepMs(200);
    EXPECT_EQ(CurrentSeconds(*player), paused);
    player->PlayerModule_Pause();  // twice is harmless
    EXPECT_EQ(CurrentSeconds(*player), paused);
    const Stopwatch resumedFor;
    player->PlayerModule_Start();
    EXPECT_NEAR(CurrentSeconds(*player), paused, 0.03);
    ASSERT_TRUE(WaitUntil([&] { return CurrentSeconds(*player) > paused + 0.15; }));
    EXPECT_LT(CurrentSeconds(*player), paused + resumedFor.Seconds() + kOutputSlack);
}

TEST(PlayerPlayback, SetPosHalfMovesToTheMiddle) {
    auto player = OpenedPlayer(PlayerFixtures().Mp3());
    const double duration = Duration(*player);
    player->PlayerModule_SetPos(0.5f);
    EXPECT_NEAR(CurrentSeconds(*player), duration / 2, 0.001);
    EXPECT_NEAR(Fraction(*player), 0.5f, 0.001f);
    const Stopwatch played;
    player->PlayerModule_Start();
    ASSERT_TRUE(WaitUntil([&] { return CurrentSeconds(*player) > duration / 2 + 0.1; }));
    EXPECT_LT(CurrentSeconds(*player), duration / 2 + played.Seconds() + kOutputSlack);
}

TEST(PlayerPlayback, SetCurrentPositionMovesThereWhilePlayingAndPaused) {
    auto player = OpenedPlayer(PlayerFixtures().Flac());
    player->PlayerModule_Start();
    ASSERT_TRUE(WaitUntil([&] { return CurrentSeconds(*player) > 0.05; }));
    const Stopwatch sinceSeek;
    player->PlayerModule_SetCurrentPosition(2.0);
    EXPECT_NEAR(CurrentSeconds(*player), 2.0, 0.001);
    ASSERT_TRUE(WaitUntil([&] { return CurrentSeconds(*player) > 2.1; }));
    EXPECT_LT(CurrentSeconds(*player), 2.0 + sinceSeek.Seconds() + kOutputSlack);

    player->PlayerModule_Pause();
    player->PlayerModule_SetCurrentPosition(0.75);
    SleepMs(100);
    EXPECT_NEAR(CurrentSeconds(*player), 0.75, 0.001);  // still paused
    player->PlayerModule_Start();
    EXPECT_TRUE(WaitUntil([&] { return CurrentSeconds(*player) > 0.85; }));
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
    ASSERT_TRUE(WaitUntil([&] { return CurrentSeconds(*player) > 2.05; }));
    player->PlayerModule_Stop();
    EXPECT_EQ(CurrentSeconds(*player), 0.0);
    const Stopwatch played;
    player->PlayerModule_Start();
    ASSERT_TRUE(WaitUntil([&] { return CurrentSeconds(*player) > 0.1; }));
    EXPECT_LT(CurrentSeconds(*player), played.Seconds() + kOutputSlack);
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
    const Stopwatch played;
    player.PlayerModule_Start();
    ASSERT_TRUE(WaitUntil([&] { return CurrentSeconds(player) > 0.25; }));
    EXPECT_LT(CurrentSeconds(player), played.Seconds() + kOutputSlack);
    player.PlayerModule_SetCurrentPosition(2.7);
    EXPECT_TRUE(WaitUntil([&] { return ends > 0; }));
    EXPECT_EQ(ends.load(), 1);
}

TEST(PlayerPlayback, AnUnusableSoundDriverStillPlays) {
    // Each case runs in its own process under CTest; a player made after this sees
    // the variable when SDL starts up.
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    {
        auto player = OpenedPlayer(PlayerFixtures().Wav(), CreatePlayerModule());
        player->PlayerModule_Start();
        EXPECT_TRUE(WaitUntil([&] { return CurrentSeconds(*player) > 0.15; }));
    }
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
}

TEST(PlayerPlayback, TwoPlayersAtOnce) {
    // Two sound devices open at once.
    auto first = OpenedPlayer(PlayerFixtures().Wav(), CreatePlayerModule());
    auto second = OpenedPlayer(PlayerFixtures().Mp3(), CreatePlayerModule());
    first->PlayerModule_Start();
    second->PlayerModule_Start();
    ASSERT_TRUE(WaitUntil([&] { return CurrentSeconds(*first) > 0.1; }));
    first.reset();
    const double before = CurrentSeconds(*second);
    EXPECT_TRUE(WaitUntil([&] { return CurrentSeconds(*second) > before + 0.1; }));
}
