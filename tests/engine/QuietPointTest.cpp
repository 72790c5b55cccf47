// The quiet point near a mark: the lowest short-term energy within the reach, the
// nearest of equally quiet spots, and for PCM and FLAC the zero crossing there, checked
// against the samples ffmpeg decodes from the same file.

#include "MediaFixtures.h"
#include "engine/probe/QuietPoint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace tolvane;
using namespace tolvane::testing;

namespace {

constexpr int kRate = 8000;

// A loud 440 Hz tone with a 20 ms gap of near silence at 1.030-1.050 s.
fs::path ToneWithGap(const fs::path& dir, const std::string& name) {
    const fs::path file = dir / name;
    EXPECT_TRUE(
        RunFfmpeg("-f lavfi -i \"aevalsrc=if(between(t\\,1.03\\,1.05)\\,0.01\\,0.8)*"
                  "sin(2*PI*440*t):s=8000:d=2\"",
                  file));
    return file;
}

TEST(QuietPointIn, TakesTheQuietestWindowAndTheNearestOfEquals) {
    std::vector<float> loud(800, 0.5f);  // 100 ms at 8 kHz, first sample at 0
    for (int k = 600; k < 640; ++k)
        loud[std::size_t(k)] = 0.0f;  // quiet at 75-80 ms
    const QuietPointSearch search{50000, 50000, 2000};
    const QuietPoint point = QuietPointIn(loud.data(), loud.size(), 0, kRate, search, false);
    ASSERT_TRUE(point.found);
    EXPECT_GE(point.us, 75000);
    EXPECT_LE(point.us, 80000);
    EXPECT_LE(point.us, 76500);  // the quiet spot nearest the mark
    // Nothing quieter anywhere: the mark stays.
    const std::vector<float> flat(800, 0.5f);
    EXPECT_EQ(QuietPointIn(flat.data(), flat.size(), 0, kRate, search, false).us, 50000);
}

// Out of reach (the gap is 30 ms away but the reach is 20 ms), the mark moves less.
TEST(QuietPoint, MovesIntoTheGapOfAMadeFileWithinItsReach) {
    TempDir dir;
    for (const char* name : {"gap.wav", "gap.mp3", "gap.flac"}) {
        const fs::path file = ToneWithGap(dir.path(), name);
        // The file's own time: an MP3's audio starts after its decoder delay.
        const auto startUs = static_cast<std::int64_t>(Ffprobe(file).startTimeSec * 1e6);
        const QuietPoint point = FindQuietPoint(file.string(), {startUs + 1000000, 50000, 10000});
        ASSERT_TRUE(point.found) << name;
        EXPECT_GE(point.us - startUs, 1030000) << name;
        EXPECT_LE(point.us - startUs, 1050000) << name;
        const QuietPoint near = FindQuietPoint(file.string(), {startUs + 1000000, 20000, 10000});
        EXPECT_LE(near.us - startUs, 1020000) << name;
    }
    EXPECT_FALSE(FindQuietPoint((dir / "missing.wav").string(), {}).found);
}

// PCM lands on a zero crossing: ffmpeg's own decoding has a change of sign right there.
TEST(QuietPoint, PcmLandsOnAZeroCrossingOfTheDecodedSamples) {
    TempDir dir;
    const fs::path file = dir / "loud.wav";
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i \"aevalsrc=0.8*sin(2*PI*97*t):s=8000:d=2\"", file));
    const QuietPoint point = FindQuietPoint(file.string(), {1000000, 50000, 10000});
    ASSERT_TRUE(point.found);
    EXPECT_TRUE(point.zeroCrossing);
    const fs::path raw = dir / "loud.f32";
    ASSERT_TRUE(RunFfmpeg("-i " + ShellQuote(file.string()) + " -f f32le", raw));
    const std::string bytes = ReadFileBytes(raw);
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    const auto k = static_cast<std::size_t>(std::llround(point.us * 1e-6 * kRate));
    ASSERT_LT(k + 1, samples.size());
    const bool crossing =
        (samples[k - 1] < 0) != (samples[k] < 0) || (samples[k] < 0) != (samples[k + 1] < 0);
    EXPECT_TRUE(crossing) << samples[k - 1] << " " << samples[k] << " " << samples[k + 1];
    EXPECT_LT(std::fabs(samples[k]), 0.8f * 2 * 3.1416f * 97 / kRate);
}

}  // namespace
