// The stop point: what the device receives while a stretch is played with one, recorded
// through SDL's disk driver and compared with ffmpeg's decoding of the same file, and
// the position around it.

#include "AudioOutput.h"
#include "PlayerTestSupport.h"
#include "PreviewPlayer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace tolvane;
using namespace tolvane::testing;

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr double kStart = 0.4;
constexpr double kStop = 0.7;
constexpr long kMillisecond = kRate / 1000;

// Two chirps: no stretch of them repeats, so a recorded piece matches the source at
// one offset only.
fs::path MakeChirp(const std::string& name, const std::string& codecArgs) {
    const fs::path path = PlayerFixtures().dir / name;
    if (!fs::exists(path)) {
        RunFfmpeg(
            "-f lavfi -i \"aevalsrc=0.4*sin(2*PI*(200+400*t)*t)|0.4*sin(2*PI*(310+520*t)*t)"
            ":s=44100:d=1.2\" " +
                codecArgs,
            path);
    }
    return path;
}

std::vector<float> Floats(const std::string& bytes) {
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

// The whole file as ffmpeg decodes it, in the device's format.
std::vector<float> DecodedByFfmpeg(const fs::path& file) {
    const fs::path raw = file.string() + ".f32";
    RunFfmpeg("-i " + ShellQuote(file.string()) + " -f f32le -ac 2 -ar 44100", raw);
    return Floats(ReadFileBytes(raw));
}

// Sets an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
            hadOld_ = true;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (hadOld_) {
            ::setenv(name_, old_.c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::string old_;
    bool hadOld_ = false;
};

bool WaitForPosition(IPlayerModule& player, double seconds) {
    for (int i = 0; i < 1000; ++i) {
        if (CurrentSeconds(player) >= seconds) {
            return true;
        }
        SleepMs(10);
    }
    return false;
}

// Plays kStart..kStop of `file` with a stop point into SDL's disk driver; returns what
// the device was given, from its opening to its closing.
std::vector<float> RecordStretch(const fs::path& file) {
    const fs::path recording = file.string() + ".recorded";
    ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    ScopedEnv target("SDL_DISKAUDIOFILE", recording.string());
    {
        player::PreviewPlayer player;
        player.PlayerModule_SetFileName(file.string());
        EXPECT_EQ(player.PlayerModule_Open(), 0);
        EXPECT_TRUE(player.UsesSdlOutput());
        EXPECT_EQ(player::CurrentSdlDriver(), "disk");
        player.PlayerModule_Pause();
        player.PlayerModule_SetCurrentPosition(kStart);
        player.PlayerModule_SetStopPoint(kStop);
        player.PlayerModule_Start();
        EXPECT_TRUE(WaitForPosition(player, kStop));
        EXPECT_EQ(CurrentSeconds(player), kStop);  // the stop point as asked, not a frame
        SleepMs(150);                              // silence after it reaches the device
        EXPECT_EQ(CurrentSeconds(player), kStop);
    }  // the device is closed before the player's SDL session ends
    return Floats(ReadFileBytes(recording));
}

bool Silent(const std::vector<float>& samples, long frame) {
    for (int c = 0; c < kChannels; ++c) {
        if (samples[static_cast<size_t>(frame) * kChannels + c] != 0.0f) {
            return false;
        }
    }
    return true;
}

double FrameDistance(const std::vector<float>& a, long aFrame, const std::vector<float>& b,
                     long bFrame, long frames) {
    double worst = 0;
    for (long i = 0; i < frames * kChannels; ++i) {
        worst = std::max(worst, std::abs(double(a[static_cast<size_t>(aFrame * kChannels + i)]) -
                                         b[static_cast<size_t>(bFrame * kChannels + i)]));
    }
    return worst;
}

struct Format {
    const char* name;
    const char* codecArgs;
};

class PlayerStopPointRecording : public ::testing::TestWithParam<Format> {};

// The device hears exactly the asked stretch: its first and last sounding frames are
// the source's frames at the start and the stop point (within a millisecond), and in
// between every sample is the one ffmpeg decodes there. The fades at either end only
// lower the level.
TEST_P(PlayerStopPointRecording, DeviceGetsTheStretchFromStartToStopPoint) {
    const fs::path file = MakeChirp(std::string("chirp.") + GetParam().name, GetParam().codecArgs);
    const std::vector<float> source = DecodedByFfmpeg(file);
    const std::vector<float> heard = RecordStretch(file);
    const long heardFrames = static_cast<long>(heard.size() / kChannels);
    const long sourceFrames = static_cast<long>(source.size() / kChannels);
    ASSERT_GT(sourceFrames, kRate);

    long first = 0;
    while (first < heardFrames && Silent(heard, first)) {
        ++first;
    }
    long last = heardFrames - 1;
    while (last > first && Silent(heard, last)) {
        --last;
    }
    ASSERT_LT(first, last) << "nothing was recorded";
    EXPECT_GT(heardFrames - last, 10 * kMillisecond) << "the recording ends while still sounding";

    // Where the recording lies in the source: a piece from its middle matches one offset.
    const long probe = (first + last) / 2;
    const long probeFrames = 5 * kMillisecond;
    long offset = std::numeric_limits<long>::min();
    double best = 1e9;
    for (long at = 0; at + probeFrames <= sourceFrames; ++at) {
        const double distance = FrameDistance(heard, probe, source, at, probeFrames);
        if (distance < best) {
            best = distance;
            offset = at - probe;
        }
    }
    ASSERT_LT(best, 1e-5) << "the recorded sound is not the decoded source";

    const long askedStart = std::lround(kStart * kRate);
    const long askedStop = std::lround(kStop * kRate);
    RecordProperty("start_frames_off", std::to_string(first + offset - askedStart));
    RecordProperty("stop_frames_off", std::to_string(last + 1 + offset - askedStop));
    EXPECT_NEAR(first + offset, askedStart, kMillisecond);
    EXPECT_NEAR(last + 1 + offset, askedStop, kMillisecond);

    // Full level between the fades (6 ms in, 3 ms out), never louder than the source.
    const long fullFrom = askedStart - offset + 7 * kMillisecond;
    const long fullTo = askedStop - offset - 4 * kMillisecond;
    EXPECT_LT(FrameDistance(heard, fullFrom, source, fullFrom + offset, fullTo - fullFrom), 1e-5);
    for (long frame = first; frame <= last; ++frame) {
        for (int c = 0; c < kChannels; ++c) {
            const size_t at = static_cast<size_t>(frame) * kChannels + c;
            ASSERT_LE(std::abs(heard[at]),
                      std::abs(source[static_cast<size_t>(frame + offset) * kChannels + c]) + 1e-5)
                << "frame " << frame + offset;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PlayerStopPointRecording,
                         ::testing::Values(Format{"mp3", "-c:a libmp3lame -b:a 192k"},
                                           Format{"flac", "-c:a flac"},
                                           Format{"wav", "-c:a pcm_s16le"}),
                         [](const auto& info) { return std::string(info.param.name); });

std::unique_ptr<player::PreviewPlayer> ClockPlayer() {
    auto player = std::make_unique<player::PreviewPlayer>(player::PreviewPlayer::Output::ClockOnly);
    player->PlayerModule_SetFileName(PlayerFixtures().Wav().string());
    EXPECT_EQ(player->PlayerModule_Open(), 0);
    return player;
}

// What lifts a reached stop point, and where the position goes on from.
TEST(PlayerStopPoint, ReachedItHoldsUntilClearedMovedLaterOrStopped) {
    struct Case {
        const char* name;
        void (*lift)(IPlayerModule&);
        double from;  // where the position reads right after
    };
    const Case cases[] = {
        {"clear", [](IPlayerModule& p) { p.PlayerModule_ClearStopPoint(); }, 0.5},
        {"later", [](IPlayerModule& p) { p.PlayerModule_SetStopPoint(2.0); }, 0.5},
        {"stop", [](IPlayerModule& p) { p.PlayerModule_Stop(); }, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto player = ClockPlayer();
        player->PlayerModule_SetCurrentPosition(0.3);
        player->PlayerModule_SetStopPoint(0.5);
        player->PlayerModule_Start();
        ASSERT_TRUE(WaitForPosition(*player, 0.5));
        SleepMs(120);
        EXPECT_EQ(CurrentSeconds(*player), 0.5);
        c.lift(*player);
        EXPECT_NEAR(CurrentSeconds(*player), c.from, 0.01);
        if (c.from > 0) {
            EXPECT_TRUE(WaitForPosition(*player, 0.6));  // plays on from the stop point
        } else {
            player->PlayerModule_Start();  // Stop dropped the stop point
            EXPECT_TRUE(WaitForPosition(*player, 0.6));
        }
    }
}

// A stop point behind the position ends the sound at once; a pause past it holds there.
TEST(PlayerStopPoint, MovedBehindThePositionReadsTheStopPoint) {
    auto player = ClockPlayer();
    player->PlayerModule_SetCurrentPosition(1.0);
    player->PlayerModule_Start();
    ASSERT_TRUE(WaitForPosition(*player, 1.1));
    player->PlayerModule_SetStopPoint(0.8);
    EXPECT_EQ(CurrentSeconds(*player), 0.8);
    player->PlayerModule_Pause();
    EXPECT_EQ(CurrentSeconds(*player), 0.8);
    player->PlayerModule_Start();
    SleepMs(100);
    EXPECT_EQ(CurrentSeconds(*player), 0.8);
}

}  // namespace
