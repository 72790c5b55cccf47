// The waveform peaks against the extremes of the samples ffmpeg decodes from the same
// files, and the files whose peaks cannot be read.

#include "MediaFixtures.h"
#include "engine/probe/PeakReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

using namespace tolvane;
using namespace tolvane::testing;

namespace {

constexpr int kColumns = 520;
constexpr int kRate = 44100;

std::vector<ColumnPeak> ReadPeaks(const fs::path& file, bool* failed = nullptr) {
    PeakReader reader(file.string(), kColumns);
    for (int i = 0; i < 3000 && !reader.Done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(reader.Done());
    if (failed)
        *failed = reader.Failed();
    return reader.Peaks();
}

// The extremes over all channels in each column, the file's length divided evenly.
std::vector<ColumnPeak> ExpectedPeaks(const fs::path& file, int channels, double seconds) {
    const fs::path raw = file.string() + ".f32";
    EXPECT_TRUE(RunFfmpeg("-i " + ShellQuote(file.string()) + " -f f32le", raw));
    const std::string bytes = ReadFileBytes(raw);
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    const double perColumn = seconds * kRate / kColumns;
    std::vector<ColumnPeak> peaks(kColumns);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto column = std::min<std::size_t>(
            static_cast<std::size_t>(static_cast<double>(i / channels) / perColumn), kColumns - 1);
        peaks[column].low = std::min(peaks[column].low, samples[i]);
        peaks[column].high = std::max(peaks[column].high, samples[i]);
    }
    return peaks;
}

struct Format {
    const char* name;
    const char* codecArgs;
    int channels;
    int slack;  // columns a peak may lie off: a lossy file's stated length is an estimate
};

class PeakReaderFormats : public ::testing::TestWithParam<Format> {};

// A loud first half and a quiet second half, left and right apart: every column holds
// the extremes of its own samples, and the halves differ as they sound.
TEST_P(PeakReaderFormats, ColumnsHoldTheExtremesOfTheirSamples) {
    const Format& f = GetParam();
    TempDir dir;
    const fs::path file = dir / (std::string("halves.") + f.name);
    ASSERT_TRUE(
        RunFfmpeg("-f lavfi -i \"aevalsrc=if(lt(t\\,3)\\,0.8\\,0.1)*sin(2*PI*440*t)|"
                  "if(lt(t\\,3)\\,0.5\\,0.05)*sin(2*PI*660*t):s=44100:d=6\" -ac " +
                      std::to_string(f.channels) + " " + f.codecArgs,
                  file));
    const std::vector<ColumnPeak> peaks = ReadPeaks(file);
    ASSERT_EQ(peaks.size(), std::size_t(kColumns));
    const std::vector<ColumnPeak> expected = ExpectedPeaks(file, f.channels, 6.0);
    // A column may lie up to `slack` columns off: its extremes are then among those of
    // its neighbours.
    const float tolerance = f.slack ? 0.02f : 1e-4f;
    for (int c = f.slack; c < kColumns - f.slack; ++c) {
        const auto first = expected.begin() + (c - f.slack);
        const auto last = expected.begin() + (c + f.slack + 1);
        const auto [lowMin, lowMax] = std::minmax_element(
            first, last, [](const ColumnPeak& a, const ColumnPeak& b) { return a.low < b.low; });
        const auto [highMin, highMax] = std::minmax_element(
            first, last, [](const ColumnPeak& a, const ColumnPeak& b) { return a.high < b.high; });
        const ColumnPeak& peak = peaks[std::size_t(c)];
        ASSERT_GE(peak.high, highMin->high - tolerance) << "column " << c;
        ASSERT_LE(peak.high, highMax->high + tolerance) << "column " << c;
        ASSERT_GE(peak.low, lowMin->low - tolerance) << "column " << c;
        ASSERT_LE(peak.low, lowMax->low + tolerance) << "column " << c;
    }
    EXPECT_GT(peaks[100].high, 5 * peaks[400].high);
    EXPECT_LT(peaks[100].low, 5 * peaks[400].low);
}

INSTANTIATE_TEST_SUITE_P(Files, PeakReaderFormats,
                         ::testing::Values(Format{"wav", "-c:a pcm_s16le", 2, 0},
                                           Format{"flac", "-c:a flac", 1, 0},
                                           Format{"mp3", "-c:a libmp3lame -b:a 192k", 2, 4},
                                           Format{"ogg", "-c:a libvorbis", 2, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

// Files without audio of a known length leave the fixed picture: no columns, a failure.
TEST(PeakReader, FilesWithoutReadablePeaksFail) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    for (const fs::path& file :
         {fixtures.Garbage(), fixtures.Empty(), fixtures.UnknownDuration(), dir / "missing.mp3"}) {
        SCOPED_TRACE(file.filename().string());
        bool failed = false;
        EXPECT_TRUE(ReadPeaks(file, &failed).empty());
        EXPECT_TRUE(failed);
    }
}

// A reader given up on at once (another file loaded, the window closed) ends and is
// joined without reading the file through.
TEST(PeakReader, CancelledReaderEndsAndKeepsWhatItRead) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    const fs::path file = fixtures.Mp3(60.0);
    PeakReader reader(file.string(), kColumns);
    reader.Cancel();
    for (int i = 0; i < 3000 && !reader.Done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(reader.Done());
    EXPECT_FALSE(reader.Failed());
    EXPECT_LT(reader.Peaks().size(), std::size_t(kColumns));
}

}  // namespace
