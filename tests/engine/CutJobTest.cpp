// Cuts in copy mode on real files: range, timestamps, formats, lengths the output
// tells of itself, and files that must never be touched.

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include "Id3Tag.h"
#include "JobTestSupport.h"

namespace tolvane::testing {
namespace {

// The data of the first audio packet of a file, read with FFmpeg directly.
std::string FirstPacketData(const fs::path& file) {
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, file.c_str(), nullptr, nullptr) < 0)
        return {};
    std::string data;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(input, packet) >= 0) {
        if (input->streams[packet->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            data.assign(reinterpret_cast<const char*>(packet->data), packet->size);
            break;
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&input);
    return data;
}

// Frames an MP3 cut carries before its start for the decoder (4624 samples at most).
constexpr double kMp3PreRollSec = 4624 / 44100.0;

class CutJobTest : public ::testing::Test {
  protected:
    TempDir dir;
    Fixtures fixtures{dir.path()};
    MediaJob job;

    void Cut(const fs::path& in, const fs::path& out, double start, double end) {
        PrepareCut(job, in, out, start, end);
        RunJob(job);
    }
    void ExpectSucceeded() {
        EXPECT_EQ(job.fileStatus[0], kInputDone);
        EXPECT_EQ(job.currentIndex, 1);
    }
};

TEST_F(CutJobTest, TenToTwentySecondsOfMp3StartsAtZeroWithoutTags) {
    fs::path source = MakeTone(dir.path(), "tagged.mp3", 30.0, 44100, 2,
                               "-c:a libmp3lame -b:a 128k -metadata title=Song -metadata "
                               "artist=Someone");
    ASSERT_TRUE(Ffprobe(source).hasTags);
    fs::path out = dir / "cut.mp3";
    Cut(source, out, 10.0, 20.0);
    ExpectSucceeded();
    ProbeInfo info = Ffprobe(out);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.codecName, "mp3");
    // FFmpeg counts every frame, also those before the start that the Info header's
    // encoder delay drops (it reports them as the start time).
    EXPECT_GE(info.durationSec, 10.0 - 0.03);
    EXPECT_LE(info.durationSec, 10.0 + kMp3PreRollSec + 0.0262);
    EXPECT_LT(info.startTimeSec, kMp3PreRollSec);
    EXPECT_FALSE(info.hasTags);
    PacketTimes packets = FfprobePackets(out);
    ASSERT_FALSE(packets.pts.empty());
    EXPECT_NEAR(packets.pts.front(), 0.0, 0.03);
    EXPECT_GT(job.progressPercent, 90);
    EXPECT_LE(job.progressPercent, 100);
    // Our own probe reads the exact length from the Info header.
    MediaJob probe;
    ASSERT_EQ(ProbeFile(probe, out), ProbeResult::Usable);
    EXPECT_NEAR(probe.probeDurationUs / 1e6, 10.0, 0.0005);
}

TEST_F(CutJobTest, WholeFileCopyReproducesThePackets) {
    fs::path source = fixtures.Mp3(3.0);
    fs::path out = dir / "copy.mp3";
    Cut(source, out, 0.0, 100.0);
    ExpectSucceeded();
    PacketTimes in = FfprobePackets(source), copied = FfprobePackets(out);
    ASSERT_FALSE(in.pts.empty());
    ASSERT_EQ(in.pts.size(), copied.pts.size());
    for (size_t i = 0; i < in.pts.size(); ++i) {
        EXPECT_NEAR(in.pts[i], copied.pts[i], 1e-4) << "packet " << i;
        EXPECT_NEAR(in.duration[i], copied.duration[i], 1e-4) << "packet " << i;
    }
    const std::vector<std::string> inHashes = PacketHashes(source);
    EXPECT_EQ(inHashes.size(), in.pts.size());
    EXPECT_EQ(PacketHashes(out), inHashes) << "the packets' contents differ";
    EXPECT_NEAR(Ffprobe(out).durationSec, Ffprobe(source).durationSec, 0.03);
}

// Offset of the first MPEG audio frame of an MP3: after an ID3v2 tag, at the first
// frame sync; npos when there is none.
std::size_t FirstFrameOffset(const std::string& bytes) {
    for (std::size_t at = Id3TagSize(bytes); at + 1 < bytes.size(); ++at) {
        if (static_cast<unsigned char>(bytes[at]) == 0xFF &&
            (static_cast<unsigned char>(bytes[at + 1]) & 0xE0) == 0xE0)
            return at;
    }
    return std::string::npos;
}

