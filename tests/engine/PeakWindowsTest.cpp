// Peaks of any view of a file: drawn from the overview when it is fine enough, decoded
// after a seek when it is not, and the ffmpeg-made file's loud and quiet stretches land
// in the columns their times fall in.

#include "MediaFixtures.h"
#include "engine/cut/MarkStep.h"
#include "engine/probe/PeakWindows.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace tolvane;
using namespace tolvane::testing;

namespace {

// Overview columns of 10 µs whose high is their own index.
std::vector<ColumnPeak> Ramp(int count) {
    std::vector<ColumnPeak> columns;
    for (int i = 0; i < count; ++i)
        columns.push_back({-float(i), float(i)});
    return columns;
}

TEST(PeaksFromOverview, WideColumnsTakeTheExtremesOfTheOverviewColumnsTheyCover) {
    struct Case {
        PeakSpan span;
        int read;  // overview columns read so far
        std::size_t columns;
        bool fine;
        float firstHigh, lastHigh;
    };
    const Case cases[] = {
        {{0, 1000, 10}, 100, 10, true, 9, 99},  // ten overview columns each
        {{200, 400, 2}, 100, 2, true, 29, 39},  // a stretch inside
        {{0, 1000, 10}, 55, 5, true, 9, 49},    // the read prefix only
        {{0, 50, 10}, 100, 10, false, 0, 4},    // narrower: the column under each middle
    };
    for (const Case& c : cases) {
        bool fine = !c.fine;
        const auto peaks = PeaksFromOverview(Ramp(c.read), 10.0, c.span, &fine);
        ASSERT_EQ(peaks.size(), c.columns) << c.span.fromUs << " " << c.read;
        EXPECT_EQ(fine, c.fine);
        EXPECT_EQ(peaks.front().high, c.firstHigh);
        EXPECT_EQ(peaks.back().high, c.lastHigh);
    }
}

// Loud (0.9) for its first 1.5 s, quiet (0.1) after; 8 kHz.
fs::path Halves(const fs::path& dir, const std::string& name) {
    const fs::path file = dir / name;
    EXPECT_TRUE(RunFfmpeg(
        "-f lavfi -i \"aevalsrc=if(lt(t\\,1.5)\\,0.9\\,0.1)*sin(2*PI*440*t):s=8000:d=3\"", file));
    return file;
}

PeakAnswer WaitForFinal(PeakWindows& windows, const PeakSpan& span) {
    PeakAnswer answer = windows.Peaks(span);
    for (int i = 0; i < 500 && !answer.final; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        answer = windows.Peaks(span);
    }
    return answer;
}

// A 100 ms view around the change in 10 ms columns: loud left of 1.5 s into the audio,
// quiet right of it, in every format's own timing (an MP3's first sample comes after its
// decoder delay, at the start time ffprobe reports). Decoded when the overview (2 or
// 20000 columns for the file) is too coarse, from the overview when it is not.
TEST(PeakWindows, AViewShowsTheFilesOwnTimingFromTheOverviewOrDecoded) {
    TempDir dir;
    for (const char* name : {"halves.wav", "halves.flac", "halves.mp3"}) {
        const fs::path file = Halves(dir.path(), name);
        const auto startUs = static_cast<std::int64_t>(Ffprobe(file).startTimeSec * 1e6);
        for (const int overview : {2, 20000}) {
            PeakWindows windows(file.string(), overview);
            const PeakSpan span{startUs + 1450000, startUs + 1550000, 10};
            const PeakAnswer answer = WaitForFinal(windows, span);
            ASSERT_TRUE(answer.final) << name;
            ASSERT_EQ(answer.peaks.size(), 10u) << name;
            EXPECT_GT(answer.peaks[4].high, 0.7f) << name << overview;  // 1.490-1.500 s
            EXPECT_LT(answer.peaks[6].high, 0.2f) << name << overview;  // 1.510-1.520 s
            EXPECT_GT(answer.peaks[6].high, 0.05f) << name << overview;
        }
    }
}

TEST(MarkStep, FormatsCutOnWholePacketsStepByAPacket) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    EXPECT_EQ(MarkStepUs(fixtures.Wav().string()), kExactMarkStepUs);
    EXPECT_EQ(MarkStepUs(fixtures.Mp3().string()), kExactMarkStepUs);
    EXPECT_EQ(MarkStepUs(fixtures.Flac().string()), kExactMarkStepUs);
    const fs::path mp2 = MakeTone(dir.path(), "tone.mp2", 1.0, 44100, 2, "-c:a mp2");
    EXPECT_EQ(MarkStepUs(mp2.string()), 1152LL * 1000000 / 44100);
    EXPECT_EQ(MarkStepUs((dir / "missing.mp3").string()), kExactMarkStepUs);
}

}  // namespace
