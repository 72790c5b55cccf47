// Reading FLAC frames from the file's blocks: the very packets the demuxer gives from
// the same place, for the encoders' usual layouts, a stream of variable block sizes and a
// cover picture beside the audio; and every good frame around a damaged stretch.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "engine/cut/FlacFrameHeader.h"
#include "engine/cut/FlacFramePackets.h"
#include "JobTestSupport.h"
#include "PacketList.h"
#include "engine/ffmpeg/TimeUnits.h"

namespace tolvane::testing {
namespace {

constexpr double kSourceSec = 8.0;

std::string Noise(int channels, int rate) {
    return "-f lavfi -i \"anoisesrc=d=" + std::to_string(kSourceSec) +
           ":c=pink:a=0.3:seed=5:r=" + std::to_string(rate) + ",lowpass=f=5000\" -ac " +
           std::to_string(channels) + " ";
}

// Overwrites `bytes` bytes at `fraction` of the file with zeros.
bool Damage(const fs::path& file, double fraction, int bytes) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(static_cast<double>(fs::file_size(file)) * fraction));
    const std::string zeros(static_cast<std::size_t>(bytes), '\0');
    return static_cast<bool>(f.write(zeros.data(), bytes));
}

struct Source {
    std::string name;
    std::function<bool(const fs::path& dir, const fs::path& out)> make;
    bool damaged = false;
};

void PrintTo(const Source& s, std::ostream* os) {
    *os << s.name;
}

const Source kSources[] = {
    {"ffmpeg_s16.flac",
     [](const fs::path&, const fs::path& out) {
         return RunFfmpeg(Noise(2, 44100) + "-c:a flac", out);
     }},
    {"reference_s24_96k.flac",
     [](const fs::path& dir, const fs::path& out) {
         const fs::path wav = dir / "s24.wav";
         return RunFfmpeg(Noise(2, 96000) + "-bitexact -c:a pcm_s24le", wav) &&
                RunCommand("flac --silent -S 1s -o " + ShellQuote(out.string()) + " " +
                           ShellQuote(wav.string())) == 0;
     }},
    {"mono_8k_small_frames.flac",
     [](const fs::path&, const fs::path& out) {
         return RunFfmpeg(Noise(1, 8000) + "-c:a flac -frame_size 192", out);
     }},
    {"six_channels.flac",
     [](const fs::path&, const fs::path& out) {
         return RunFfmpeg(Noise(6, 48000) + "-c:a flac", out);
     }},
    // A cut of ours: trimmed edge frames, so every header counts samples.
    {"variable_blocks.flac",
     [](const fs::path& dir, const fs::path& out) {
         const fs::path whole = dir / "whole.flac";
         if (!RunFfmpeg(Noise(2, 44100) + "-c:a flac", whole))
             return false;
         MediaJob job;
         PrepareCut(job, whole, out, 0.3333, 7.9);
         RunJob(job);
         return job.fileStatus[0] == kInputDone;
     }},
    {"cover.flac",
     [](const fs::path& dir, const fs::path& out) {
         const fs::path cover = dir / "cover.png";
         return RunFfmpeg("-f lavfi -i color=c=red:s=32x32 -frames:v 1", cover) &&
                RunFfmpeg(Noise(2, 44100) + "-i " + ShellQuote(cover.string()) +
                              " -map 0:a -map 1:v -c:a flac -c:v copy -disposition:v attached_pic",
                          out);
     }},
    {"damaged.flac",
     [](const fs::path&, const fs::path& out) {
         return RunFfmpeg(Noise(2, 44100) + "-c:a flac", out) && Damage(out, 0.55, 3000);
     },
     true},
};

class FlacFrameReading : public ::testing::TestWithParam<Source> {
  protected:
    TempDir dir;
};