TEST_F(CutJobTest, VariableBitRateMp3CutGetsItsOwnLengthHeader) {
    // Noise and silence in turn, so the encoder's frame sizes really vary.
    fs::path source = dir / "vbr.mp3";
    ASSERT_TRUE(
        RunFfmpeg("-f lavfi -i \"anoisesrc=d=8:a=0.5,"
                  "volume='if(lt(mod(t,2),1),1,0.001)':eval=frame\" "
                  "-ar 44100 -ac 2 -c:a libmp3lame -q:a 2",
                  source));
    fs::path out = dir / "vbr-cut.mp3";
    Cut(source, out, 2.0, 6.0);
    ExpectSucceeded();
    PacketTimes packets = FfprobePackets(out);
    ASSERT_FALSE(packets.pts.empty());
    const double written = packets.pts.back() + packets.duration.back() - packets.pts.front();
    EXPECT_NEAR(written, 4.0 + kMp3PreRollSec / 2, 0.1);
    // The length the file tells of itself comes from its own header, not from the
    // source's, nor from an estimate by the first frame's bit rate.
    EXPECT_NEAR(Ffprobe(out).durationSec, 4.0 + kMp3PreRollSec / 2, 0.1);
    const std::string bytes = ReadFileBytes(out);
    const std::size_t frame = FirstFrameOffset(bytes);
    ASSERT_NE(frame, std::string::npos);
    const std::string head = bytes.substr(frame, 200);
    EXPECT_TRUE(head.find("Xing") != std::string::npos || head.find("Info") != std::string::npos)
        << "the first frame is no Xing/Info frame";
}

TEST_F(CutJobTest, StartZeroBeginsWithTheFirstPacket) {
    fs::path source = fixtures.Mp3(3.0);
    fs::path out = dir / "head.mp3";
    Cut(source, out, 0.0, 1.0);
    ExpectSucceeded();
    std::string first = FirstPacketData(source);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(FirstPacketData(out), first);
    // The last packet written is the first that reaches the length.
    EXPECT_GE(Ffprobe(out).durationSec, 1.0);
    EXPECT_LE(Ffprobe(out).durationSec, 1.0 + 2 * 0.0262);
}

