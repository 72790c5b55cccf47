// Positioning MPEG audio by walking frame headers, and reading its frames from the file's
// blocks: the very packets (bytes, timestamps, side data) the demuxer's own time seek
// leads to, so a cut writes the same file either way; and the cut plays the asked
// stretch in mpg123.

#include <gtest/gtest.h>

#include <limits>
#include <utility>

#include "CutPrecision.h"
#include "engine/ffmpeg/FfmpegHolders.h"
#include "JobTestSupport.h"
#include "engine/cut/FileBlock.h"
#include "engine/cut/MpegAudioPackets.h"
#include "PacketList.h"
#include "engine/ffmpeg/TimeUnits.h"

namespace tolvane::testing {
namespace {

constexpr double kSourceSec = 8.0;

struct Source {
    std::string name;
    std::string args;  // rate, channels, encoder and muxer options
};

void PrintTo(const Source& s, std::ostream* os) {
    *os << s.name;
}

// Walks to `sec` of `source` and reads on from the blocks, and has the demuxer seek
// there itself: both give the same packets to the end.
void ExpectTheTimeSeeksPackets(const fs::path& source, double sec) {
    SCOPED_TRACE(source.filename().string() + " at " + std::to_string(sec));
    ff::InputFormatPtr walked = OpenProbed(source), seeked = OpenProbed(source);
    ASSERT_TRUE(walked && seeked);
    const AVRational base = walked->streams[0]->time_base;
    const std::int64_t at = av_rescale_q(SecondsToMicros(sec), AV_TIME_BASE_Q, base);
    const std::optional<MpegAudioLanding> landing = SeekToMpegAudioFrame(*walked, 0, at);
    ASSERT_TRUE(landing);
    ASSERT_GE(av_seek_frame(seeked.get(), 0, at, AVSEEK_FLAG_BACKWARD), 0);
    const std::vector<PacketView> expected =
        PacketsFrom([&](AVPacket& p) { return av_read_frame(seeked.get(), &p); }, at);
    ASSERT_FALSE(expected.empty());
    EXPECT_LE(expected.front().pts, at);
    // Read from the file's blocks, then (near the end) from the demuxer again.
    MpegAudioPackets packets(*walked, *landing);
    EXPECT_TRUE(PacketsFrom([&](AVPacket& p) { return packets.Read(p); }, at) == expected);
}

// From the file's start: the demuxer's first frame (with the encoder delay it marks, when
// the file tells it), then the frames from the blocks, are the packets the demuxer gives
// on its own.
void ExpectTheDemuxersPacketsFromTheStart(const fs::path& source) {
    ff::InputFormatPtr walked = OpenProbed(source), plain = OpenProbed(source);
    ASSERT_TRUE(walked && plain);
    const std::optional<MpegAudioLanding> second = SeekPastFirstMpegAudioFrame(*walked, 0);
    ASSERT_TRUE(second);
    const std::int64_t all = std::numeric_limits<std::int64_t>::min();
    const std::vector<PacketView> expected =
        PacketsFrom([&](AVPacket& p) { return av_read_frame(plain.get(), &p); }, all);
    ASSERT_FALSE(expected.empty());
    MpegAudioPackets packets(*walked, *second);
    bool first = true;
    const auto read = [&](AVPacket& p) {
        return std::exchange(first, false) ? av_read_frame(walked.get(), &p) : packets.Read(p);
    };
    EXPECT_TRUE(PacketsFrom(read, all) == expected);
}

std::string NoiseInput(double seconds) {
    return "-f lavfi -i \"anoisesrc=d=" + std::to_string(seconds) +
           ":a=0.4:seed=3,lowpass=f=3000\" ";
}

class MpegAudioWalk : public ::testing::TestWithParam<Source> {
  protected:
    TempDir dir;
};

TEST_P(MpegAudioWalk, LandsWhereTheTimeSeekLandsAndTheCutPlaysTheStretch) {
    const Source& s = GetParam();
    const fs::path source = dir / s.name;
    ASSERT_TRUE(RunFfmpeg(NoiseInput(kSourceSec) + s.args, source));
    // Into the second frame, the middle, and the last frames (whose packets carry the
    // end padding).
    for (const double sec : {0.1, 3.217, kSourceSec - 0.03})
        ExpectTheTimeSeeksPackets(source, sec);
    ExpectTheDemuxersPacketsFromTheStart(source);
    const fs::path cut = dir / ("cut_" + s.name);
    MediaJob job;
    PrepareCut(job, source, cut, 2.345, 5.678);
    RunJob(job);
    ASSERT_EQ(job.fileStatus[0], kInputDone) << "failure " << job.failureCode;
    const CutPrecision p = MeasureCut(source, cut, 2.345, 5.678, Decoder::Mpg123);
    ASSERT_TRUE(p.found) << Describe(p);
    EXPECT_NEAR(p.startErrorMs, 0, 1.0) << Describe(p);
    EXPECT_NEAR(p.endErrorMs, 0, 1.0) << Describe(p);
    // mpg123 plays the first granules of a 64k mono cut up to 1 % off (as it did before
    // the walk: the packets are the same); a damaged head would be off by about 1.
    EXPECT_LE(p.headError, 0.02) << Describe(p);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MpegAudioWalk,
    ::testing::Values(
        Source{"cbr.mp3", "-ac 2 -c:a libmp3lame -b:a 128k"},
        Source{"vbr_xing.mp3", "-ac 2 -c:a libmp3lame -q:a 2"},
        Source{"vbr_bare.mp3", "-ac 2 -c:a libmp3lame -q:a 2 -write_xing 0 -id3v2_version 0"},
        Source{"id3v2.mp3",
               "-ac 2 -c:a libmp3lame -b:a 192k -metadata title=Walk -metadata comment=" +
                   std::string(3000, 'x')},
        Source{"mono.mp3", "-ac 1 -c:a libmp3lame -b:a 64k"},
        Source{"mpeg2_22k.mp3", "-ac 2 -ar 22050 -c:a libmp3lame -b:a 48k"},
        Source{"mpeg25_8k.mp3", "-ac 1 -ar 8000 -c:a libmp3lame -q:a 5"}),
    [](const auto& info) { return info.param.name.substr(0, info.param.name.find('.')); });

// Two files one after the other: the first one's header tells of its frames only, and
// the demuxer marks its padding in the middle of the stream; the second one's tag breaks
// the walk.
TEST(MpegAudioWalkJoined, LandsWhereTheTimeSeekLandsAcrossTheSeam) {
    TempDir dir;
    const std::string args = "-ac 2 -c:a libmp3lame -b:a 128k";
    ASSERT_TRUE(RunFfmpeg(NoiseInput(4.0) + args, dir / "a.mp3"));
    ASSERT_TRUE(RunFfmpeg(NoiseInput(3.0) + args, dir / "b.mp3"));
    const fs::path joined = dir / "joined.mp3";
    ASSERT_EQ(
        RunCommand("cat " + ShellQuote((dir / "a.mp3").string()) + " " +
                   ShellQuote((dir / "b.mp3").string()) + " > " + ShellQuote(joined.string())),
        0);
    ExpectTheTimeSeeksPackets(joined, 1.5);
    ff::InputFormatPtr input = OpenProbed(joined);
    ASSERT_TRUE(input);
    EXPECT_FALSE(SeekToMpegAudioFrame(*input, 0, 5 * input->streams[0]->time_base.den));
}

// A packet lent from a block keeps its bytes while later blocks are read, whether or not
// the packets before it have been let go.
TEST(FileBlock, LentBytesStayWhileLaterBlocksAreRead) {
    TempDir dir;
    const fs::path source = dir / "bytes.mp3";
    ASSERT_TRUE(RunFfmpeg(NoiseInput(3.0) + "-c:a libmp3lame", source));
    const std::string bytes = ReadFileBytes(source);
    ff::InputFormatPtr input = OpenProbed(source);
    ASSERT_TRUE(input);
    constexpr int kBlock = 4096;
    FileBlock block(*input->pb, kBlock);
    ff::PacketPtr held[4];
    for (int k = 0; k < 4; ++k) {
        held[k].reset(av_packet_alloc());
        ASSERT_TRUE(block.Hold(k * kBlock, kBlock));
        ASSERT_EQ(block.Lend(k * kBlock, kBlock, *held[k]), 0);
        if (k == 2)
            held[0].reset();  // the block before the last is free again
    }
    for (int k = 1; k < 4; ++k) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(held[k]->data), kBlock),
                  bytes.substr(std::size_t(k) * kBlock, kBlock))
            << "packet " << k;
    }
}

