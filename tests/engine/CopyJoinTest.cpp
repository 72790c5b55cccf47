// Joins without re-encoding, and the removal of a stretch (the parts around it joined
// the same way): decoded outputs against the decoded inputs, seams, refusals.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <span>

#include "CutPrecision.h"
#include "JobTestSupport.h"
#include "engine/copy/CopyJoinCheck.h"
#include "engine/cut/Mp3InfoFrame.h"
#include "engine/job/JobBuilders.h"

namespace tolvane::testing {
namespace {

constexpr int kRate = 44100;

// Band-limited noise (no period, so a misplaced stretch shows), `seed` per input.
fs::path MakeNoise(const fs::path& dir, const std::string& name, double seconds, int seed,
                   const std::string& codecArgs, int rate = kRate, int channels = 2) {
    const std::string source =
        "-f lavfi -i \"anoisesrc=d=" + std::to_string(seconds) +
        ":a=0.3:seed=" + std::to_string(seed) + ":r=" + std::to_string(rate) +
        ",lowpass=f=" + std::to_string(rate / 8) + "\" -ac " + std::to_string(channels) + " ";
    return RunFfmpeg(source + codecArgs, dir / name) ? dir / name : fs::path();
}

double LengthOf(const fs::path& file) {
    MediaJob probe;
    return ProbeFile(probe, file) == ProbeResult::Usable ? probe.probeDurationUs / 1e6 : 0.0;
}

// Stereo s16 samples as FFmpeg decodes them.
std::string Decoded(const fs::path& file) {
    return FfmpegRawSamples(file, "s16le");
}

constexpr std::size_t kFrameBytes = 4;  // one stereo s16 sample

std::string Samples(const std::string& raw, long from, long to) {
    const std::size_t begin = std::min(raw.size(), static_cast<std::size_t>(from) * kFrameBytes);
    const std::size_t end =
        to < 0 ? raw.size() : std::min(raw.size(), static_cast<std::size_t>(to) * kFrameBytes);
    return raw.substr(begin, end > begin ? end - begin : 0);
}

// Samples equal at the start of both (from the end with `fromEnd`).
long SameSamples(const std::string& a, const std::string& b, bool fromEnd) {
    const std::size_t n = std::min(a.size(), b.size()) / kFrameBytes;
    long same = 0;
    for (std::size_t k = 0; k < n; ++k, ++same) {
        const std::size_t ai = fromEnd ? a.size() - (k + 1) * kFrameBytes : k * kFrameBytes;
        const std::size_t bi = fromEnd ? b.size() - (k + 1) * kFrameBytes : k * kFrameBytes;
        if (std::memcmp(a.data() + ai, b.data() + bi, kFrameBytes) != 0)
            break;
    }
    return same;
}

bool RunCopyJoin(MediaJob& job, const std::vector<fs::path>& inputs, const fs::path& output) {
    std::vector<JoinRange> ranges;
    for (const fs::path& input : inputs)
        ranges.push_back({input.string(), 0.0, LengthOf(input)});
    PrepareCopyJoinJob(job, ranges, output.string());
    RunJob(job);
    return job.currentIndex.load() == static_cast<int>(inputs.size()) &&
           job.failureCode.load() == 0;
}

bool RunRemove(MediaJob& job, const fs::path& input, const fs::path& output, double start,
               double end) {
    PrepareRemoveJob(job, input.string(), output.string(), start, end, LengthOf(input));
    RunJob(job);
    return job.failureCode.load() == 0 && job.fileStatus[0].load() == kInputDone;
}

// Audio packets of a file (lines of side data left out).
std::size_t PacketCount(const fs::path& file) {
    std::string output;
    RunCommand("ffprobe -v error -select_streams a:0 -show_entries packet=size -of csv=p=0 " +
                   ShellQuote(file.string()) + " | grep -c '^[0-9]'",
               &output);
    return static_cast<std::size_t>(std::atol(output.c_str()));
}

std::optional<Mp3InfoTag> InfoTagOf(const fs::path& file) {
    const std::string bytes = ReadFileBytes(file);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t at = Mp3AudioOffset(data, bytes.size());
    return at < bytes.size() ? ReadMp3InfoFrame(data + at, bytes.size() - at) : std::nullopt;
}

struct Format {
    std::string extension;
    std::string codecArgs;
    bool exact;        // PCM, FLAC: the decoded output is the inputs' audio, sample for sample
    long seamSamples;  // lossy: what one seam may add or lose, at most
};

void PrintTo(const Format& f, std::ostream* os) {
    *os << f.extension;
}

const Format kFormats[] = {
    {"wav", "-c:a pcm_s16le", true, 0},
    {"flac", "-c:a flac -sample_fmt s16", true, 0},
    {"mp3", "-c:a libmp3lame -b:a 128k", false, 2205},  // padding and delay: 50 ms
    {"m4a", "-c:a aac -b:a 128k", false, 2 * 1024},
    {"opus", "-c:a libopus -b:a 96k", false, 960 + 312},
    {"ogg", "-c:a libvorbis -q:a 4", false, 2048},
};

// Ogg Opus and Vorbis here as one stream, which every reader plays whole (OggChains
// below: chained, the default).
class CopyJoinFormats : public ::testing::TestWithParam<Format> {
  protected:
    void SetUp() override { job.chainOggStreams = false; }
    TempDir dir;
    MediaJob job;
    // Three inputs of unlike lengths.
    std::vector<fs::path> Inputs() {
        std::vector<fs::path> inputs;
        const double seconds[] = {1.01, 1.73, 0.47};
        for (int k = 0; k < 3; ++k)
            inputs.push_back(MakeNoise(dir.path(),
                                       "in" + std::to_string(k) + "." + GetParam().extension,
                                       seconds[k], k + 1, GetParam().codecArgs));
        return inputs;
    }
};

TEST_P(CopyJoinFormats, DecodesAsTheInputsBackToBack) {
    const std::vector<fs::path> inputs = Inputs();
    const fs::path output = dir / ("joined." + GetParam().extension);
    ASSERT_TRUE(RunCopyJoin(job, inputs, output));
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(job.fileStatus[static_cast<std::size_t>(k)].load(), kInputDone);
    std::string inputsDecoded;
    std::size_t packets = 0;
    for (const fs::path& input : inputs) {
        inputsDecoded += Decoded(input);
        packets += PacketCount(input);
    }
    const std::string joined = Decoded(output);
    EXPECT_EQ(Ffprobe(output).codecName, Ffprobe(inputs[0]).codecName);
    if (GetParam().exact) {
        EXPECT_TRUE(joined == inputsDecoded) << joined.size() << " vs " << inputsDecoded.size();
        return;
    }
    // Every packet once; a Vorbis stream's last packet goes when its final granule
    // position ends the audio before it.
    EXPECT_LE(PacketCount(output), packets);
    EXPECT_GE(PacketCount(output) + 1, packets);
    EXPECT_NEAR(static_cast<double>(joined.size() / kFrameBytes),
                static_cast<double>(inputsDecoded.size() / kFrameBytes),
                static_cast<double>(2 * GetParam().seamSamples));
}

// Removes at the file's start and end (plain cuts of the rest), inside, and inside one
// packet (a millisecond).
struct Removal {
    double start, end;
};
const Removal kRemovals[] = {{0.0, 0.8}, {1.3, 2.0}, {0.6, 1.45}, {1.0, 1.001}};

TEST_P(CopyJoinFormats, RemovedStretchLeavesTheRest) {
    const fs::path source =
        MakeNoise(dir.path(), "src." + GetParam().extension, 2.0, 9, GetParam().codecArgs);
    const std::string decoded = Decoded(source);
    const int rate = Ffprobe(source).sampleRate;
    int n = 0;
    for (const Removal& r : kRemovals) {
        SCOPED_TRACE(std::to_string(r.start) + "-" + std::to_string(r.end));
        const fs::path output = dir / ("out" + std::to_string(n++) + "." + GetParam().extension);
        MediaJob remove;
        remove.chainOggStreams = false;
        ASSERT_TRUE(RunRemove(remove, source, output, r.start, r.end));
        const std::string rest = Decoded(output);
        const long s = std::lround(r.start * rate);
        const long e = std::min<long>(std::lround(r.end * rate),
                                      static_cast<long>(decoded.size() / kFrameBytes));
        const std::string expected = Samples(decoded, 0, s) + Samples(decoded, e, -1);
        if (GetParam().exact) {
            EXPECT_TRUE(rest == expected) << rest.size() << " vs " << expected.size();
            continue;
        }
        EXPECT_NEAR(static_cast<double>(rest.size() / kFrameBytes),
                    static_cast<double>(expected.size() / kFrameBytes),
                    static_cast<double>(GetParam().seamSamples));
        if (r.end - r.start < 0.01) {  // inside one packet: nothing doubled
            EXPECT_EQ(PacketCount(output), PacketCount(source));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, CopyJoinFormats, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return info.param.extension; });

// Chained, Ogg joins and removals write each stretch as a logical stream of its own, one
// after another: decoders that start each stream afresh play every stretch exactly.
struct ChainCase {
    std::string extension;
    std::string codecArgs;
    Decoder decoder;
    std::string otherArgs;  // another encoder setting (other Vorbis code books)
};

void PrintTo(const ChainCase& c, std::ostream* os) {
    *os << c.extension << " " << DecoderName(c.decoder);
}

const ChainCase kChainCases[] = {
    {"opus", "-c:a libopus -b:a 96k", Decoder::Opusdec, "-c:a libopus -b:a 32k"},
    {"opus", "-c:a libopus -b:a 96k", Decoder::GstreamerPlaybin, "-c:a libopus -b:a 32k"},
    {"ogg", "-c:a libvorbis -q:a 4", Decoder::Oggdec, "-c:a libvorbis -q:a 8"},
    {"ogg", "-c:a libvorbis -q:a 4", Decoder::Sox, "-c:a libvorbis -q:a 8"},
    {"ogg", "-c:a libvorbis -q:a 4", Decoder::GstreamerPlaybin, "-c:a libvorbis -q:a 8"},
};

// The largest difference between `a` and `b` over the first `count` samples of each.
float MaxDifference(std::span<const float> a, std::span<const float> b, std::size_t count) {
    float worst = count > a.size() || count > b.size() ? 1.0f : 0.0f;
    for (std::size_t i = 0; i < std::min({count, a.size(), b.size()}); ++i)
        worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

constexpr float kSameSample = 1e-4f;

class OggChains : public ::testing::TestWithParam<ChainCase> {
  protected:
    void SetUp() override {
        if (!DecoderInstalled(GetParam().decoder))
            GTEST_SKIP() << DecoderName(GetParam().decoder) << " is not installed";
        job.chainOggStreams = true;
    }
    fs::path Make(const std::string& name, double seconds, int seed, bool otherSetting = false) {
        return MakeNoise(dir.path(), name + "." + GetParam().extension, seconds, seed,
                         otherSetting ? GetParam().otherArgs : GetParam().codecArgs, 48000);
    }
    DecodedAudio Played(const fs::path& file) { return Decode(file, GetParam().decoder); }
    TempDir dir;
    MediaJob job;
};

TEST_P(OggChains, JoinPlaysEachInputWhole) {
    // Each input longer than one of the encoder's Ogg pages (FFmpeg's demuxer places the
    // start of a Vorbis file whose audio is one page a short block late).
    // Each keeps its own stream headers, so another encoder setting joins as well.
    const std::vector<fs::path> inputs = {Make("a", 1.01, 1), Make("b", 1.73, 2, true),
                                          Make("c", 1.27, 3)};
    const std::vector<std::string> names = {inputs[0], inputs[1], inputs[2]};
    EXPECT_FALSE(CheckCopyJoin(names, true).has_value());
    const fs::path output = dir / ("joined." + GetParam().extension);
    ASSERT_TRUE(RunCopyJoin(job, inputs, output));
    std::vector<float> expected;
    for (const fs::path& input : inputs) {
        const std::vector<float> samples = Played(input).samples;
        ASSERT_FALSE(samples.empty());
        expected.insert(expected.end(), samples.begin(), samples.end());
    }
    const std::vector<float> joined = Played(output).samples;
    ASSERT_EQ(joined.size(), expected.size());
    EXPECT_LT(MaxDifference(joined, expected, expected.size()), kSameSample);
}

TEST_P(OggChains, RemovalKeepsBothSidesAndTheirEdges) {
    const fs::path source = Make("src", 3.0, 9);
    const fs::path output = dir / ("out." + GetParam().extension);
    ASSERT_TRUE(RunRemove(job, source, output, 1.0, 1.7));
    const DecodedAudio whole = Played(source);
    const std::vector<float> rest = Played(output).samples;
    const auto before = static_cast<std::size_t>(std::lround(1.0 * whole.rate));
    const std::size_t after = whole.samples.size() - std::lround(1.7 * whole.rate);
    // The part before ends at the sample.
    EXPECT_LT(MaxDifference(rest, whole.samples, before), kSameSample);
    const std::span<const float> tail = std::span(whole.samples).last(after);
    if (GetParam().extension == "opus") {
        // Both ends to the sample; the decoder has converged 50 ms after the seam.
        ASSERT_EQ(rest.size(), before + after);
        const std::size_t settled = 2400;
        EXPECT_LT(MaxDifference(std::span(rest).subspan(before + settled), tail.subspan(settled),
                                after - settled),
                  kSameSample);
        return;
    }
    // Vorbis starts the part after at a whole packet: up to two packets early.
    ASSERT_GE(rest.size(), before + after);
    EXPECT_LE(rest.size(), before + after + 2048);
    EXPECT_LT(MaxDifference(std::span(rest).last(after), tail, after), kSameSample);
}

// The part after a stretch starts at a whole Vorbis packet: the part before ends where
// it starts playing, so a stretch inside one packet removes no more than itself and
// plays nothing twice.
TEST_P(OggChains, RemovalInsideOnePacketPlaysNothingTwice) {
    const fs::path source = Make("src", 2.0, 7);
    const fs::path output = dir / ("out." + GetParam().extension);
    ASSERT_TRUE(RunRemove(job, source, output, 1.0, 1.001));
    const DecodedAudio whole = Played(source);
    const std::vector<float> rest = Played(output).samples;
    const auto removed = static_cast<std::size_t>(std::lround(0.001 * whole.rate));
    if (GetParam().extension == "opus") {  // to the sample at both ends
        EXPECT_EQ(rest.size(), whole.samples.size() - removed);
        return;
    }
    EXPECT_LE(rest.size(), whole.samples.size());
    EXPECT_GE(rest.size(), whole.samples.size() - removed);
    const std::size_t after = whole.samples.size() - std::lround(1.1 * whole.rate);
    EXPECT_LT(
        MaxDifference(std::span(rest).last(after), std::span(whole.samples).last(after), after),
        kSameSample);
}

TEST_P(OggChains, ProbedLengthIsWhatTheDecoderPlays) {
    const std::vector<fs::path> inputs = {Make("a", 0.8, 4), Make("b", 1.3, 5)};
    const fs::path joined = dir / ("joined." + GetParam().extension);
    ASSERT_TRUE(RunCopyJoin(job, inputs, joined));
    const fs::path removed = dir / ("removed." + GetParam().extension);
    MediaJob removal;
    removal.chainOggStreams = true;
    ASSERT_TRUE(RunRemove(removal, inputs[1], removed, 0.3, 0.5));
    for (const fs::path& file : {inputs[0], joined, removed}) {
        SCOPED_TRACE(file.filename().string());
        const DecodedAudio played = Played(file);
        ASSERT_GT(played.rate, 0);
        // GStreamer keeps a sample or two more of a Vorbis stream's end.
        const double slack =
            GetParam().decoder == Decoder::GstreamerPlaybin ? 5.0 / played.rate : 2e-6;
        EXPECT_NEAR(LengthOf(file), static_cast<double>(played.samples.size()) / played.rate,
                    slack);
    }
}

// A chained input is cut link by link: a cut across a seam is chained where it spans
// links, each stretch cut with its own exact edges.
TEST_P(OggChains, CutAcrossALinkSeamPlaysTheStretch) {
    const ChainedOgg source = MakeChainedOgg(dir.path(), "src", GetParam().extension,
                                             GetParam().codecArgs, {1.0, 1.5, 1.2});
    const fs::path output = dir / ("cut." + GetParam().extension);
    MediaJob cut;
    PrepareCut(cut, source.file, output, 0.6, 2.9);  // the second link whole, and around it
    RunJob(cut);
    ASSERT_EQ(cut.fileStatus[0].load(), kInputDone) << cut.failureCode.load();
    const DecodedAudio whole = Played(source.file);
    const DecodedAudio played = Played(output);
    // GStreamer keeps a sample or two more of a Vorbis stream's end.
    EXPECT_NEAR(static_cast<double>(whole.samples.size()) / whole.rate, 3.7, 5.0 / whole.rate);
    const CutPrecision precision = MeasureCut(whole, played, 0.6, 2.9);
    ASSERT_TRUE(precision.found) << Describe(precision);
    // GStreamer keeps a sample or two more of a Vorbis stream's end.
    const long endSlack = GetParam().decoder == Decoder::GstreamerPlaybin ? 5 : 0;
    EXPECT_LE(std::abs(precision.endErrorSamples), endSlack) << Describe(precision);
    if (GetParam().extension == "opus")
        EXPECT_EQ(precision.startErrorSamples, 0) << Describe(precision);
    else  // Vorbis starts a cut at a whole packet: up to two packets early
        EXPECT_GE(precision.startErrorSamples, -2048) << Describe(precision);
    EXPECT_LE(precision.startErrorSamples, 0) << Describe(precision);
}

TEST_P(OggChains, RemovalAcrossALinkSeamKeepsBothSides) {
    const ChainedOgg source =
        MakeChainedOgg(dir.path(), "src", GetParam().extension, GetParam().codecArgs, {1.2, 1.4});
    const fs::path output = dir / ("out." + GetParam().extension);
    ASSERT_TRUE(RunRemove(job, source.file, output, 0.8, 1.7));
    const DecodedAudio whole = Played(source.file);
    const std::vector<float> rest = Played(output).samples;
    const auto before = static_cast<std::size_t>(std::lround(0.8 * whole.rate));
    const std::size_t after = whole.samples.size() - std::lround(1.7 * whole.rate);
    EXPECT_LT(MaxDifference(rest, whole.samples, before), kSameSample);
    const std::span<const float> tail = std::span(whole.samples).last(after);
    ASSERT_GE(rest.size(), before + after);
    if (GetParam().extension == "opus") {
        // To the sample. The decoder converges after the 80 ms of pre-roll a cut keeps
        // more slowly in the middle of a link (measured: 4e-3 at 50 ms, 1e-4 or less
        // at 200 ms); a misplaced part after differs by the noise's own size.
        ASSERT_EQ(rest.size(), before + after);
        const std::size_t settled = 9600;
        EXPECT_LT(MaxDifference(std::span(rest).subspan(before + settled), tail.subspan(settled),
                                after - settled),
                  1e-3f);
        return;
    }
    EXPECT_LE(rest.size(), before + after + 2048);
    EXPECT_LT(MaxDifference(std::span(rest).last(after), tail, after), kSameSample);
}

TEST_P(OggChains, JoinOfAChainedInputTakesItsLinksInOrder) {
    // Links longer than one Ogg page (see JoinPlaysEachInputWhole).
    const ChainedOgg chained =
        MakeChainedOgg(dir.path(), "ab", GetParam().extension, GetParam().codecArgs, {1.3, 1.6});
    const std::vector<fs::path> inputs = {chained.file, Make("c", 1.3, 3)};
    const fs::path output = dir / ("joined." + GetParam().extension);
    ASSERT_TRUE(RunCopyJoin(job, inputs, output));
    std::vector<float> expected;
    for (const fs::path& input : {chained.parts[0], chained.parts[1], inputs[1]}) {
        const std::vector<float> samples = Played(input).samples;
        expected.insert(expected.end(), samples.begin(), samples.end());
    }
    const std::vector<float> joined = Played(output).samples;
    ASSERT_EQ(joined.size(), expected.size());
    EXPECT_LT(MaxDifference(joined, expected, expected.size()), kSameSample);
}

INSTANTIATE_TEST_SUITE_P(Decoders, OggChains, ::testing::ValuesIn(kChainCases),
                         [](const auto& info) {
                             std::string name =
                                 info.param.extension + "_" + DecoderName(info.param.decoder);
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

class CopyJoinTest : public ::testing::Test {
  protected:
    TempDir dir;
    MediaJob job;
};

TEST_F(CopyJoinTest, FlacIsOneStreamTheReferenceDecoderAccepts) {
    std::vector<fs::path> inputs;
    for (int k = 0; k < 3; ++k)
        inputs.push_back(MakeNoise(dir.path(), "in" + std::to_string(k) + ".flac", 0.9 + 0.3 * k,
                                   k + 4, "-c:a flac -sample_fmt s16"));
    const fs::path output = dir / "joined.flac";
    ASSERT_TRUE(RunCopyJoin(job, inputs, output));
    EXPECT_EQ(RunCommand("flac -t -s " + ShellQuote(output.string())), 0);
    std::string total;
    RunCommand("metaflac --show-total-samples " + ShellQuote(output.string()), &total);
    std::string reference;
    for (const fs::path& input : inputs)
        reference += FlacToolRawSamples(input).value_or("?");
    EXPECT_EQ(std::atol(total.c_str()), static_cast<long>(reference.size() / kFrameBytes));
    EXPECT_TRUE(FlacToolRawSamples(output) == reference);
    // The frames count on from 0 without a gap.
    const PacketTimes times = FfprobePackets(output);
    ASSERT_FALSE(times.pts.empty());
    EXPECT_EQ(times.pts[0], 0.0);
    for (std::size_t i = 1; i < times.pts.size(); ++i)
        ASSERT_NEAR(times.pts[i], times.pts[i - 1] + times.duration[i - 1], 2e-6) << i;
}

TEST_F(CopyJoinTest, Mp3InfoHeaderStatesFirstDelayLastPaddingAndAllFrames) {
    const std::vector<fs::path> inputs = {
        MakeNoise(dir.path(), "a.mp3", 1.2, 1, "-c:a libmp3lame -b:a 128k"),
        MakeNoise(dir.path(), "b.mp3", 0.7, 2, "-c:a libmp3lame -b:a 192k"),
        MakeNoise(dir.path(), "c.mp3", 0.9, 3, "-c:a libmp3lame -q:a 4")};
    const fs::path output = dir / "joined.mp3";
    ASSERT_TRUE(RunCopyJoin(job, inputs, output));
    const auto first = InfoTagOf(inputs[0]);
    const auto last = InfoTagOf(inputs[2]);
    const auto joined = InfoTagOf(output);
    ASSERT_TRUE(first && last && joined);
    EXPECT_EQ(joined->delay, first->delay);
    EXPECT_EQ(joined->padding, last->padding);
    std::int64_t frames = 0;
    for (const fs::path& input : inputs)
        frames += static_cast<std::int64_t>(PacketCount(input));
    EXPECT_EQ(joined->frames, frames);
    // mpg123 plays every frame less the stated delay and padding, without complaint.
    std::string complaints;
    RunCommand("mpg123 -q --gapless -s " + ShellQuote(output.string()) + " 2>&1 >/dev/null",
               &complaints);
    EXPECT_EQ(complaints, "");
}

// After a seam the MP3 decodes as the source does once the first frame's first granule
// is over: that frame read its bit reservoir from bytes put before it.
TEST_F(CopyJoinTest, Mp3SeamReadsTheSourcesOwnReservoir) {
    for (const std::string bitRate : {"64k", "128k", "320k"}) {
        SCOPED_TRACE(bitRate);
        const fs::path source = MakeNoise(dir.path(), "src" + bitRate + ".mp3", 3.0, 5,
                                          "-c:a libmp3lame -b:a " + bitRate);
        const fs::path output = dir / ("out" + bitRate + ".mp3");
        MediaJob remove;
        ASSERT_TRUE(RunRemove(remove, source, output, 1.0, 1.7));
        const std::string decoded = Decoded(source);
        const std::string rest = Decoded(output);
        const long tail = static_cast<long>(decoded.size() / kFrameBytes) - 17 * kRate / 10;
        // The first frame after the seam starts less than a frame after the end.
        EXPECT_GE(SameSamples(decoded, rest, true), tail - 1152 - 576 - 529);
        EXPECT_GE(SameSamples(decoded, rest, false), kRate - 1152);
    }
}

struct Refusal {
    std::string first, other;  // names and ffmpeg arguments "name|args"
    std::string firstArgs, otherArgs;
    std::string reason;
    bool joinedChained = false;  // taken when each input is an Ogg stream of its own
};

TEST_F(CopyJoinTest, UnlikeInputsAreRefusedNamingHow) {
    const Refusal refusals[] = {
        {"a.mp3", "b.mp3", "-c:a libmp3lame", "-c:a libmp3lame -ar 22050",
         "22050 Hz, the first input is 44100 Hz"},
        {"a.mp3", "b.mp3", "-c:a libmp3lame", "-c:a libmp3lame -ac 1",
         "1 channel (mono), the first input has 2 channels (stereo)"},
        {"a.wav", "b.wav", "-c:a pcm_s16le", "-c:a pcm_s24le",
         "PCM samples s24le, the first input's are s16le"},
        {"a.flac", "b.flac", "-c:a flac -sample_fmt s16", "-c:a flac -sample_fmt s32",
         "24-bit samples, the first input has 16-bit samples"},
        {"a.mp3", "b.ogg", "-c:a libmp3lame", "-c:a libvorbis",
         "a ogg file, the first input is a mp3 file"},
        {"a.mka", "b.mka", "-c:a libmp3lame", "-c:a mp2", "codec mp2, the first input's is mp3"},
        {"a.ogg", "b.ogg", "-c:a libvorbis -q:a 2", "-c:a libvorbis -q:a 8",
         "Vorbis made with other settings (its code books differ from the first input's)", true},
    };
    int n = 0;
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.reason);
        const std::string tag = std::to_string(n++);
        const fs::path a = MakeNoise(dir.path(), tag + r.first, 0.5, 1, r.firstArgs);
        const fs::path b = MakeNoise(dir.path(), tag + r.other, 0.5, 2, r.otherArgs);
        const std::vector<std::string> names = {a.string(), a.string(), b.string()};
        const std::optional<CopyJoinRefusal> refusal = CheckCopyJoin(names, false);
        ASSERT_TRUE(refusal.has_value());
        EXPECT_EQ(refusal->input, 2u);
        EXPECT_EQ(refusal->reason, r.reason);
        EXPECT_EQ(CheckCopyJoin(names, true).has_value(), !r.joinedChained);
    }
}

// FFmpeg starts a chained file's times again in each stream: a job without re-encoding
// reads it link by link, and its stretches are those of the whole file's timeline.
TEST_F(CopyJoinTest, ChainedOggInputIsCutAndJoinedByItsOwnTimeline) {
    const std::vector<fs::path> inputs = {MakeNoise(dir.path(), "a.opus", 0.6, 1, "-c:a libopus"),
                                          MakeNoise(dir.path(), "b.opus", 0.6, 2, "-c:a libopus")};
    const fs::path chained = dir / "chained.opus";
    job.chainOggStreams = true;
    ASSERT_TRUE(RunCopyJoin(job, inputs, chained));
    EXPECT_NEAR(LengthOf(chained), 1.2, 1e-5);
    MediaJob cut;
    PrepareCut(cut, chained, dir / "cut.opus", 0.3, 0.9);
    RunJob(cut);
    EXPECT_EQ(cut.fileStatus[0].load(), kInputDone);
    EXPECT_NEAR(LengthOf(dir / "cut.opus"), 0.6, 1e-5);
    MediaJob again;
    EXPECT_TRUE(RunCopyJoin(again, {chained, inputs[0]}, dir / "again.opus"));
    EXPECT_NEAR(LengthOf(dir / "again.opus"), 1.8, 1e-5);
}

TEST_F(CopyJoinTest, JobOverUnlikeInputsFailsAndLeavesNoFile) {
    const fs::path a = MakeNoise(dir.path(), "a.mp3", 0.5, 1, "-c:a libmp3lame");
    const fs::path b = MakeNoise(dir.path(), "b.mp3", 0.5, 2, "-c:a libmp3lame -ar 22050");
    EXPECT_FALSE(RunCopyJoin(job, {a, b}, dir / "joined.mp3"));
    EXPECT_EQ(job.fileStatus[1].load(), kInputFailed);
    EXPECT_FALSE(fs::exists(dir / "joined.mp3"));
}

TEST_F(CopyJoinTest, CancelKeepsAValidShorterFile) {
    for (const std::string extension : {"mp3", "flac", "opus"}) {
        SCOPED_TRACE(extension);
        const std::string args = extension == "mp3"    ? "-c:a libmp3lame"
                                 : extension == "opus" ? "-c:a libopus"
                                                       : "-c:a flac -sample_fmt s16";
        const fs::path a = MakeNoise(dir.path(), "a." + extension, 2.0, 1, args);
        const fs::path b = MakeNoise(dir.path(), "b." + extension, 2.0, 2, args);
        const fs::path output = dir / ("joined." + extension);
        MediaJob cancelled;
        cancelled.progressUpdated = [](MediaJob& j) {
            if (j.currentIndex.load() == 1 && j.audioTime.load() > 2.5)
                j.cancelRequested = true;
        };
        std::vector<JoinRange> ranges = {{a.string(), 0.0, LengthOf(a)},
                                         {b.string(), 0.0, LengthOf(b)}};
        PrepareCopyJoinJob(cancelled, ranges, output.string());
        RunJob(cancelled);
        EXPECT_TRUE(cancelled.cancelRequested.load());
        EXPECT_EQ(cancelled.fileStatus[0].load(), kInputDone);
        EXPECT_EQ(cancelled.fileStatus[1].load(), kInputPending);
        // FFmpeg gives a chained Ogg file the length of its last stream only.
        const double length = extension == "opus" ? LengthOf(output) : Ffprobe(output).durationSec;
        EXPECT_GT(length, 2.4);
        EXPECT_LT(length, 3.9);
        if (extension == "flac") {
            EXPECT_EQ(RunCommand("flac -t -s " + ShellQuote(output.string())), 0);
        }
    }
}

}  // namespace
}  // namespace tolvane::testing