TEST_F(CutJobTest, RangesWithoutAudioFailAndLeaveNoFile) {
    struct Case {
        fs::path source;
        std::string outName;
        double start, end;
    };
    const fs::path wav = fixtures.Wav(3.0);
    const fs::path mp3 = fixtures.Mp3(3.0);
    for (const Case& c : {Case{wav, "equal.wav", 1.0, 1.0}, Case{mp3, "backwards.mp3", 2.0, 1.0},
                          Case{wav, "past.wav", 5.0, 6.0}, Case{mp3, "at_end.mp3", 3.0, 3.0},
                          Case{fixtures.Ogg(3.0), "past.ogg", 4.0, 9.0}}) {
        SCOPED_TRACE(c.outName);
        MediaJob cut;
        const fs::path out = dir / c.outName;
        PrepareCut(cut, c.source, out, c.start, c.end);
        RunJob(cut);
        EXPECT_EQ(cut.fileStatus[0], kInputFailed);
        EXPECT_EQ(cut.failureCode, kErrorNoAudioInRange);
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST_F(CutJobTest, FormatsKeepTheirContainerAndTellTheCutLength) {
    struct Case {
        fs::path source;
        std::string outName, codec;
        double maxPacket;
    };
    for (const Case& c : {Case{fixtures.Wav(5.0), "cut.wav", "pcm_s16le", 0.03},
                          Case{fixtures.Flac(5.0), "cut.flac", "flac", 0.11},
                          Case{fixtures.M4a(5.0), "cut.m4a", "aac", 0.03},
                          Case{fixtures.Ogg(5.0), "cut.ogg", "vorbis", 0.05}}) {
        SCOPED_TRACE(c.outName);
        MediaJob cut;
        fs::path out = dir / c.outName;
        PrepareCut(cut, c.source, out, 1.0, 2.5);
        RunJob(cut);
        EXPECT_EQ(cut.fileStatus[0], kInputDone);
        ProbeInfo info = Ffprobe(out);
        ASSERT_TRUE(info.ok);
        EXPECT_EQ(info.codecName, c.codec);
        EXPECT_GE(info.durationSec, 1.5 - 0.03);
        EXPECT_LE(info.durationSec, 1.5 + 3 * c.maxPacket);
        MediaJob probe;
        ASSERT_EQ(ProbeFile(probe, out), ProbeResult::Usable);
        EXPECT_NEAR(probe.probeEndUs / 1e6, info.durationSec, 0.05);
    }
}

TEST_F(CutJobTest, FlacCutCarriesItsOwnSampleCount) {
    fs::path out = dir / "part.flac";
    Cut(fixtures.Flac(5.0), out, 0.0, 2.0);
    ExpectSucceeded();
    std::string output;
    ASSERT_EQ(RunCommand("ffprobe -v error -select_streams a:0 -show_entries "
                         "stream=duration_ts -of csv=p=0 " +
                             ShellQuote(out.string()),
                         &output),
              0);
    long samples = std::atol(output.c_str());
    EXPECT_GE(samples, 2 * 44100);
    EXPECT_LE(samples, 2 * 44100 + 2 * 4608);
}

TEST_F(CutJobTest, DiscontinuousTimestampsArePositionedByTime) {
    fs::path source = MakeTone(dir.path(), "tone.ts", 6.0, 44100, 2, "-c:a mp2 -b:a 192k");
    fs::path out = dir / "cut.ts";
    Cut(source, out, 3.0, 4.0);
    ExpectSucceeded();
    EXPECT_EQ(job.seekByBytes, 0);
    ProbeInfo info = Ffprobe(out);
    EXPECT_EQ(info.codecName, "mp2");
    EXPECT_NEAR(info.durationSec, 1.0, 0.2);
}

// Raw samples of a file's first audio stream as `format` (s16le, u8 ...), decoded by ffmpeg.
std::string DecodedSamples(const fs::path& file, const std::string& format) {
    std::string samples;
    RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file.string()) + " -map 0:a:0 -f " +
                   format + " -",
               &samples);
    return samples;
}

TEST_F(CutJobTest, PcmCutsHoldExactlyTheAskedSamples) {
    struct Case {
        std::string name, codec, format;
        int rate, channels, bytesPerFrame;
    };
    struct Range {
        double start, end;
    };
    const Range ranges[] = {{0.0005, 0.25}, {1.2345, 2.3456}, {2.9, 3.0}, {1.5, 1.501}};
    for (const Case& c : {Case{"s16.wav", "pcm_s16le", "s16le", 44100, 2, 4},
                          Case{"u8.wav", "pcm_u8", "u8", 8000, 1, 1}}) {
        const fs::path source = dir / c.name;
        ASSERT_TRUE(RunFfmpeg("-f lavfi -i anoisesrc=d=3:c=pink:r=" + std::to_string(c.rate) +
                                  " -ac " + std::to_string(c.channels) + " -c:a " + c.codec,
                              source));
        const std::string all = DecodedSamples(source, c.format);
        for (const Range& r : ranges) {
            SCOPED_TRACE(c.name + " " + std::to_string(r.start) + "-" + std::to_string(r.end));
            MediaJob cut;
            const fs::path out = dir / ("cut_" + std::to_string(r.start) + c.name);
            PrepareCut(cut, source, out, r.start, r.end);
            RunJob(cut);
            ASSERT_EQ(cut.fileStatus[0], kInputDone);
            const auto first = static_cast<std::size_t>(std::llround(r.start * c.rate));
            const auto last = static_cast<std::size_t>(std::llround(r.end * c.rate));
            const std::string expected =
                all.substr(first * c.bytesPerFrame, (last - first) * c.bytesPerFrame);
            const std::string got = DecodedSamples(out, c.format);
            EXPECT_EQ(got.size(), expected.size());
            EXPECT_TRUE(got == expected) << "the cut's samples differ from the source's";
        }
    }
}

