// Joins in re-encode mode: every input whole, one MP3 at the job's parameters, one
// continuous timeline.

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <algorithm>
#include <fstream>

#include "JobTestSupport.h"

namespace tolvane::testing {
namespace {

class JoinJobTest : public ::testing::Test {
  protected:
    TempDir dir;
    Fixtures fixtures{dir.path()};
    MediaJob job;
};

// Samples of a file as ffmpeg decodes it (one channel), so encoder padding counts
// the way a player hears it.
long DecodedSamples(const fs::path& file) {
    std::string output;
    RunCommand(
        "ffmpeg -nostdin -v error -i " + ShellQuote(file.string()) + " -ac 1 -f s16le - | wc -c",
        &output);
    return std::atol(output.c_str()) / 2;
}

// Samples per channel mpg123 decodes from an MP3; -1 when it fails.
long Mpg123Samples(const fs::path& file, int channels) {
    std::string output;
    if (RunCommand("mpg123 -q -s " + ShellQuote(file.string()) + " | wc -c", &output) != 0)
        return -1;
    return std::atol(output.c_str()) / (2 * channels);
}

// Zeroes the bytes from `from` to `to` (fractions of the file's size).
void ZeroStretch(const fs::path& file, double from, double to) {
    std::string bytes = ReadFileBytes(file);
    const auto begin = static_cast<size_t>(static_cast<double>(bytes.size()) * from);
    const auto end = static_cast<size_t>(static_cast<double>(bytes.size()) * to);
    std::fill(bytes.begin() + static_cast<long>(begin), bytes.begin() + static_cast<long>(end),
              '\0');
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

void ExpectContinuousTimeline(const fs::path& file) {
    PacketTimes packets = FfprobePackets(file);
    ASSERT_GT(packets.pts.size(), 2u);
    EXPECT_NEAR(packets.pts.front(), 0.0, 1e-6);
    for (size_t i = 1; i < packets.pts.size(); ++i) {
        ASSERT_NEAR(packets.pts[i], packets.pts[i - 1] + packets.duration[i - 1], 1e-4)
            << "gap or overlap before packet " << i;
    }
}

TEST_F(JoinJobTest, ThreeShortInputsFollowEachOther) {
    std::vector<fs::path> inputs = {MakeTone(dir.path(), "a.wav", 2.6, 44100, 2, "-c:a pcm_s16le"),
                                    MakeTone(dir.path(), "b.wav", 2.6, 44100, 2, "-c:a pcm_s16le"),
                                    MakeTone(dir.path(), "c.wav", 2.6, 44100, 2, "-c:a pcm_s16le")};
    fs::path out = dir / "joined.mp3";
    PrepareJoin(job, inputs, out, {2.6, 2.6, 2.6});
    EXPECT_EQ(job.totalLengthSec, 6);
    RunJob(job);
    EXPECT_EQ(job.currentIndex, 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(job.fileStatus[k], kInputDone);
    EXPECT_EQ(job.lengthSec[2], 6.0);
    EXPECT_EQ(job.progressPercent, 100);  // 7.8 s written against 6 s
    ProbeInfo info = Ffprobe(out);
    EXPECT_EQ(info.codecName, "mp3");
    EXPECT_NEAR(info.durationSec, 7.8, 0.1);
    ExpectContinuousTimeline(out);
}

TEST_F(JoinJobTest, MixedRatesAndFormatsBecomeOneMp3OfTheSum) {
    std::vector<fs::path> inputs = {
        MakeTone(dir.path(), "mono22.mp3", 2.0, 22050, 1, "-c:a libmp3lame -b:a 64k"),
        MakeTone(dir.path(), "stereo44.flac", 1.5, 44100, 2, "-c:a flac"),
        MakeTone(dir.path(), "pcm16.wav", 2.5, 44100, 2, "-c:a pcm_s16le")};
    double sum = 0;
    for (const auto& in : inputs)
        sum += Ffprobe(in).durationSec;
    fs::path out = dir / "mixed.mp3";
    PrepareJoin(job, inputs, out, {2.0, 1.5, 2.5}, 192000, 44100, 2);
    RunJob(job);
    EXPECT_EQ(job.currentIndex, 3);
    ProbeInfo info = Ffprobe(out);
    EXPECT_EQ(info.codecName, "mp3");
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_NEAR(info.bitRate, 192000, 8000);
    EXPECT_NEAR(info.durationSec, sum, 0.1);
    EXPECT_NEAR(DecodedSamples(out) / 44100.0, sum, 0.1);
    ExpectContinuousTimeline(out);
}

TEST_F(JoinJobTest, EncoderParametersComeFromTheJob) {
    std::vector<fs::path> inputs = {fixtures.Wav(2.0), fixtures.M4a(2.0)};
    fs::path out = dir / "small.mp3";
    PrepareJoin(job, inputs, out, {2.0, 2.0}, 64000, 22050, 1);
    RunJob(job);
    EXPECT_EQ(job.currentIndex, 2);
    ProbeInfo info = Ffprobe(out);
    EXPECT_EQ(info.sampleRate, 22050);
    EXPECT_EQ(info.channels, 1);
    EXPECT_NEAR(info.bitRate, 64000, 4000);
    EXPECT_NEAR(info.durationSec, 4.0, 0.1);
}

TEST_F(JoinJobTest, NoSampleIsLostAtTheEndOfAnInput) {
    // 10 000 samples: not a multiple of the 1152-sample MP3 frame.
    fs::path input = dir / "short.wav";
    ASSERT_TRUE(
        RunFfmpeg("-f lavfi -i \"sine=frequency=440:sample_rate=44100\" -ac 2 "
                  "-af atrim=end_sample=10000 -c:a pcm_f32le",
                  input));
    ASSERT_EQ(DecodedSamples(input), 10000);
    fs::path out = dir / "short.mp3";
    PrepareJoin(job, {input, input}, out, {0.2, 0.2});
    RunJob(job);
    EXPECT_EQ(job.currentIndex, 2);
    const long samples = DecodedSamples(out);
    EXPECT_GE(samples, 20000);
    EXPECT_LE(samples, 20000 + 3 * 1152);
}

TEST_F(JoinJobTest, FloatSamplesThatAreNoNumberBecomeSilence) {
    // NaN, infinity and an absurd peak once made the MP3 encoder abort the process.
    fs::path input = dir / "nan.wav";
    ASSERT_TRUE(
        RunFfmpeg("-f lavfi -i \"aevalsrc='if(between(t,0.2,0.3),log(-1),"
                  "if(between(t,0.4,0.5),1/0,if(between(t,0.6,0.7),-1e10,"
                  "sin(2*PI*440*t))))':s=22050:d=1\" -c:a pcm_f32le",
                  input));
    fs::path out = dir / "nan.mp3";
    PrepareJoin(job, {input, input}, out, {1.0, 1.0}, 64000, 22050, 1);
    RunJob(job);
    EXPECT_EQ(job.currentIndex, 2);
    EXPECT_EQ(Mpg123Samples(out, 1), 44100);
}

TEST_F(JoinJobTest, GarbageSecondInputStopsTheJob) {
    std::vector<fs::path> inputs = {fixtures.Wav(1.0), fixtures.Garbage(), fixtures.Mp3(1.0)};
    fs::path out = dir / "broken.mp3";
    PrepareJoin(job, inputs, out, {1.0, 1.0, 1.0});
    RunJob(job);
    EXPECT_EQ(job.fileStatus[0], kInputDone);
    EXPECT_EQ(job.fileStatus[1], kInputFailed);
    EXPECT_EQ(job.fileStatus[2], kInputPending);
    EXPECT_EQ(job.currentIndex, 1);
    EXPECT_FALSE(fs::exists(out)) << "a failed job's output is not a result";
}

TEST_F(JoinJobTest, BadInputsNeverCrash) {
    for (const fs::path& bad : {fixtures.Empty(), fixtures.Truncated(), fixtures.Garbage(),
                                fixtures.UnknownDuration(), fixtures.Mp3WithCover()}) {
        SCOPED_TRACE(bad.filename().string());
        MediaJob join;
        fs::path out = dir / ("join_" + bad.stem().string() + ".mp3");
        PrepareJoin(join, {bad, fixtures.Wav(1.0)}, out, {1.0, 1.0});
        RunJob(join);
        const bool failed = join.fileStatus[0] == kInputFailed;
        EXPECT_EQ(failed, !fs::exists(out));
        if (!failed) {
            EXPECT_TRUE(Ffprobe(out).ok);
        }
    }
}

TEST_F(JoinJobTest, ZeroTotalLengthGivesDefinedProgress) {
    std::vector<fs::path> inputs = {fixtures.Wav(0.4), fixtures.Wav(0.4)};
    fs::path out = dir / "tiny.mp3";
    PrepareJoin(job, inputs, out, {0.4, 0.4});
    ASSERT_EQ(job.totalLengthSec, 0);
    RunJob(job);
    EXPECT_EQ(job.currentIndex, 2);
    EXPECT_EQ(job.progressPercent, 0);
}

TEST_F(JoinJobTest, FullDiskFailsAndLeavesNoOutput) {
    std::vector<fs::path> inputs = {fixtures.Wav(10.0), fixtures.Wav(10.0)};
    fs::path disk = dir / "disk";
    fs::create_directories(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=100k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    fs::path out = disk / "joined.mp3";
    PrepareJoin(job, inputs, out, {10.0, 10.0});
    RunJob(job);
    bool anyFailed = job.fileStatus[0] == kInputFailed || job.fileStatus[1] == kInputFailed;
    EXPECT_TRUE(anyFailed);
    EXPECT_FALSE(fs::exists(out));
    ::umount(disk.c_str());
}

// A FLAC input with a damaged stretch: its damaged frames are skipped and the join
// holds every sample FFmpeg's decoder gives of each input, wherever the damaged file is.
struct DamagedFlacCase {
    const char* name;
    double from;  // damaged stretch, fractions of the file
    double to;
    int rate;  // of the damaged FLAC
    int channels;
    int position;  // of the damaged FLAC among three inputs
};

class DamagedFlacJoin : public JoinJobTest,
                        public ::testing::WithParamInterface<DamagedFlacCase> {};

TEST_P(DamagedFlacJoin, SkipsTheDamagedFramesAndKeepsTheRest) {
    const DamagedFlacCase& c = GetParam();
    fs::path damaged = MakeTone(dir.path(), "damaged.flac", 4.0, c.rate, c.channels, "-c:a flac");
    const long wholeSamples = FrameSamples(damaged);
    ZeroStretch(damaged, c.from, c.to);
    const long damagedSamples = FrameSamples(damaged);
    ASSERT_GT(damagedSamples, 0);
    ASSERT_LT(damagedSamples, wholeSamples) << "the fixture lost no frame";

    fs::path wav = MakeTone(dir.path(), "tone.wav", 2.0, 44100, 2, "-c:a pcm_s16le");
    std::vector<fs::path> inputs = {wav, wav, wav};
    inputs[c.position] = damaged;
    fs::path out = dir / "joined.mp3";
    PrepareJoin(job, inputs, out, {2.0, 2.0, 2.0});
    RunJob(job);
    EXPECT_EQ(job.failureCode, 0);
    ASSERT_EQ(job.currentIndex, 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(job.fileStatus[k], kInputDone);

    // The damaged input counts at the output's rate; the resampler may round by a sample.
    const long expected = 2 * FrameSamples(wav) + damagedSamples * 44100 / c.rate;
    EXPECT_NEAR(FrameSamples(out), expected, c.rate == 44100 ? 0 : 2);
    EXPECT_NEAR(Mpg123Samples(out, 2), expected, c.rate == 44100 ? 0 : 2)
        << "mpg123 decodes the join whole";
    ExpectContinuousTimeline(out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedFlacJoin,
    ::testing::Values(DamagedFlacCase{"middle_of_a_middle_input", 0.40, 0.55, 44100, 2, 1},
                      DamagedFlacCase{"first_input_near_its_start", 0.05, 0.15, 44100, 2, 0},
                      DamagedFlacCase{"last_input_near_its_end", 0.80, 0.95, 44100, 2, 2},
                      DamagedFlacCase{"mono_22k_resampled", 0.40, 0.55, 22050, 1, 1}),
    [](const ::testing::TestParamInfo<DamagedFlacCase>& info) { return info.param.name; });

}  // namespace
}  // namespace tolvane::testing
