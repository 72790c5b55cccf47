// ProbeMedia on real files made by ffmpeg: results, times, audio parameters and the
// mislabel flags of files named ".mp3".

#include <gtest/gtest.h>

#include "JobTestSupport.h"
#include "engine/probe/OggLength.h"

namespace tolvane::testing {
namespace {

class ProbeMediaTest : public ::testing::Test {
  protected:
    TempDir dir;
    Fixtures fixtures{dir.path()};
    MediaJob job;
};

bool AnyMislabel(const MediaJob& job) {
    return job.mislabeled.aac || job.mislabeled.mp2 || job.mislabeled.wav || job.mislabeled.flac;
}

TEST_F(ProbeMediaTest, UsableFormatsReportTimesAndAudioParameters) {
    for (const fs::path& file : {fixtures.Mp3(3.0), fixtures.Wav(3.0), fixtures.Flac(3.0),
                                 fixtures.Ogg(3.0), fixtures.M4a(3.0)}) {
        SCOPED_TRACE(file.filename().string());
        ASSERT_EQ(ProbeFile(job, file), ProbeResult::Usable);
        EXPECT_EQ(job.probeStartUs, 0);
        EXPECT_NEAR(job.probeEndUs / 1e6, 3.0, 0.1);
        // The length the file states (MP3 Info header, MP4 edit, FLAC sample count) lies
        // within the demuxer's end.
        EXPECT_NEAR(job.probeDurationUs / 1e6, 3.0, 0.03);
        EXPECT_LE(job.probeDurationUs, job.probeEndUs);
        EXPECT_EQ(job.audioSampleRate, 44100);
        EXPECT_EQ(job.audioChannels, 2);
        EXPECT_FALSE(AnyMislabel(job));
    }
}

TEST_F(ProbeMediaTest, Mp3ReportsItsBitRate) {
    ASSERT_EQ(ProbeFile(job, fixtures.Mp3()), ProbeResult::Usable);
    EXPECT_EQ(job.audioBitRate, 128000);
}

TEST_F(ProbeMediaTest, MonoLowRateToneIsDescribed) {
    fs::path file = MakeTone(dir.path(), "mono.wav", 2.0, 22050, 1, "-c:a pcm_s16le");
    ASSERT_EQ(ProbeFile(job, file), ProbeResult::Usable);
    EXPECT_EQ(job.audioSampleRate, 22050);
    EXPECT_EQ(job.audioChannels, 1);
    EXPECT_NEAR(job.probeEndUs / 1e6, 2.0, 0.05);
}

TEST_F(ProbeMediaTest, OtherCodecsNamedMp3SetTheirFlagAndStayUsable) {
    struct Case {
        fs::path file;
        bool MislabelFlags::*flag;
    };
    for (bool upper : {false, true}) {
        for (const Case& c : {Case{fixtures.AacNamedMp3(upper), &MislabelFlags::aac},
                              Case{fixtures.Mp2NamedMp3(upper), &MislabelFlags::mp2},
                              Case{fixtures.PcmNamedMp3(upper), &MislabelFlags::wav},
                              Case{fixtures.FlacNamedMp3(upper), &MislabelFlags::flac}}) {
            SCOPED_TRACE(c.file.filename().string());
            ASSERT_EQ(ProbeFile(job, c.file), ProbeResult::Usable);
            EXPECT_TRUE(job.mislabeled.*c.flag);
            int set =
                job.mislabeled.aac + job.mislabeled.mp2 + job.mislabeled.wav + job.mislabeled.flac;
            EXPECT_EQ(set, 1);
            EXPECT_GT(job.probeEndUs, 0);
        }
    }
}

TEST_F(ProbeMediaTest, FlagsAreClearedByTheNextProbe) {
    ASSERT_EQ(ProbeFile(job, fixtures.AacNamedMp3()), ProbeResult::Usable);
    ASSERT_TRUE(job.mislabeled.aac);
    ASSERT_EQ(ProbeFile(job, fixtures.Mp3()), ProbeResult::Usable);
    EXPECT_FALSE(AnyMislabel(job));
}

TEST_F(ProbeMediaTest, AacInM4aSetsNoFlag) {
    ASSERT_EQ(ProbeFile(job, fixtures.M4a()), ProbeResult::Usable);
    EXPECT_FALSE(AnyMislabel(job));
}

TEST_F(ProbeMediaTest, CoverPicturesAreNotVideo) {
    EXPECT_EQ(ProbeFile(job, fixtures.Mp3WithCover()), ProbeResult::Usable);
    EXPECT_EQ(ProbeFile(job, fixtures.Mp3WithJpegCover()), ProbeResult::Usable);
    EXPECT_EQ(job.audioChannels, 2);
}

TEST_F(ProbeMediaTest, RealVideoIsRefused) {
    EXPECT_EQ(ProbeFile(job, fixtures.VideoFile()), ProbeResult::Unusable);
}

TEST_F(ProbeMediaTest, UnknownDurationGivesNegativeEnd) {
    ASSERT_EQ(ProbeFile(job, fixtures.UnknownDuration()), ProbeResult::Usable);
    EXPECT_EQ(job.probeStartUs, 0);
    EXPECT_LT(job.probeEndUs, 0);
}

TEST_F(ProbeMediaTest, MissingAndEmptyFilesCannotBeOpened) {
    EXPECT_EQ(ProbeFile(job, dir / "no-such-file.mp3"), ProbeResult::Unusable);
    EXPECT_EQ(ProbeFile(job, fixtures.Empty()), ProbeResult::Unusable);
}

TEST_F(ProbeMediaTest, GarbageIsRefusedAndLeavesNoStaleValues) {
    ASSERT_EQ(ProbeFile(job, fixtures.Mp3()), ProbeResult::Usable);
    EXPECT_NE(ProbeFile(job, fixtures.Garbage()), ProbeResult::Usable);
    EXPECT_EQ(job.audioSampleRate, 0);
    EXPECT_EQ(job.audioChannels, 0);
    EXPECT_LT(job.probeEndUs, 0);
}

TEST_F(ProbeMediaTest, TruncatedMp3IsUsable) {
    EXPECT_EQ(ProbeFile(job, fixtures.Truncated()), ProbeResult::Usable);
    EXPECT_EQ(job.audioSampleRate, 44100);
}

// An Ogg cut states its length in its pages: the pre-skip and the pre-roll it drops are
// not counted (FFmpeg's own duration counts them).
TEST_F(ProbeMediaTest, OggCutsStateTheirExactLength) {
    for (const std::string extension : {"opus", "ogg"}) {
        SCOPED_TRACE(extension);
        const fs::path source = MakeTone(dir.path(), "s." + extension, 6.0, 48000, 2,
                                         extension == "opus" ? "-c:a libopus" : "-c:a libvorbis");
        const fs::path cut = dir / ("cut." + extension);
        MediaJob cutJob;
        PrepareCut(cutJob, source, cut, 1.0, 4.0);
        RunJob(cutJob);
        ASSERT_EQ(ProbeFile(job, cut), ProbeResult::Usable);
        if (extension == "opus") {
            EXPECT_EQ(job.probeDurationUs, 3000000);
        } else {  // whole packets at the start: up to two of 1024 samples more
            EXPECT_GE(job.probeDurationUs, 3000000);
            EXPECT_LE(job.probeDurationUs, 3000000 + 2 * 1024 * 1000000 / 48000);
        }
    }
}

TEST(OpusPacketSamples, FromTheTableOfContents) {
    struct Case {
        std::vector<std::uint8_t> packet;
        int samples;
    };
    const Case cases[] = {
        {{0x00}, 480},        // SILK 10 ms, one frame
        {{0x18}, 2880},       // SILK 60 ms
        {{0x68}, 960},        // hybrid 20 ms
        {{0x80}, 120},        // CELT 2.5 ms
        {{0xFC}, 960},        // CELT 20 ms, stereo
        {{0x81}, 240},        // two frames
        {{0x83, 0x05}, 600},  // a counted five
        {{0x83}, 0},          // the count is missing
        {{}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OpusPacketSamples(c.packet), c.samples) << static_cast<int>(c.packet.size());
}

TEST_F(ProbeMediaTest, FileWithoutAudioIsRefused) {
    fs::path file = dir / "picture.png";
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i color=c=blue:s=32x32:d=1 -frames:v 1", file));
    EXPECT_NE(ProbeFile(job, file), ProbeResult::Usable);
}

}  // namespace
}  // namespace tolvane::testing
