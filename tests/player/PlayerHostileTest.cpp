// Hostile inputs and failing devices: Open refuses what the engine refuses without
// blocking or allocating what a header claims, a failed driver is retried, and the end
// callback may destroy the player.

#include "AudioOutput.h"
#include "PlayerTestSupport.h"
#include "PreviewPlayer.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

using namespace tolvane;
using namespace tolvane::testing;

namespace {

// A WAV whose header claims `rate` Hz (and the matching byte rate).
fs::path WavClaimingRate(uint32_t rate) {
    const fs::path path = PlayerFixtures().dir / ("claims_" + std::to_string(rate) + ".wav");
    fs::copy_file(PlayerFixtures().Wav(1.0), path, fs::copy_options::overwrite_existing);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    const uint32_t byteRate = rate * 4;
    file.seekp(24);
    file.write(reinterpret_cast<const char*>(&rate), 4);
    file.write(reinterpret_cast<const char*>(&byteRate), 4);
    return path;
}

fs::path FifoNamedMp3() {
    const fs::path path = PlayerFixtures().dir / "fifo.mp3";
    if (!fs::exists(path)) {
        EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    }
    return path;
}

struct HostileCase {
    const char* name;
    fs::path (*make)();
};

class PlayerRefusesHostileFile : public ::testing::TestWithParam<HostileCase> {};

// The sanitizers reserve terabytes of shadow memory up front, so under them the child
// runs without the address limit and only the alarm guards against a blocked Open.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kAddressLimitUsable = false;
#else
constexpr bool kAddressLimitUsable = true;
#endif

// Open runs in a child under a 1.5 GB address-space limit and a 10 s alarm: a blocked
// or over-allocating Open dies there instead of passing.
TEST_P(PlayerRefusesHostileFile, OpenFailsQuicklyWithinAnAddressLimit) {
    const fs::path path = GetParam().make();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (kAddressLimitUsable) {
            const rlimit limit{1536ull << 20, 1536ull << 20};
            setrlimit(RLIMIT_AS, &limit);
        }
        alarm(10);
        player::PreviewPlayer player;
        player.PlayerModule_SetFileName(path.string());
        _exit(player.PlayerModule_Open() == -1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "child killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "Open accepted " << path;
}

INSTANTIATE_TEST_SUITE_P(
    Files, PlayerRefusesHostileFile,
    ::testing::Values(HostileCase{"Fifo", &FifoNamedMp3},
                      HostileCase{"WavClaiming1GHz", [] { return WavClaimingRate(1000000000); }},
                      HostileCase{"WavClaiming800kHz", [] { return WavClaimingRate(800000); }}),
    [](const auto& info) { return std::string(info.param.name); });

// SDL's audio start (sound libraries, a session bus) is not the window's to wait for: it
// comes with the first device, or when prepared after the window shows.
TEST(PlayerDriver, AudioComesUpAtTheFirstOpenOrWhenPrepared) {
    {
        player::PreviewPlayer player;
        EXPECT_EQ(player::CurrentSdlDriver(), "");
        player.PlayerModule_SetFileName(PlayerFixtures().Wav().string());
        ASSERT_EQ(player.PlayerModule_Open(), 0);
        EXPECT_EQ(player::CurrentSdlDriver(), "dummy");
    }
    player::PrepareSdlAudio();
    EXPECT_EQ(player::CurrentSdlDriver(), "") << "nothing to prepare without a player";
    player::PreviewPlayer player;
    player::PrepareSdlAudio();
    EXPECT_EQ(player::CurrentSdlDriver(), "dummy");
}

TEST(PlayerDriver, RealDriverIsTriedAgainAfterAFailedOne) {
    const fs::path sink = PlayerFixtures().dir / "disk-audio.raw";
    setenv("SDL_DISKAUDIOFILE", sink.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    player::PreviewPlayer player;
    player.PlayerModule_SetFileName(PlayerFixtures().Wav().string());
    ASSERT_EQ(player.PlayerModule_Open(), 0);
    EXPECT_EQ(player::CurrentSdlDriver(), "dummy");
    player.PlayerModule_Close();

    setenv("SDL_AUDIODRIVER", "disk", 1);
    ASSERT_EQ(player.PlayerModule_Open(), 0);
    EXPECT_EQ(player::CurrentSdlDriver(), "disk");
    player.PlayerModule_Close();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

TEST(PlayerEndCallbackDestroy, DestroyingThePlayerFromItsEndCallbackIsSafe) {
    std::atomic<bool> destroyed{false};
    auto* player = new player::PreviewPlayer(player::PreviewPlayer::Output::ClockOnly);
    player->PlayerModule_Initialize(
        [&] {
            delete player;
            destroyed = true;
        },
        [](int) {}, "test");
    player->PlayerModule_SetFileName(PlayerFixtures().Wav(0.3).string());
    ASSERT_EQ(player->PlayerModule_Open(), 0);
    player->PlayerModule_Start();
    EXPECT_TRUE(WaitUntil([&] { return destroyed.load(); }));
    SleepMs(50);  // the notifier thread leaves after the callback; ASan sees any misuse
}

}  // namespace
