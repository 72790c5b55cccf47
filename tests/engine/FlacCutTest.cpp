// FLAC cuts hold exactly the asked samples and are valid streams of their own: checked
// with the reference decoder (`flac -t`, `flac -d --skip --until`), ffprobe and ffmpeg.

#include <gtest/gtest.h>

#include <fstream>
#include <limits>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <sstream>

#include "JobTestSupport.h"

namespace tolvane::testing {
namespace {

struct FlacSource {
    std::string name;
    int rate;
    std::string sampleFormat;  // ffmpeg's encoder input: s16 or s32 (24 bits)
    std::string rawFormat;     // ffmpeg's decoder output compared: s16le or s32le
    int ffmpegFrameBytes;      // bytes per sample frame of rawFormat, stereo
    int flacFrameBytes;        // bytes per sample frame of the reference decoder
};

// The stream information of a FLAC file: its first metadata block.
struct StreamInfo {
    std::uint32_t minBlock = 0, maxBlock = 0, minFrame = 0, maxFrame = 0;
    std::uint64_t totalSamples = 0;
    bool md5Unset = false;
};

StreamInfo ReadStreamInfo(const fs::path& file) {
    const std::string bytes = ReadFileBytes(file);
    StreamInfo info;
    if (bytes.size() < 42 || bytes.compare(0, 4, "fLaC") != 0)
        return info;
    auto at = [&](std::size_t i) {
        return static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[8 + i]));
    };
    info.minBlock = static_cast<std::uint32_t>(at(0) << 8 | at(1));
    info.maxBlock = static_cast<std::uint32_t>(at(2) << 8 | at(3));
    info.minFrame = static_cast<std::uint32_t>(at(4) << 16 | at(5) << 8 | at(6));
    info.maxFrame = static_cast<std::uint32_t>(at(7) << 16 | at(8) << 8 | at(9));
    info.totalSamples = (at(13) & 0x0F) << 32 | at(14) << 24 | at(15) << 16 | at(16) << 8 | at(17);
    info.md5Unset =
        std::all_of(bytes.begin() + 8 + 18, bytes.begin() + 8 + 34, [](char c) { return c == 0; });
    return info;
}

// Samples and bytes of every frame, as ffprobe reads them.
struct Frame {
    long samples, bytes;
};
std::vector<Frame> FfprobeFrames(const fs::path& file) {
    std::string out;
    RunCommand(
        "ffprobe -v error -select_streams a:0 -show_entries packet=duration,size "
        "-of csv=p=0 " +
            ShellQuote(file.string()),
        &out);
    std::vector<Frame> frames;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        Frame f{};
        if (std::sscanf(line.c_str(), "%ld,%ld", &f.samples, &f.bytes) == 2)
            frames.push_back(f);
    }
    return frames;
}

std::string StreamEntry(const fs::path& file, const std::string& entry) {
    std::string out;
    RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=" + entry +
                   " -of csv=p=0 " + ShellQuote(file.string()),
               &out);
    return out.substr(0, out.find_first_of("\r\n"));
}

class FlacCutTest : public ::testing::TestWithParam<FlacSource> {};