TEST_F(CutJobTest, CompressedCutsCoverTheAskedStretch) {
    struct Case {
        fs::path source;
        std::string outName;
        double maxPacket;
    };
    for (const Case& c : {Case{fixtures.Mp3(5.0), "cover.mp3", 0.027},
                          Case{fixtures.Flac(5.0), "cover.flac", 0.105},
                          Case{fixtures.M4a(5.0), "cover.m4a", 0.024},
                          Case{fixtures.Ogg(5.0), "cover.ogg", 0.05}}) {
        SCOPED_TRACE(c.outName);
        MediaJob cut;
        const fs::path out = dir / c.outName;
        PrepareCut(cut, c.source, out, 1.7, 3.3);
        RunJob(cut);
        ASSERT_EQ(cut.fileStatus[0], kInputDone);
        // At most one packet more at each end, and the decoder's own delay.
        const double decoded =
            static_cast<double>(DecodedSamples(out, "s16le").size()) / (44100.0 * 4);
        EXPECT_GE(decoded, 1.6 - 0.002);
        EXPECT_LE(decoded, 1.6 + 2 * c.maxPacket + 0.03);
    }
}

TEST_F(CutJobTest, EndPastTheEndTakesTheRest) {
    fs::path out = dir / "rest.mp3";
    Cut(fixtures.Mp3(3.0), out, 1.0, 100.0);
    ExpectSucceeded();
    EXPECT_GE(Ffprobe(out).durationSec, 2.0 - 0.03);
    EXPECT_LE(Ffprobe(out).durationSec, 2.0 + kMp3PreRollSec + 0.03);
}

TEST_F(CutJobTest, MislabelledAacIsCutIntoAacAndTheSourceStaysUntouched) {
    fs::path source = fixtures.AacNamedMp3();
    const std::string before = ReadFileBytes(source);
    fs::path out = dir / "aac_inside_cut.aac";
    Cut(source, out, 0.5, 2.0);
    ExpectSucceeded();
    EXPECT_EQ(ReadFileBytes(source), before);
    ProbeInfo info = Ffprobe(out);
    EXPECT_EQ(info.formatName, "aac");
    EXPECT_EQ(info.codecName, "aac");
    MediaJob probe;
    EXPECT_EQ(ProbeFile(probe, out), ProbeResult::Usable);
}

TEST_F(CutJobTest, OtherMislabelledSourcesAreCutIntoTheirTrueContainer) {
    struct Case {
        fs::path source;
        std::string outName, codec;
    };
    for (const Case& c : {Case{fixtures.Mp2NamedMp3(), "m.mp2", "mp2"},
                          Case{fixtures.PcmNamedMp3(true), "p.wav", "pcm_s16le"},
                          Case{fixtures.FlacNamedMp3(), "f.flac", "flac"}}) {
        SCOPED_TRACE(c.outName);
        const std::string before = ReadFileBytes(c.source);
        MediaJob cut;
        fs::path out = dir / c.outName;
        PrepareCut(cut, c.source, out, 1.0, 2.0);
        RunJob(cut);
        EXPECT_EQ(cut.fileStatus[0], kInputDone);
        EXPECT_EQ(ReadFileBytes(c.source), before);
        ProbeInfo info = Ffprobe(out);
        EXPECT_EQ(info.codecName, c.codec);
        EXPECT_GE(info.durationSec, 1.0 - 0.03);
        EXPECT_LE(info.durationSec, 1.0 + 3 * 0.105);  // FLAC frames are the longest
    }
}

TEST_F(CutJobTest, ExistingOutputIsNeverOverwritten) {
    fs::path out = dir / "taken.mp3";
    std::ofstream(out) << "keep me";
    std::ofstream(dir / "taken(0).mp3") << "and me";
    Cut(fixtures.Mp3(3.0), out, 0.0, 1.0);
    // A name taken since it was chosen gives way to the next free one.
    EXPECT_EQ(job.fileStatus[0], kInputDone);
    EXPECT_EQ(ReadFileBytes(out), "keep me");
    EXPECT_EQ(ReadFileBytes(dir / "taken(0).mp3"), "and me");
    EXPECT_EQ(job.outputNames[0], (dir / "taken(1).mp3").string());
    EXPECT_EQ(Ffprobe(dir / "taken(1).mp3").codecName, "mp3");
}

