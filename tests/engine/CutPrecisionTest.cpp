// How exactly cuts land, measured as decoders play them: the decoded cut is found in the
// decoded source by correlation and its edges compared with the asked stretch.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <random>
#include <vector>

#include "CutPrecision.h"
#include "JobTestSupport.h"

namespace tolvane::testing {
namespace {

constexpr double kSourceSec = 5.0;

struct Stretch {
    double start, end;
};
// From the file's start, near it, in the middle, the last 100 ms (to the end), and one
// millisecond.
constexpr Stretch kStretches[] = {
    {0.0, 0.77}, {0.031, 0.77}, {2.345, 3.567}, {4.9, kSourceSec}, {1.5, 1.501}};

// Noise without periods, so a stretch matches one place only, band-limited below what
// the lossy encoders keep, and shaped by the filters `shape` (e.g. kSpeech). The seed
// makes a 1 ms AC-3 cut one frame that FFmpeg's content probe does not recognise: the
// cut's own check must not rely on probing.
fs::path MakeNoise(const fs::path& dir, const std::string& name, int rate, int channels,
                   const std::string& codecArgs, const std::string& shape = "",
                   double seconds = kSourceSec) {
    const fs::path path = dir / name;
    const std::string source = "-f lavfi -i \"anoisesrc=d=" + std::to_string(seconds) +
                               ":a=0.4:seed=2:r=" + std::to_string(rate) +
                               ",lowpass=f=" + std::to_string(rate / 6) + shape + "\" -ac " +
                               std::to_string(channels) + " ";
    return RunFfmpeg(source + codecArgs, path) ? path : fs::path();
}

struct Family {
    std::string name;  // the source's name; the container follows its extension
    int rate, channels;
    std::string codecArgs;  // ffmpeg's, or "lame ARGS": lame encodes ffmpeg's WAV
    std::vector<Decoder> decoders;
    double packetSec;  // the longest packet
    // Exact formats: how far the head may differ from the source's.
    double headError;
    std::string shape = {};                   // MakeNoise's
    std::vector<Stretch> moreStretches = {};  // cut as well as kStretches
};

// Like speech to an encoder: bursts of 450 ms in a voice's band, 250 ms of silence
// between them. Encoded at a low quality its frames are small, and their main data
// begins many frames back (up to 511 bytes, 255 at MPEG-2), farthest shortly after a
// silence (kVoiceOnsets).
const std::string kSpeech = ",bandpass=f=900:w=1200,aeval='val(0)*lt(mod(t\\,0.7)\\,0.45)'";
const std::vector<Stretch> kVoiceOnsets = {{1.45, 2.0}, {2.2, 2.9}, {4.25, 4.6}};

void PrintTo(const Family& f, std::ostream* os) {
    *os << f.name;
}

std::string Label(const Stretch& s) {
    char label[48];
    std::snprintf(label, sizeof label, "%.3f-%.3f", s.start, s.end);
    return label;
}

class CutFixture : public ::testing::TestWithParam<Family> {
  protected:
    TempDir dir;

