#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "MediaFixtures.h"
#include "SplitTestSupport.h"
#include "engine/split/SilenceFinder.h"

namespace tolvane::split {
namespace {

using testing::RunFfmpeg;
using testing::TempDir;

// A source made of stretches [from, to) of each channel's tone, at `amplitude`.
struct Stretch {
    double from, to;
    double amplitude = 0.25;
};
std::string Channel(const std::vector<Stretch>& loud, int frequency) {
    std::string expr = "0";
    for (const Stretch& s : loud)
        expr += "+" + std::to_string(s.amplitude) + "*sin(2*PI*" + std::to_string(frequency) +
                "*t)*gte(t," + std::to_string(s.from) + ")*lt(t," + std::to_string(s.to) + ")";
    return expr;
}
std::string Source(double seconds, const std::vector<Stretch>& left,
                   const std::vector<Stretch>& right) {
    return "-f lavfi -i \"aevalsrc='" + Channel(left, 440) + "|" + Channel(right, 660) +
           "':s=44100:d=" + std::to_string(seconds) + "\" ";
}

struct Format {
    const char* extension;
    std::string codec;
    std::int64_t toleranceUs;  // lossy coding may smear a tone's edges
};
const Format kFormats[] = {
    {".wav", "-c:a pcm_s16le", 100},
    {".wav", "-c:a pcm_s24le", 100},
    {".flac", "-c:a flac", 100},
    {".mp3", "-c:a libmp3lame -b:a 128k", 2'000},
};

SilenceScan ScanOf(const std::string& path) {
    const std::atomic<bool> stop{false};
    return SilenceFinder({}, stop).Scan(path);
}

TEST(SilenceFinder, SplitsInTheMiddlesAndLeavesOutSilentParts) {
    TempDir dir;
    const struct {
        std::string source;
        std::vector<std::pair<double, double>> parts;  // seconds
        bool toFileEnd;
    } cases[] = {
        // Loud in both channels at the ends; between them each channel is loud alone
        // once, a short pause, and a tone at -60 dBFS, quiet enough to count as silence.
        {Source(9.5, {{0, 2}, {6.5, 7}, {7, 8.5, 0.001}, {8.5, 9.5}}, {{0, 2}, {5, 6}, {8.5, 9.5}}),
         {{0, 3.5}, {3.5, 7.75}, {7.75, 9.5}},
         true},
        // Silent at both ends: the outer halves of those silences are silent parts.
        {Source(6.5, {{2, 4}}, {{2, 4}}), {{1, 5.25}}, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        for (const Format& f : kFormats) {
            SCOPED_TRACE(f.codec + c.source);
            const auto path = dir / ("made" + std::to_string(n++) + f.extension);
            ASSERT_TRUE(RunFfmpeg(c.source + f.codec, path));
            const SplitPlan plan = PartsAtSilences(ScanOf(path.string()), {});
            ASSERT_EQ(plan.parts.size(), c.parts.size()) << plan.failure.message;
            for (std::size_t i = 0; i < c.parts.size(); ++i) {
                EXPECT_NEAR(plan.parts[i].startUs, c.parts[i].first * kSec, f.toleranceUs);
                EXPECT_NEAR(plan.parts[i].endUs, c.parts[i].second * kSec, f.toleranceUs);
            }
            EXPECT_EQ(plan.parts.back().toFileEnd, c.toFileEnd);
        }
    }
}

TEST(SilenceFinder, SettingsDecideWhatIsSilence) {
    TempDir dir;
    const auto path = dir / "quiet.flac";
    // A 0.5 s pause, and a stretch at -60 dBFS.
    ASSERT_TRUE(RunFfmpeg(
        Source(6, {{0, 2}, {2.5, 3}, {3, 4.5, 0.001}, {4.5, 6}}, {{0, 2}, {2.5, 3}, {4.5, 6}}) +
            "-c:a flac",
        path));
    const struct {
        SilenceSettings settings;
        std::size_t parts;
    } cases[] = {
        {{}, 2},                // the -60 dBFS stretch only
        {{-48, 400'000}, 3},    // the pause too
        {{-70, 1'000'000}, 0},  // nothing is quiet enough: no silence
    };
    for (const auto& c : cases) {
        const std::atomic<bool> stop{false};
        SilenceFinder finder(c.settings, stop);
        const SplitPlan plan = PartsAtSilences(finder.Scan(path.string()), c.settings);
        EXPECT_EQ(finder.Progress(), 1.0);
        EXPECT_EQ(plan.parts.size(), c.parts) << c.settings.minLengthUs;
        if (c.parts == 0) {
            EXPECT_EQ(plan.failure.error, PlanError::NoPoints);
        }
    }
}

TEST(SilenceFinder, FailuresGiveNoParts) {
    TempDir dir;
    testing::Fixtures fixtures(dir.path());
    const auto silent = dir / "silent.wav";
    ASSERT_TRUE(RunFfmpeg(Source(3, {}, {}) + "-c:a pcm_s16le", silent));
    const std::atomic<bool> stopped{true};
    const struct {
        SilenceScan scan;
        PlanError error;
    } cases[] = {
        {ScanOf(silent.string()), PlanError::AllSilent},
        {ScanOf(fixtures.Garbage().string()), PlanError::SourceUnreadable},
        {ScanOf((dir / "missing.mp3").string()), PlanError::SourceUnreadable},
        {SilenceFinder({}, stopped).Scan(fixtures.Mp3(3).string()), PlanError::Cancelled},
    };
    for (const auto& c : cases) {
        const SplitPlan plan = PartsAtSilences(c.scan, {});
        EXPECT_EQ(plan.failure.error, c.error) << plan.failure.message;
        EXPECT_TRUE(plan.parts.empty());
    }
}

}  // namespace
}  // namespace tolvane::split