TEST(MpegAudioHeader, GivesTheFrameLengthOrNothing) {
    struct Row {
        std::uint32_t word;
        int bytes, samples, rate;  // bytes 0: no header
    };
    const Row rows[] = {
        {0xFFFB9064, 417, 1152, 44100},  // MPEG-1 layer III 128k
        {0xFFFB9264, 418, 1152, 44100},  // the same, padded
        {0xFFF3E4C4, 480, 576, 24000},   // MPEG-2 layer III 160k
        {0xFFE32844, 144, 576, 8000},    // MPEG-2.5 layer III 16k
        {0xFFFD9004, 522, 1152, 44100},  // MPEG-1 layer II 160k
        {0xFFFB0064, 0, 0, 0},           // free format
        {0xFFEB9064, 0, 0, 0},           // reserved version
        {0xFFFBF064, 0, 0, 0},           // bad bit rate
        {0xFFFB9C64, 0, 0, 0},           // reserved rate
    };
    for (const Row& row : rows) {
        const std::optional<MpegAudioHeader> header = ParseMpegAudioHeader(row.word);
        EXPECT_EQ(header ? header->bytes : 0, row.bytes) << std::hex << row.word;
        EXPECT_EQ(header ? header->samples : 0, row.samples) << std::hex << row.word;
        EXPECT_EQ(header ? header->sampleRate : 0, row.rate) << std::hex << row.word;
    }
}

}  // namespace
}  // namespace tolvane::testing