TEST_P(FlacCutTest, CutsAreSampleExactValidStreamsFromSampleZero) {
    const FlacSource& s = GetParam();
    TempDir dir;
    constexpr double kSeconds = 6.0;
    const fs::path source = dir / s.name;
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i anoisesrc=d=6:c=pink:r=" + std::to_string(s.rate) +
                              " -ac 2 -sample_fmt " + s.sampleFormat + " -c:a flac",
                          source));
    const long block = ReadStreamInfo(source).minBlock;
    ASSERT_GT(block, 16);
    const long length = std::llround(kSeconds * s.rate);
    const long rate = s.rate;
    const std::string ffmpegAll = FfmpegRawSamples(source, s.rawFormat);
    const std::optional<std::string> flacAll = FlacToolRawSamples(source);
    ASSERT_TRUE(flacAll);
    ASSERT_EQ(ffmpegAll.size(), static_cast<std::size_t>(length * s.ffmpegFrameBytes));

    struct Range {
        const char* what;
        long first, last;  // samples [first, last); last past the length: the open end
    };
    const Range ranges[] = {
        {"near the start", 22, rate / 4},
        {"mid-file", rate * 21 / 10, rate * 42 / 10},
        {"the last 100 ms", length - rate / 10, length},
        {"the last millisecond", length - rate / 1000, length},
        {"the last 5 samples", length - 5, length},
        {"1 ms", rate * 5, rate * 5 + rate / 1000},
        {"on frame boundaries", 10 * block, 20 * block},
        {"inside one frame", 10 * block + 100, 10 * block + 900},
        {"5 samples of the first frame", 11 * block - 5, 11 * block + rate / 10},
        {"to the open end", rate * 3 + 7, length * 10},
        {"the whole file", 0, length * 10},
    };
    for (const Range& r : ranges) {
        SCOPED_TRACE(r.what);
        const fs::path out = dir / ("cut_" + std::to_string(r.first) + ".flac");
        MediaJob cut;
        PrepareCut(cut, source, out, static_cast<double>(r.first) / rate,
                   static_cast<double>(r.last) / rate);
        RunJob(cut);
        ASSERT_EQ(cut.fileStatus[0], kInputDone);
        const long last = std::min(r.last, length);
        const long samples = last - r.first;

        // The reference decoder finds the stream valid, from sample 0 on.
        EXPECT_EQ(RunCommand("flac -t -s " + ShellQuote(out.string()) + " 2>/dev/null"), 0);
        EXPECT_EQ(StreamEntry(out, "start_time"), "0.000000");
        EXPECT_EQ(StreamEntry(out, "duration_ts"), std::to_string(samples));

        const std::string expectedFfmpeg = ffmpegAll.substr(
            r.first * s.ffmpegFrameBytes, static_cast<std::size_t>(samples * s.ffmpegFrameBytes));
        const std::string gotFfmpeg = FfmpegRawSamples(out, s.rawFormat);
        EXPECT_EQ(gotFfmpeg.size(), expectedFfmpeg.size());
        EXPECT_TRUE(gotFfmpeg == expectedFfmpeg) << "ffmpeg decodes other samples";

        const std::optional<std::string> gotFlac = FlacToolRawSamples(out);
        ASSERT_TRUE(gotFlac) << "flac -d fails on the cut";
        EXPECT_TRUE(*gotFlac ==
                    flacAll->substr(r.first * s.flacFrameBytes,
                                    static_cast<std::size_t>(samples * s.flacFrameBytes)))
            << "flac -d decodes other samples";
        if (samples >= 3) {
            const long skip = samples / 3, until = 2 * samples / 3;
            const std::optional<std::string> part = FlacToolRawSamples(out, skip, until);
            ASSERT_TRUE(part) << "flac -d --skip --until fails on the cut";
            EXPECT_TRUE(*part == flacAll->substr(
                                     (r.first + skip) * s.flacFrameBytes,
                                     static_cast<std::size_t>((until - skip) * s.flacFrameBytes)))
                << "seeking in the cut finds other samples";
        }

        // The stream information agrees with the frames.
        const StreamInfo info = ReadStreamInfo(out);
        const std::vector<Frame> frames = FfprobeFrames(out);
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(info.totalSamples, static_cast<std::uint64_t>(samples));
        EXPECT_FALSE(info.md5Unset) << "no checksum for flac -t to verify";
        EXPECT_GE(info.minBlock, 16u);
        long total = 0;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            total += frames[i].samples;
            EXPECT_LE(frames[i].samples, static_cast<long>(info.maxBlock));
            if (i + 1 < frames.size()) {
                EXPECT_GE(frames[i].samples, static_cast<long>(info.minBlock)) << "frame " << i;
            }
            if (info.minFrame != 0) {
                EXPECT_GE(frames[i].bytes, static_cast<long>(info.minFrame));
                EXPECT_LE(frames[i].bytes, static_cast<long>(info.maxFrame));
            }
        }
        EXPECT_EQ(total, samples);
    }
}