// Whether every packet of `part` is in `whole`, in the same order.
bool IsSubsequence(const std::vector<PacketView>& part, const std::vector<PacketView>& whole) {
    auto at = whole.begin();
    for (const PacketView& p : part) {
        at = std::find(at, whole.end(), p);
        if (at == whole.end())
            return false;
    }
    return true;
}

bool FrameCrcHolds(const PacketView& p) {
    return FlacFrameHeader::Crc16(
               std::span(reinterpret_cast<const std::uint8_t*>(p.data.data()), p.data.size())) == 0;
}

TEST_P(FlacFrameReading, GivesTheDemuxersPacketsFromWhereverItStarts) {
    const Source& s = GetParam();
    const fs::path source = dir / s.name;
    ASSERT_TRUE(s.make(dir.path(), source));
    const ff::InputFormatPtr probed = OpenProbed(source);
    ASSERT_TRUE(probed && probed->duration > 0);
    const double length = static_cast<double>(probed->duration) / AV_TIME_BASE;
    // From the file's start, after a seek into the middle, and near the end (the last
    // frame is the demuxer's).
    for (const double sec : {0.0, 0.4 * length, length - 0.2}) {
        SCOPED_TRACE(s.name + " from " + std::to_string(sec));
        ff::InputFormatPtr direct = OpenProbed(source), blocks = OpenProbed(source);
        ASSERT_TRUE(direct && blocks);
        const AVRational base = direct->streams[0]->time_base;
        const std::int64_t at = av_rescale_q(SecondsToMicros(sec), AV_TIME_BASE_Q, base);
        if (sec > 0) {
            ASSERT_GE(av_seek_frame(direct.get(), 0, at, AVSEEK_FLAG_BACKWARD), 0);
            ASSERT_GE(av_seek_frame(blocks.get(), 0, at, AVSEEK_FLAG_BACKWARD), 0);
        }
        const std::unique_ptr<FlacFramePackets> reader = FlacFramePackets::ForStream(*blocks, 0);
        ASSERT_TRUE(reader);
        const std::vector<PacketView> expected =
            PacketsFrom([&](AVPacket& p) { return av_read_frame(direct.get(), &p); }, at);
        const std::vector<PacketView> read =
            PacketsFrom([&](AVPacket& p) { return reader->Read(p); }, at);
        ASSERT_FALSE(expected.empty());
        if (!s.damaged) {
            EXPECT_TRUE(read == expected)
                << read.size() << " packets, expected " << expected.size();
            // All but the first and the last frame come from the blocks.
            EXPECT_GE(reader->framesFromBlocks(), static_cast<std::int64_t>(expected.size()) - 2);
            continue;
        }
        // The demuxer's parser drops a few whole frames before a damaged one when it
        // reads on through it; the blocks keep them, and the demuxer reads after it.
        EXPECT_TRUE(IsSubsequence(expected, read));
        for (const PacketView& p : read) {
            if (std::find(expected.begin(), expected.end(), p) == expected.end()) {
                EXPECT_TRUE(FrameCrcHolds(p)) << "frame at " << p.pts;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, FlacFrameReading, ::testing::ValuesIn(kSources),
                         [](const auto& info) {
                             return info.param.name.substr(0, info.param.name.find('.'));
                         });

TEST(FlacFrameReadingOther, IsOnlyForNativeFlacFiles) {
    TempDir dir;
    const fs::path mka = dir / "flac.mka", wav = dir / "pcm.wav";
    ASSERT_TRUE(RunFfmpeg(Noise(2, 44100) + "-c:a flac", mka));
    ASSERT_TRUE(RunFfmpeg(Noise(2, 44100) + "-c:a pcm_s16le", wav));
    for (const fs::path& file : {mka, wav}) {
        ff::InputFormatPtr input = OpenProbed(file);
        ASSERT_TRUE(input);
        EXPECT_FALSE(FlacFramePackets::ForStream(*input, 0)) << file;
    }
}

}  // namespace
}  // namespace tolvane::testing