TEST_F(CutJobTest, UnknownOutputExtensionFailsWithoutFile) {
    fs::path out = dir / "cut.nosuchformat";
    Cut(fixtures.Mp3(3.0), out, 0.0, 1.0);
    EXPECT_EQ(job.fileStatus[0], kInputFailed);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(CutJobTest, BadInputsFailWithoutOutput) {
    // Whatever the demuxer makes of garbage, it is an error (0: any error will do).
    struct Case {
        fs::path source;
        int error;
    };
    for (const Case& c : {Case{fixtures.Garbage(), 0}, Case{fixtures.Empty(), 0},
                          Case{dir / "missing.mp3", AVERROR(ENOENT)}}) {
        SCOPED_TRACE(c.source.filename().string());
        MediaJob cut;
        fs::path out = dir / ("out_" + c.source.stem().string() + ".mp3");
        PrepareCut(cut, c.source, out, 0.0, 1.0);
        RunJob(cut);
        EXPECT_EQ(cut.fileStatus[0], kInputFailed);
        EXPECT_FALSE(fs::exists(out));
        EXPECT_LT(cut.failureCode, 0);
        if (c.error != 0) {
            EXPECT_EQ(cut.failureCode, c.error);
            EXPECT_EQ(cut.failureStep, JobStep::OpeningInput);
        }
        EXPECT_FALSE(cut.failureOnOutput) << "the input is to blame";
    }
}

TEST_F(CutJobTest, TruncatedSourceEndsEarlyAndSucceeds) {
    fs::path out = dir / "short.mp3";
    Cut(fixtures.Truncated(), out, 0.0, 2.0);
    ExpectSucceeded();
    EXPECT_TRUE(Ffprobe(out).ok);
}

// Mounts a tmpfs of `size` on `dir`; false where mounting is not allowed.
bool MountSmallDisk(const fs::path& dir, const char* size) {
    fs::create_directories(dir);
    std::string options = std::string("size=") + size;
    return ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

TEST_F(CutJobTest, FullDiskFailsAndLeavesNoOutput) {
    fs::path source = fixtures.Wav(10.0);  // about 1.7 MB
    fs::path disk = dir / "disk";
    if (!MountSmallDisk(disk, "200k"))
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    fs::path out = disk / "cut.wav";
    Cut(source, out, 0.0, 10.0);
    EXPECT_EQ(job.fileStatus[0], kInputFailed);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(job.failureCode, AVERROR(ENOSPC));
    EXPECT_TRUE(job.failureOnOutput);
    // The same record used again starts without the old failure.
    Cut(source, dir / "fits.wav", 0.0, 1.0);
    ExpectSucceeded();
    EXPECT_EQ(job.failureCode, 0);
    EXPECT_FALSE(job.failureOnOutput);
    EXPECT_EQ(job.failureStep, JobStep::None);
    ::umount(disk.c_str());
}

TEST_F(CutJobTest, FileSizeLimitFailsAndLeavesNoOutput) {
    fs::path source = fixtures.Wav(10.0);
    fs::path out = dir / "limited.wav";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{100 * 1024, 100 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        MediaJob cut;
        PrepareCut(cut, source, out, 0.0, 10.0);
        RunJob(cut);
        if (cut.fileStatus[0] != kInputFailed)
            _exit(1);
        _exit(cut.failureCode == AVERROR(EFBIG) && cut.failureOnOutput ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the job did not fail, 2: not blamed on the output";
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace
}  // namespace tolvane::testing

namespace tolvane::testing {
namespace {

// The probe reports the length a cut states: the MP3 Info header's frames less delay
// and padding, the M4A edit list (the movie's duration covers the priming as well).
TEST_F(CutJobTest, ProbeReportsTheLengthTheCutStates) {
    const struct {
        fs::path source;
        const char* name;
    } cases[] = {{fixtures.Mp3(3.0), "stated.mp3"}, {fixtures.M4a(3.0), "stated.m4a"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Cut(c.source, dir / c.name, 0.5, 2.0);
        ASSERT_EQ(job.fileStatus[0], kInputDone);
        MediaJob probe;
        ASSERT_EQ(ProbeFile(probe, dir / c.name), ProbeResult::Usable);
        EXPECT_NEAR(probe.probeDurationUs / 1e6, 1.5, 0.0005);
    }
}

}  // namespace
}  // namespace tolvane::testing
