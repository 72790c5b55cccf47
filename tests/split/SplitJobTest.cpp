#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "JobTestSupport.h"
#include "MediaFixtures.h"
#include "SplitTestSupport.h"
#include "engine/split/SplitJob.h"

namespace tolvane::split {
namespace {

using testing::FfmpegRawSamples;
using testing::MakeTone;
using testing::TempDir;

// Parts [points[i], points[i+1]) named "p01.<ext>" ..., the last to the file's end.
std::vector<SplitPart> Parts(const std::vector<std::int64_t>& seamsUs, std::int64_t lengthUs,
                             const std::string& extension) {
    std::vector<SplitPart> parts;
    std::int64_t start = 0;
    for (std::size_t i = 0; i <= seamsUs.size(); ++i) {
        SplitPart part;
        part.startUs = start;
        part.endUs = i < seamsUs.size() ? seamsUs[i] : lengthUs;
        part.toFileEnd = i == seamsUs.size();
        part.name = "p" + std::to_string(i + 1) + extension;
        start = part.endUs;
        parts.push_back(part);
    }
    return parts;
}

std::vector<std::int16_t> Samples(const std::string& raw) {
    std::vector<std::int16_t> samples(raw.size() / 2);
    std::memcpy(samples.data(), raw.data(), samples.size() * 2);
    return samples;
}

struct FormatCase {
    const char* extension;
    const char* codecArgs;
    bool sampleExact;  // otherwise within one packet at each seam
    // Of an s16 sample. The Opus decoder's state after the 80 ms pre-roll is close to,
    // not the same as, the state a decode from the file's start has there.
    int maxDifference;
};

class SplitJobFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(SplitJobFormats, PartsBackToBackAreTheSource) {
    const FormatCase& format = GetParam();
    TempDir dir;
    const auto source = MakeTone(dir.path(), std::string("src") + format.extension, 6.0, 44100, 2,
                                 format.codecArgs);
    const std::int64_t lengthUs = 6'000'000;
    // Seams off every packet boundary, one a microsecond from the next sample.
    SplitJob job({source.string(), dir.path().string(),
                  Parts({1'234'567, 2'500'000, 4'000'011}, lengthUs, format.extension)});
    job.Run();
    ASSERT_EQ(job.outcome(), SplitOutcome::Done);
    ASSERT_EQ(job.results().size(), 4u);
    std::string joined;
    for (const PartResult& part : job.results()) {
        ASSERT_EQ(part.outcome, PartOutcome::Written);
        joined += FfmpegRawSamples(part.path, "s16le");
    }
    const std::vector<std::int16_t> whole = Samples(FfmpegRawSamples(source, "s16le"));
    const std::vector<std::int16_t> parts = Samples(joined);
    if (!format.sampleExact) {
        // A packet of up to 2048 stereo samples may be doubled or missing at each seam.
        EXPECT_NEAR(static_cast<double>(parts.size()), static_cast<double>(whole.size()),
                    3 * 2 * 2048.0);
        return;
    }
    ASSERT_EQ(parts.size(), whole.size());
    int worst = 0;
    for (std::size_t i = 0; i < whole.size(); ++i)
        worst = std::max(worst, std::abs(int{parts[i]} - int{whole[i]}));
    EXPECT_LE(worst, format.maxDifference);
    EXPECT_EQ(job.totalPercent.load(), 100);
}

INSTANTIATE_TEST_SUITE_P(Formats, SplitJobFormats,
                         ::testing::Values(FormatCase{".wav", "", true, 0},
                                           FormatCase{".aiff", "", true, 0},
                                           FormatCase{".flac", "", true, 0},
                                           FormatCase{".mp3", "-c:a libmp3lame -b:a 128k", true, 0},
                                           FormatCase{".opus", "-c:a libopus -b:a 96k", true, 600},
                                           FormatCase{".m4a", "-c:a aac -b:a 128k", false, 0},
                                           FormatCase{".ogg", "-c:a libvorbis", false, 0}),
                         [](const auto& info) { return std::string(info.param.extension + 1); });

TEST(SplitJob, TakenNamesGetTheFreeNumberAndNothingIsReplaced) {
    TempDir dir;
    const auto source = MakeTone(dir.path(), "src.wav", 2.0);
    testing::RunCommand("printf old > " + testing::ShellQuote((dir / "p1.wav").string()));
    SplitJob job({source.string(), dir.path().string(), Parts({1'000'000}, 2'000'000, ".wav")});
    job.Run();
    ASSERT_EQ(job.outcome(), SplitOutcome::Done);
    EXPECT_EQ(testing::ReadFileBytes(dir / "p1.wav"), "old");
    EXPECT_EQ(job.results()[0].path, (dir / "p1(0).wav").string());
    EXPECT_EQ(job.results()[1].path, (dir / "p2.wav").string());
}

TEST(SplitJob, CancelKeepsThePartBeingWrittenWholeAndStartsNoOther) {
    TempDir dir;
    const auto source = MakeTone(dir.path(), "src.wav", 3.0);
    SplitJob job(
        {source.string(), dir.path().string(), Parts({1'000'000, 2'000'000}, 3'000'000, ".wav")});
    job.progressUpdated = [](SplitJob& running) {
        if (running.currentPart.load() == 1 && running.partPercent.load() > 10)
            running.cancelRequested = true;
    };
    SplitJobRunner runner;
    runner.Start(job);
    runner.Wait();
    EXPECT_EQ(job.outcome(), SplitOutcome::Cancelled);
    ASSERT_EQ(job.results()[1].outcome, PartOutcome::Written);
    EXPECT_EQ(job.results()[2].outcome, PartOutcome::Pending);
    EXPECT_NEAR(testing::Ffprobe(job.results()[1].path).durationSec, 1.0, 1e-3);
    EXPECT_EQ(testing::FolderEntries(dir.path()),
              (std::vector<std::string>{"p1.wav", "p2.wav", "src.wav"}));
}

TEST(SplitJob, AnUnreadableSourceFailsBeforeAnyPart) {
    TempDir dir;
    SplitJob job(
        {(dir / "none.wav").string(), dir.path().string(), Parts({1'000'000}, 2'000'000, ".wav")});
    job.Run();
    EXPECT_EQ(job.outcome(), SplitOutcome::Failed);
    EXPECT_NE(job.sourceFailureCode(), 0);
    EXPECT_TRUE(testing::FolderEntries(dir.path()).empty());
}

}  // namespace
}  // namespace tolvane::split