    fs::path Source() {
        const Family& f = GetParam();
        if (!f.codecArgs.starts_with("lame ")) {
            return MakeNoise(dir.path(), "source_" + f.name, f.rate, f.channels, f.codecArgs,
                             f.shape);
        }
        // ffmpeg writes no CRCs into MP3 frames; lame does.
        const fs::path wav = MakeNoise(dir.path(), "source.wav", f.rate, f.channels, "", f.shape);
        const fs::path mp3 = dir / ("source_" + f.name);
        if (wav.empty() || RunCommand("command -v lame >/dev/null") != 0 ||
            RunCommand(f.codecArgs + " --quiet " + ShellQuote(wav.string()) + " " +
                       ShellQuote(mp3.string())) != 0)
            return {};
        return mp3;
    }
    // Whether `decoder` can be run; says so when it cannot.
    static bool Installed(Decoder decoder) {
        if (DecoderInstalled(decoder))
            return true;
        std::printf("[ SKIPPED  ] %s is not installed (scripts/setup.sh --test installs it)\n",
                    DecoderName(decoder).c_str());
        return false;
    }
    // Cuts `s` of `source`; empty when the job failed.
    fs::path Cut(const fs::path& source, const Stretch& s) {
        const fs::path out = dir / (Label(s) + "_" + GetParam().name);
        MediaJob job;
        PrepareCut(job, source, out, s.start, s.end);
        RunJob(job);
        EXPECT_EQ(job.fileStatus[0], kInputDone) << "failure " << job.failureCode;
        return job.fileStatus[0] == kInputDone ? out : fs::path();
    }
    // Measures the cut `out` of `s` as each installed decoder of the family plays it.
    void MeasureByEachDecoder(const fs::path& source, const fs::path& out, const Stretch& s,
                              const std::function<void(Decoder, const CutPrecision&)>& check) {
        for (Decoder d : GetParam().decoders) {
            if (!Installed(d))
                continue;
            SCOPED_TRACE(GetParam().name + " " + Label(s) + " by " + DecoderName(d));
            const CutPrecision p = MeasureCut(source, out, s.start, s.end, d);
            ASSERT_TRUE(p.found) << Describe(p);
            check(d, p);
        }
    }
};

// MP3 (Info header), AAC in MP4 (edit list) and Opus (pre-skip, end granule): the cut
// plays exactly the stretch, and its first 50 ms as in the source.
class ExactCut : public CutFixture {};

TEST_P(ExactCut, StartsAndEndsWithinAMillisecondWithAnIntactHead) {
    const Family& f = GetParam();
    const fs::path source = Source();
    ASSERT_FALSE(source.empty());
    const bool mp4 = f.name.ends_with(".m4a");
    std::vector<Stretch> stretches(std::begin(kStretches), std::end(kStretches));
    stretches.insert(stretches.end(), f.moreStretches.begin(), f.moreStretches.end());
    for (const Stretch& s : stretches) {
        // Without an Info header the file's length is only estimated (4.87 s here): a
        // start past it is refused before the job.
        if (f.name.starts_with("noinfo") && s.end >= kSourceSec)
            continue;
        const fs::path out = Cut(source, s);
        if (out.empty())
            continue;
        MeasureByEachDecoder(source, out, s, [&](Decoder d, const CutPrecision& p) {
            const bool shorterThanAPacket = s.end - s.start < f.packetSec;
            if (d == Decoder::Sox) {
                // libmad drops nothing: it plays the Info frame and the silent frame with
                // the reservoir, then the frames from two granules before the start
                // (from the file's start: the encoder's delay), never a late start. Of a
                // stretch inside one frame too little plays to be found in the source.
                if (shorterThanAPacket)
                    return;
                const double framesBefore = f.rate < 32000 ? 5 : 4;
                EXPECT_LE(p.startErrorMs, 1.0) << Describe(p);
                EXPECT_GE(p.startErrorMs, -framesBefore * f.packetSec * 1000) << Describe(p);
                return;
            }
            // FFmpeg's decoder forgets the rest of a start skip at a packet that carries
            // an end skip too: a stretch inside one packet starts up to a packet early.
            const double startSlackMs =
                d == Decoder::Ffmpeg && shorterThanAPacket ? f.packetSec * 1000 : 0;
            // GStreamer plays the rest of a frame that holds both ends of the stretch.
            const bool gstreamer = d == Decoder::Gstreamer || d == Decoder::GstreamerMpg123;
            const double oneFrameEndMs = gstreamer && shorterThanAPacket ? f.packetSec * 1000 : 0;
            EXPECT_GE(p.startErrorMs, -1.0 - startSlackMs) << Describe(p);
            EXPECT_LE(p.startErrorMs, 1.0) << Describe(p);
            // FFmpeg does not end an MP4 track at its edit list's end: it plays the
            // rest of the last frame (and one more for a stretch inside one frame).
            const double endSlackMs = mp4 ? 2 * f.packetSec * 1000 : oneFrameEndMs;
            EXPECT_GE(p.endErrorMs, -1.0) << Describe(p);
            EXPECT_LE(p.endErrorMs, 1.0 + endSlackMs) << Describe(p);
            // GStreamer's AAC decoder starts a sample off FFmpeg's, which a
            // sample-by-sample head comparison of noise cannot tell from damage.
            if (!(mp4 && d == Decoder::Gstreamer)) {
                EXPECT_LE(p.headError, f.headError) << Describe(p);
            }
        });
        // The edit list itself states the stretch's length (but for a stretch inside
        // one frame, which gets the next frame too).
        if (mp4 && s.end - s.start >= f.packetSec) {
            // The stream's duration: the movie's covers the priming as well.
            std::string duration;
            RunCommand(
                "ffprobe -v error -select_streams a:0 -show_entries stream=duration -of "
                "csv=p=0 " +
                    ShellQuote(out.string()),
                &duration);
            EXPECT_NEAR(std::atof(duration.c_str()), s.end - s.start, 0.0015) << Label(s);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ExactCut,
    ::testing::Values(
        Family{"cbr.mp3",
               44100,
               2,
               "-c:a libmp3lame -b:a 128k",
               {Decoder::Ffmpeg, Decoder::Mpg123, Decoder::Gstreamer, Decoder::GstreamerMpg123},
               1152 / 44100.0,
               1e-3},
        Family{"vbr.mp3",
               44100,
               2,
               "-c:a libmp3lame -q:a 2",
               {Decoder::Ffmpeg, Decoder::Mpg123, Decoder::Gstreamer, Decoder::GstreamerMpg123},
               1152 / 44100.0,
               1e-3},
        Family{"cbr8k.mp3",
               8000,
               1,
               "-c:a libmp3lame -b:a 24k",
               {Decoder::Ffmpeg, Decoder::Mpg123, Decoder::Gstreamer, Decoder::GstreamerMpg123},
               576 / 8000.0,
               1e-3},
        Family{"vbr8k.mp3",
               8000,
               1,
               "-c:a libmp3lame -q:a 4",
               {Decoder::Ffmpeg, Decoder::Mpg123, Decoder::Gstreamer, Decoder::GstreamerMpg123},
               576 / 8000.0,
               1e-3},
        // MPEG-2 without an Info header: played from its first sample, no delay.
        Family{"noinfo.mp3",
               22050,
               1,
               "-c:a libmp3lame -q:a 6 -write_xing 0",
               {Decoder::Ffmpeg, Decoder::Mpg123, Decoder::Gstreamer, Decoder::GstreamerMpg123},
               576 / 22050.0,
               0.05},
        // Frames with CRCs: the Info frame must carry one too for GStreamer to take it.
        Family{"crc.mp3",
               44100,
               2,
               "lame -p -V2",
               {Decoder::Ffmpeg, Decoder::Mpg123, Decoder::Gstreamer, Decoder::GstreamerMpg123},
               1152 / 44100.0,
               0.05},
        // Small frames reading far back: the first frames after the start read main data
        // of frames that are not copied.
        Family{"speech22k.mp3",
               22050,
               1,
               "-c:a libmp3lame -q:a 6",
               {Decoder::Ffmpeg, Decoder::Mpg123, Decoder::Gstreamer, Decoder::GstreamerMpg123,
                Decoder::Sox},
               576 / 22050.0,
               0.05,
               kSpeech,
               kVoiceOnsets},
        Family{"speech44k.mp3",
               44100,
               2,
               "-c:a libmp3lame -q:a 2",
               {Decoder::Ffmpeg, Decoder::Mpg123, Decoder::Gstreamer, Decoder::GstreamerMpg123,
                Decoder::Sox},
               1152 / 44100.0,
               0.05,
               kSpeech,
               kVoiceOnsets},
        // Without noise substitution, whose random noise differs from decode to decode.
        Family{"aac.m4a",
               44100,
               2,
               "-c:a aac -b:a 128k -aac_pns 0",
               {Decoder::Ffmpeg, Decoder::Gstreamer},
               1024 / 44100.0,
               1e-3},
        // Opus decoders converge within the pre-roll, but not to the bit.
        Family{"opus.opus",
               48000,
               2,
               "-c:a libopus -b:a 96k",
               {Decoder::Ffmpeg, Decoder::Opusdec},
               0.02,
               0.15}),
    [](const auto& info) { return info.param.name.substr(0, info.param.name.find('.')); });

// Formats that cannot state where their audio starts or ends: every sample of the
// stretch is there, with at most one packet more at each end.
class PacketCut : public CutFixture {};

TEST_P(PacketCut, CoversTheStretchWithinAPacketAtEachEnd) {
    const Family& f = GetParam();
    const fs::path source = Source();
    ASSERT_FALSE(source.empty());
    const double packetMs = f.packetSec * 1000;
    for (const Stretch& s : kStretches) {
        const fs::path out = Cut(source, s);
        if (out.empty())
            continue;
        SCOPED_TRACE(f.name + " " + Label(s));
        const CutPrecision p = MeasureCut(source, out, s.start, s.end);
        ASSERT_TRUE(p.found) << Describe(p);
        // Half a millisecond for the correlation's pick on lossy audio.
        EXPECT_LE(p.startErrorMs, 0.5) << Describe(p);
        EXPECT_GE(p.endErrorMs, -0.5) << Describe(p);
        if (s.end - s.start < f.packetSec) {
            // A stretch inside one packet: two packets at most in all (raw AC-3: the
            // four frames a reader needs to recognise it).
            const double packets = f.name.ends_with(".ac3") ? 4 : 2;
            EXPECT_LE(p.endErrorMs - p.startErrorMs, packets * packetMs) << Describe(p);
        } else {
            EXPECT_GE(p.startErrorMs, -packetMs) << Describe(p);
            EXPECT_LE(p.endErrorMs, packetMs) << Describe(p);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PacketCut,
    ::testing::Values(
        Family{"vorbis.ogg", 44100, 2, "-c:a libvorbis -q:a 4", {}, 1024 / 44100.0, 0},
        Family{"wma.wma", 44100, 2, "-c:a wmav2 -b:a 128k", {}, 2048 / 44100.0, 0},
        Family{"mp2.mp2", 44100, 2, "-c:a mp2 -b:a 192k", {}, 1152 / 44100.0, 0},
        Family{"ac3.ac3", 48000, 2, "-c:a ac3 -b:a 192k", {}, 1536 / 48000.0, 0}),
    [](const auto& info) { return info.param.name.substr(0, info.param.name.find('.')); });

// Vorbis in Ogg: whole packets at the start, but the last page's granule position ends
// the stretch to the sample in every player.
class VorbisCut : public CutFixture {};

TEST_P(VorbisCut, EndsToTheSampleInEveryPlayer) {
    const Family& f = GetParam();
    const fs::path source = Source();
    ASSERT_FALSE(source.empty());
    for (const Stretch& s : kStretches) {
        const fs::path out = Cut(source, s);
        if (out.empty())
            continue;
        MeasureByEachDecoder(source, out, s, [&](Decoder d, const CutPrecision& p) {
            EXPECT_LE(p.startErrorMs, 0.5) << Describe(p);
            EXPECT_GE(p.startErrorMs, -2 * f.packetSec * 1000) << Describe(p);
            // Exact in FFmpeg past the file's start; libvorbisfile and GStreamer count
            // the granule from a start of their own and may play up to a packet more.
            const bool exact = d == Decoder::Ffmpeg && s.start > 0;
            EXPECT_GE(p.endErrorMs, -0.1) << Describe(p);
            EXPECT_LE(p.endErrorMs, exact ? 0.1 : f.packetSec * 1000) << Describe(p);
        });
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, VorbisCut,
    ::testing::Values(Family{"vorbis.ogg",
                             44100,
                             2,
                             "-c:a libvorbis -q:a 4",
                             {Decoder::Ffmpeg, Decoder::Oggdec, Decoder::Sox, Decoder::Gstreamer},
                             1024 / 44100.0,
                             0}),
    [](const auto& info) { return info.param.name.substr(0, info.param.name.find('.')); });

}  // namespace
}  // namespace tolvane::testing

namespace tolvane::testing {
namespace {

// A short raw AC-3 cut holds enough frames for FFmpeg to recognise it by its content.
TEST(Ac3Cut, AFortyMillisecondCutOpensWithoutItsFormatNamed) {
    TempDir dir;
    const fs::path source = MakeNoise(dir.path(), "source.ac3", 48000, 2, "-c:a ac3 -b:a 448k");
    ASSERT_FALSE(source.empty());
    const fs::path out = dir / "short.ac3";
    MediaJob job;
    PrepareCut(job, source, out, 2.0, 2.04);
    RunJob(job);
    ASSERT_EQ(job.fileStatus[0], kInputDone);
    // FFmpeg's raw probe counts frames in a row: fewer than four of 448 kbit/s at 48 kHz
    // (1792 bytes each) are not recognised on some content.
    EXPECT_GE(fs::file_size(out), 4u * 1792u);
    EXPECT_EQ(RunCommand("ffprobe -v error " + ShellQuote(out.string()) + " >/dev/null 2>&1"), 0);
}

}  // namespace
}  // namespace tolvane::testing

namespace tolvane::testing {
namespace {

// Raw AC-3, E-AC-3 and DTS at 44.1 kHz: a frame lasts 3134.69 (1044.9) ticks of the demuxer's
// 1/90000 s, which stamps it with 3134 (1044), so its stamps fall behind the audio by
// 13 (51) ms a minute. Cuts far into the file still cover the stretch with whole frames,
// in FFmpeg and GStreamer (liba52, libdca).
struct SyncFrameSource {
    std::string name;
    std::string codecArgs;
    double seconds;
    double frameSec;
    int shortCutFrames;  // what a stretch inside one frame gets, for readers to know it
    Decoder player;
};

TEST(SyncFrameCut, FarIntoA44kHzFileTheCutCoversTheStretchWithinAFrame) {
    TempDir dir;
    for (const SyncFrameSource& f : {SyncFrameSource{"long.ac3", "-c:a ac3 -b:a 96k", 70.0,
                                                     1536 / 44100.0, 4, Decoder::GstreamerA52dec},
                                     SyncFrameSource{"long.eac3", "-c:a eac3 -b:a 96k", 30.0,
                                                     1536 / 44100.0, 4, Decoder::Gstreamer},
                                     SyncFrameSource{"long.dts", "-c:a dca -strict -2", 30.0,
                                                     512 / 44100.0, 6, Decoder::Gstreamer}}) {
        const fs::path source = MakeNoise(dir.path(), f.name, 44100, 2, f.codecArgs, "", f.seconds);
        ASSERT_FALSE(source.empty()) << f.name;
        const DecodedAudio whole = Decode(source, Decoder::Ffmpeg);
        const double far = f.seconds - 10;
        for (const Stretch& s :
             {Stretch{far, far + 1}, Stretch{far / 2 + 0.3, far / 2 + 1.567}, Stretch{0.0, 2.0},
              Stretch{far + 5.25, far + 5.251}, Stretch{f.seconds - 0.5, f.seconds}}) {
            const fs::path out = dir / (Label(s) + "_" + f.name);
            MediaJob job;
            PrepareCut(job, source, out, s.start, s.end);
            RunJob(job);
            ASSERT_EQ(job.fileStatus[0], kInputDone) << f.name << " " << Label(s);
            const double frames = s.end - s.start < f.frameSec ? f.shortCutFrames : 1;
            for (Decoder d : {Decoder::Ffmpeg, f.player}) {
                if (!DecoderInstalled(d))
                    continue;
                SCOPED_TRACE(f.name + " " + Label(s) + " by " + DecoderName(d));
                const CutPrecision p = MeasureCut(whole, Decode(out, d), s.start, s.end);
                ASSERT_TRUE(p.found) << Describe(p);
                EXPECT_LE(p.startErrorMs, 0.5) << Describe(p);
                EXPECT_GE(p.startErrorMs, -f.frameSec * 1000 - 0.5) << Describe(p);
                EXPECT_GE(p.endErrorMs, -0.5) << Describe(p);
                EXPECT_LE(p.endErrorMs, frames * f.frameSec * 1000 + 0.5) << Describe(p);
            }
        }
    }
}

// Stretches of 1 to 5 ms anywhere in Vorbis streams, among short blocks too: every cut
// is written, and FFmpeg and oggdec both play the whole stretch from it.
TEST(VorbisShortCuts, EveryStretchIsPlayedByFfmpegAndOggdec) {
    TempDir dir;
    std::vector<fs::path> sources = {
        MakeNoise(dir.path(), "q4.ogg", 44100, 2, "-c:a libvorbis -q:a 4"),
        dir / "attacks.ogg",  // bursts every 0.37 s: 128-sample blocks at each
        dir / "oggenc.ogg",   // oggenc's lowest quality at 48 kHz: blocks of 256 and 2048
    };
    ASSERT_TRUE(
        RunFfmpeg("-f lavfi -i \"anoisesrc=d=" + std::to_string(kSourceSec) +
                      ":a=1:seed=7:r=44100,volume='0.03+0.9*lt(mod(t\\,0.37)\\,0.04)':eval=frame\" "
                      "-ac 1 -c:a libvorbis -q:a 4",
                  sources[1]));
    const fs::path wav = MakeNoise(dir.path(), "48k.wav", 48000, 2, "");
    if (RunCommand("oggenc -Q -q -1 -o " + ShellQuote(sources[2].string()) + " " +
                   ShellQuote(wav.string())) != 0) {
        std::printf("[ SKIPPED  ] oggenc is not installed (scripts/setup.sh --test installs it)\n");
        sources.pop_back();
    }
    std::mt19937 random(26);
    std::uniform_int_distribution<int> startMs(50, static_cast<int>(kSourceSec * 1000) - 100);
    std::uniform_int_distribution<int> lengthMs(1, 5);
    for (const fs::path& source : sources) {
        ASSERT_FALSE(source.empty());
        const DecodedAudio whole = Decode(source, Decoder::Ffmpeg);
        for (int i = 0; i < 10; ++i) {
            const int from = startMs(random);
            const Stretch s{from / 1000.0, (from + lengthMs(random)) / 1000.0};
            const fs::path out = dir / (Label(s) + "_" + source.filename().string());
            MediaJob job;
            PrepareCut(job, source, out, s.start, s.end);
            RunJob(job);
            ASSERT_EQ(job.fileStatus[0], kInputDone) << Label(s);
            for (Decoder d : {Decoder::Ffmpeg, Decoder::Oggdec}) {
                if (!DecoderInstalled(d))
                    continue;
                SCOPED_TRACE(source.filename().string() + " " + Label(s) + " by " + DecoderName(d));
                const CutPrecision p = MeasureCut(whole, Decode(out, d), s.start, s.end);
                ASSERT_TRUE(p.found) << Describe(p);
                EXPECT_LE(p.startErrorMs, 0.5) << Describe(p);
                EXPECT_GE(p.endErrorMs, -0.1) << Describe(p);
            }
        }
    }
}

}  // namespace
}  // namespace tolvane::testing