TEST(FlacCutOtherDepths, EightBitCutsAreSampleExactToo) {
    // A depth FFmpeg's encoder does not write: the trimmed frames are written verbatim.
    TempDir dir;
    const fs::path raw = dir / "s8.raw", source = dir / "s8.flac";
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i anoisesrc=d=4:c=pink:r=48000 -ac 2 -f s8", raw));
    ASSERT_EQ(RunCommand("flac -s --force-raw-format --endian=little --sign=signed --channels=2 "
                         "--bps=8 --sample-rate=48000 -o " +
                         ShellQuote(source.string()) + " " + ShellQuote(raw.string())),
              0);
    const std::optional<std::string> all = FlacToolRawSamples(source);
    ASSERT_TRUE(all);
    const std::string ffmpegAll = FfmpegRawSamples(source, "s16le");
    constexpr long kFrameBytes = 2;
    struct Range {
        long first, last;
    };
    for (const Range& r : {Range{48000 + 123, 2 * 48000 + 456}, Range{5000, 5010},
                           Range{3 * 48000 + 1, 10 * 48000}}) {
        SCOPED_TRACE(r.first);
        const fs::path out = dir / ("cut" + std::to_string(r.first) + ".flac");
        MediaJob cut;
        PrepareCut(cut, source, out, r.first / 48000.0, r.last / 48000.0);
        RunJob(cut);
        ASSERT_EQ(cut.fileStatus[0], kInputDone);
        const long samples = std::min(r.last, 4 * 48000L) - r.first;
        EXPECT_EQ(RunCommand("flac -t -s " + ShellQuote(out.string()) + " 2>/dev/null"), 0);
        EXPECT_EQ(StreamEntry(out, "start_time"), "0.000000");
        const std::optional<std::string> got = FlacToolRawSamples(out);
        ASSERT_TRUE(got);
        EXPECT_TRUE(*got == all->substr(r.first * kFrameBytes, samples * kFrameBytes))
            << "flac -d decodes other samples";
        EXPECT_TRUE(FfmpegRawSamples(out, "s16le") == ffmpegAll.substr(r.first * 4, samples * 4))
            << "ffmpeg decodes other samples";
        EXPECT_EQ(ReadStreamInfo(out).totalSamples, static_cast<std::uint64_t>(samples));
    }
}

// Bytes after the last frame (a tag, the rest of a download) are not the audio's: a cut
// to the end stops at the last whole frame and stays a valid, checksummed stream.
TEST(FlacCutAppendedBytes, CutsToTheEndStopAtTheLastWholeFrame) {
    TempDir dir;
    const fs::path source = dir / "tail.flac";
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i anoisesrc=d=4:r=44100 -ac 2 -c:a flac", source));
    std::string bytes = ReadFileBytes(source);
    for (int i = 0; i < 3000; ++i)
        bytes += static_cast<char>((i * 7919 + 13) % 251);
    std::ofstream(source, std::ios::binary | std::ios::trunc) << bytes;
    for (double start : {0.0, 2.5, 3.99}) {
        SCOPED_TRACE(start);
        const fs::path out = dir / ("cut_" + std::to_string(start) + ".flac");
        MediaJob cut;
        PrepareCut(cut, source, out, start, std::numeric_limits<double>::infinity());
        RunJob(cut);
        ASSERT_EQ(cut.fileStatus[0], kInputDone);
        EXPECT_EQ(RunCommand("flac -t -s " + ShellQuote(out.string()) + " 2>/dev/null"), 0);
        EXPECT_EQ(StreamEntry(out, "duration_ts"),
                  std::to_string(176400 - std::lround(start * 44100)));
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, FlacCutTest,
                         ::testing::Values(FlacSource{"s16_44k.flac", 44100, "s16", "s16le", 4, 4},
                                           FlacSource{"s24_96k.flac", 96000, "s32", "s32le", 8, 6}),
                         [](const ::testing::TestParamInfo<FlacSource>& info) {
                             return info.param.name.substr(0, info.param.name.find('.'));
                         });

}  // namespace
}  // namespace tolvane::testing
