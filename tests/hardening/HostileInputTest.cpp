// Damaged and unusual files handed to the probe, the cut and the join: each ends with a
// refusal, a failed job that leaves nothing behind, or a valid output, and the source
// is never changed.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <random>

#include "HardeningSupport.h"
#include "IniProfile.h"
#include "LanguageTable.h"
#include "Settings.h"

namespace tolvane {
namespace {

using namespace tolvane::testing;

class HostileInput : public ::testing::Test {
  protected:
    TempDir dir;
    Fixtures fixtures{dir.path()};
    MediaJob job;

    fs::path Out(const std::string& name) {
        fs::create_directories(dir / "out");
        return dir / "out" / name;
    }

    // Probes, cuts [0, 1 s] and joins the file with a good one; each must fail cleanly
    // or succeed with a valid output, and the file must stay as it was.
    void ProbeCutAndJoin(const fs::path& file, const std::string& what) {
        SCOPED_TRACE(what);
        const std::string before = ReadFileBytes(file);
        const ProbeResult probe = ProbeFile(job, file);
        EXPECT_LE(static_cast<int>(probe), 0);
        if (probe != ProbeResult::Usable) {
            EXPECT_EQ(job.audioSampleRate, 0) << "a refused file leaves no parameters";
        }

        const std::string extension = file.extension().string();
        const fs::path cut = Out("cut_" + what + extension);
        PrepareCut(job, file, cut, 0.0, 1.0);
        RunJob(job);
        ExpectFailedCleanlyOrValid(job, cut);

        const fs::path join = Out("join_" + what + ".mp3");
        PrepareJoin(job, {file, fixtures.Wav(1.0)}, join, {1.0, 1.0});
        RunJob(job);
        ExpectFailedCleanlyOrValid(job, join);
        EXPECT_EQ(ReadFileBytes(file), before) << "the source was changed";
    }
};

TEST_F(HostileInput, TruncatedFilesOfEveryFormat) {
    const std::vector<fs::path> sources = {fixtures.Mp3(2.0), fixtures.Flac(2.0), fixtures.Wav(2.0),
                                           fixtures.Ogg(2.0)};
    for (const fs::path& source : sources) {
        const std::string bytes = ReadFileBytes(source);
        for (std::size_t keep : {std::size_t{1}, std::size_t{12}, std::size_t{44}, std::size_t{200},
                                 bytes.size() / 3, bytes.size() - 7}) {
            const fs::path cutFile =
                dir / ("trunc" + std::to_string(keep) + source.extension().string());
            WriteBytes(cutFile, bytes.substr(0, keep));
            ProbeCutAndJoin(cutFile, "trunc" + std::to_string(keep) + source.extension().string());
        }
    }
}

TEST_F(HostileInput, ZeroBytesAndRandomBytesNamedMp3AreRefused) {
    EXPECT_EQ(ProbeFile(job, fixtures.Empty()), ProbeResult::Unusable);
    EXPECT_NE(ProbeFile(job, fixtures.Garbage()), ProbeResult::Usable);
    ProbeCutAndJoin(fixtures.Empty(), "empty");
    ProbeCutAndJoin(fixtures.Garbage(), "garbage");
    std::mt19937 random(99);
    for (int seed = 0; seed < 5; ++seed) {
        std::string bytes(1000 + 4000 * seed, '\0');
        for (auto& b : bytes)
            b = static_cast<char>(random() & 0xFF);
        const fs::path file = dir / ("random" + std::to_string(seed) + ".mp3");
        WriteBytes(file, bytes);
        ProbeCutAndJoin(file, "random" + std::to_string(seed));
    }
}

// A FIFO blocked the probe until some writer came; devices and folders are no files.
// (Jobs take what the probe accepted; the worker tests feed a job through a FIFO.)
TEST_F(HostileInput, FifosDevicesAndFoldersAreRefusedAtOnce) {
    ASSERT_EQ(mkfifo((dir / "fifo.mp3").c_str(), 0644), 0);
    fs::create_directory(dir / "folder.mp3");
    for (const fs::path& file :
         {dir / "fifo.mp3", fs::path("/dev/zero"), fs::path("/dev/null"), dir / "folder.mp3"}) {
        SCOPED_TRACE(file.string());
        auto probe = std::async(std::launch::async, [&] {
            MediaJob own;
            return ProbeFile(own, file);
        });
        if (probe.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            // Let the blocked open go on, so the test can end.
            const int fd = open((dir / "fifo.mp3").c_str(), O_WRONLY | O_NONBLOCK);
            probe.wait();
            if (fd >= 0)
                close(fd);
            FAIL() << "the probe waited on " << file;
        }
        EXPECT_EQ(probe.get(), ProbeResult::Unusable);
        if (file == dir / "fifo.mp3")
            continue;
        const fs::path cut = Out("special.mp3");
        PrepareCut(job, file, cut, 0.0, 1.0);
        auto run = std::async(std::launch::async, [&] { RunJob(job); });
        ASSERT_EQ(run.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        EXPECT_TRUE(JobFailed(job));
        EXPECT_FALSE(fs::exists(cut));
    }
}

TEST_F(HostileInput, HugeId3TagIsSkippedAndTheAudioCut) {
    const std::string mp3 = ReadFileBytes(fixtures.Mp3(2.0));
    const std::size_t tag = Id3TagSize(mp3);
    const std::uint32_t padding = 16 * 1024 * 1024;
    std::string bytes = Id3Header(padding) + std::string(padding, '\0') + mp3.substr(tag);
    const fs::path file = dir / "huge_tag.mp3";
    WriteBytes(file, bytes);
    ASSERT_EQ(ProbeFile(job, file), ProbeResult::Usable);
    EXPECT_NEAR(job.probeDurationUs / 1e6, 2.0, 0.3);
    const fs::path cut = Out("huge_tag.mp3");
    PrepareCut(job, file, cut, 0.5, 1.5);
    RunJob(job);
    ASSERT_TRUE(JobDone(job));
    EXPECT_NEAR(Ffprobe(cut).durationSec, 1.0, 0.15);
    EXPECT_LT(fs::file_size(cut), 64 * 1024u) << "the padding is not copied";
}

TEST_F(HostileInput, Id3SizeFieldThatLies) {
    const std::string mp3 = ReadFileBytes(fixtures.Mp3(2.0));
    const std::string audio = mp3.substr(Id3TagSize(mp3));
    // Claims far more than the file holds: the demuxer skips past the end.
    WriteBytes(dir / "tag_too_big.mp3",
               Id3Header(200 * 1024 * 1024) + std::string(300, 'x') + audio);
    ProbeCutAndJoin(dir / "tag_too_big.mp3", "tag_too_big");
    // Claims less than it holds: the rest of the tag is read as audio.
    WriteBytes(dir / "tag_too_small.mp3", Id3Header(4) + std::string(3000, '\xff') + audio);
    ProbeCutAndJoin(dir / "tag_too_small.mp3", "tag_too_small");
    // The largest size the field can hold, with nothing behind it.
    WriteBytes(dir / "tag_max.mp3", Id3Header(0x0FFFFFFF));
    ProbeCutAndJoin(dir / "tag_max.mp3", "tag_max");
}

TEST_F(HostileInput, CoverPictureWithoutAudioIsRefused) {
    const std::string withCover = ReadFileBytes(fixtures.Mp3WithCover());
    const std::size_t tag = Id3TagSize(withCover);
    ASSERT_GT(tag, 100u);
    const fs::path file = dir / "cover_only.mp3";
    WriteBytes(file, withCover.substr(0, tag));
    EXPECT_NE(ProbeFile(job, file), ProbeResult::Usable);
    ProbeCutAndJoin(file, "cover_only");
    // A bare picture under an audio name.
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i color=c=green:s=32x32:d=1 -frames:v 1 -c:v png -f image2",
                          dir / "picture.mp3"));
    EXPECT_NE(ProbeFile(job, dir / "picture.mp3"), ProbeResult::Usable);
    ProbeCutAndJoin(dir / "picture.mp3", "picture");
}

TEST_F(HostileInput, WavHeadersWithImpossibleFields) {
    WriteBytes(dir / "zero_channels.wav", WavBytes(0, 44100, 44100 * 4, 44100 * 4));
    EXPECT_NE(ProbeFile(job, dir / "zero_channels.wav"), ProbeResult::Usable);
    ProbeCutAndJoin(dir / "zero_channels.wav", "zero_channels");

    WriteBytes(dir / "zero_rate.wav", WavBytes(2, 0, 44100 * 4, 44100 * 4));
    EXPECT_NE(ProbeFile(job, dir / "zero_rate.wav"), ProbeResult::Usable);
    ProbeCutAndJoin(dir / "zero_rate.wav", "zero_rate");

    // The size of a WAV written to a pipe: the data runs to the end of the file.
    WriteBytes(dir / "endless.wav", WavBytes(2, 44100, 0xFFFFFFFF, 44100 * 4 * 2));
    ProbeCutAndJoin(dir / "endless.wav", "endless");
    if (ProbeFile(job, dir / "endless.wav") == ProbeResult::Usable) {
        const fs::path cut = Out("endless_half.wav");
        PrepareCut(job, dir / "endless.wav", cut, 0.5, 1.0);
        RunJob(job);
        ASSERT_TRUE(JobDone(job));
        EXPECT_NEAR(Ffprobe(cut).durationSec, 0.5, 0.1);
    }
}

// A header's byte rate times eight passes 32 bits: the record keeps the largest rate it
// can hold instead of a wrapped, negative one.
TEST_F(HostileInput, BitRatesBeyondThirtyTwoBitsAreClamped) {
    for (std::uint32_t byteRate : {0xFFFFFFFFu, 268435455u, 0x7FFFFFFFu}) {
        SCOPED_TRACE(byteRate);
        const fs::path file = dir / ("rate" + std::to_string(byteRate) + ".wav");
        WriteBytes(file, WavBytes(2, 44100, 44100 * 4, 44100 * 4, byteRate));
        ASSERT_EQ(ProbeFile(job, file), ProbeResult::Usable);
        EXPECT_GE(job.audioBitRate, 0);
        EXPECT_GT(job.audioBitRate, 1000000);
        ProbeCutAndJoin(file, "rate" + std::to_string(byteRate));
    }
}

// Found by fuzzing the probe and the jobs: a WAV header claiming about a billion Hz was
// usable, and its join spent minutes in the resampler, deaf to cancel requests.
TEST_F(HostileInput, AbsurdSampleRatesAreRefused) {
    for (int rate : {1073749824, 768001, 50000000}) {
        SCOPED_TRACE(rate);
        const fs::path file = dir / ("rate" + std::to_string(rate) + ".wav");
        WriteBytes(file, WavBytes(1, rate, 7000, 7000));
        EXPECT_EQ(ProbeFile(job, file), ProbeResult::Unusable);
        PrepareJoin(job, {file, file}, Out("absurd.mp3"), {0.5, 0.5}, 64000, 22050, 1);
        auto run = std::async(std::launch::async, [&] { RunJob(job); });
        const bool ended = run.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
        if (!ended) {
            job.cancelRequested = true;
            run.wait();
        }
        EXPECT_TRUE(ended) << "the join took too long";
        EXPECT_TRUE(JobFailed(job));
        ProbeCutAndJoin(file, "rate" + std::to_string(rate));
    }
    // The highest rate taken still works.
    const fs::path high = MakeTone(dir.path(), "high.wav", 0.5, 768000, 1, "-c:a pcm_s16le");
    EXPECT_EQ(ProbeFile(job, high), ProbeResult::Usable);
    PrepareJoin(job, {high, high}, Out("high.mp3"), {0.5, 0.5});
    RunJob(job);
    EXPECT_TRUE(JobDone(job));
}

TEST_F(HostileInput, OneAndTwoFrameMp3s) {
    // FFmpeg refuses a lone frame (it cannot find the next one); two frames are a file.
    for (int frames : {1, 2}) {
        SCOPED_TRACE(frames);
        const fs::path file = dir / ("frames" + std::to_string(frames) + ".mp3");
        ASSERT_TRUE(
            RunFfmpeg("-f lavfi -i sine=duration=0.1:sample_rate=44100 -map_metadata -1 "
                      "-c:a libmp3lame -b:a 128k -write_xing 0 -frames:a " +
                          std::to_string(frames),
                      file));
        ProbeCutAndJoin(file, "frames" + std::to_string(frames));
        if (frames == 2) {
            ASSERT_EQ(ProbeFile(job, file), ProbeResult::Usable);
            const fs::path cut = Out("two_frames.mp3");
            PrepareCut(job, file, cut, 0.0, 1.0);
            RunJob(job);
            EXPECT_TRUE(JobDone(job));
            EXPECT_GE(FfprobePackets(cut).pts.size(), 1u);
        }
    }
}

TEST_F(HostileInput, EightKilohertzMonoIsCutAndJoinedToStereo) {
    const fs::path low = MakeTone(dir.path(), "low.mp3", 2.0, 8000, 1, "-c:a libmp3lame -b:a 16k");
    ASSERT_EQ(ProbeFile(job, low), ProbeResult::Usable);
    EXPECT_EQ(job.audioSampleRate, 8000);
    EXPECT_EQ(job.audioChannels, 1);
    const fs::path cut = Out("low.mp3");
    PrepareCut(job, low, cut, 0.5, 1.5);
    RunJob(job);
    ASSERT_TRUE(JobDone(job));
    EXPECT_EQ(Ffprobe(cut).sampleRate, 8000);
    const fs::path join = Out("low_join.mp3");
    PrepareJoin(job, {low, fixtures.Wav(1.0)}, join, {2.0, 1.0});
    RunJob(job);
    ASSERT_TRUE(JobDone(job));
    ProbeInfo info = Ffprobe(join);
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_NEAR(info.durationSec, 3.0, 0.2);
}

TEST_F(HostileInput, SurroundFlacJoinedIntoStereoAndMono) {
    const fs::path surround = MakeTone(dir.path(), "surround.flac", 1.5, 48000, 6, "-c:a flac");
    ASSERT_EQ(ProbeFile(job, surround), ProbeResult::Usable);
    ASSERT_EQ(job.audioChannels, 6);
    for (int channels : {2, 1}) {
        const fs::path join = Out("surround" + std::to_string(channels) + ".mp3");
        PrepareJoin(job, {surround, fixtures.Mp3(1.0)}, join, {1.5, 1.0}, 128000, 44100, channels);
        RunJob(job);
        ASSERT_TRUE(JobDone(job)) << channels;
        ProbeInfo info = Ffprobe(join);
        EXPECT_EQ(info.channels, channels);
        EXPECT_NEAR(info.durationSec, 2.5, 0.2);
    }
    // A cut keeps the six channels.
    const fs::path cut = Out("surround.flac");
    PrepareCut(job, surround, cut, 0.2, 1.2);
    RunJob(job);
    ASSERT_TRUE(JobDone(job));
    EXPECT_EQ(Ffprobe(cut).channels, 6);
}

// Found by fuzzing the profile reader: a name or value that is not UTF-8, written into a
// UTF-16 file, came back as U+FFFD, so the key written was not the key read.
TEST(HostileProfile, TextThatIsNotUtf8IsNotWrittenIntoAUtf16File) {
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[DIR]\r\nopen=1\r\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    IniDocument document = IniDocument::Parse(utf16);
    const std::string before = document.Serialize();
    EXPECT_FALSE(document.Set("DIR\xCA\xCA", "open", "1"));
    EXPECT_FALSE(document.Set("DIR", "op\xFF", "1"));
    EXPECT_FALSE(document.Set("DIR", "open", "\xC3("));
    EXPECT_EQ(document.Serialize(), before);
    ASSERT_TRUE(document.Set("DIR", "open", "0"));
    EXPECT_EQ(IniDocument::Parse(document.Serialize()).Get("DIR", "open"), "0");

    // A UTF-8 file keeps such bytes exactly as given.
    IniDocument plain = IniDocument::Parse("[DIR]\nopen=1\n");
    ASSERT_TRUE(plain.Set("PATH", "name", "/tmp/\xFF\xFE"));
    EXPECT_EQ(IniDocument::Parse(plain.Serialize()).Get("PATH", "name"), "/tmp/\xFF\xFE");
}

TEST(HostileProfile, WriterNeverHalfWritesOnHostileFiles) {
    TempDir dir;
    const fs::path file = dir / "setting.ini";
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        std::string bytes(static_cast<std::size_t>(random() % 3000), '\0');
        for (auto& b : bytes)
            b = static_cast<char>(random() % 4 == 0 ? "[]=\n\r;"[random() % 6] : random() & 0xFF);
        if (round % 3 == 0)
            bytes = "\xFF\xFE" + bytes;
        WriteBytes(file, bytes);
        const bool written = WriteProfileString(file, "PATH", "name", "/music/out put");
        if (written) {
            EXPECT_EQ(ReadProfileString(file, "PATH", "name"), "/music/out put") << round;
        } else {
            EXPECT_EQ(ReadFileBytes(file), bytes) << round;
        }
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path()))
            ++entries;
        EXPECT_EQ(entries, 1u) << "no temporary file is left behind";
    }
}

// A hand-edited or planted setting.ini names a language file by a path: the texts still
// come from a file of the program's languages folder, never from one elsewhere.
TEST(HostileProfile, LanguageSettingNeverReadsAFileOutsideTheLanguagesFolder) {
    TempDir dir;
    fs::create_directory(dir / "languages");
    WriteBytes(dir / "planted.ini", "[APPLICATION]\nname=planted\n");
    WriteBytes(dir / "languages" / "planted.ini", "[APPLICATION]\nname=own\n");
    std::string climb;
    for (int i = 0; i < 64; ++i)
        climb += "../";
    const SettingsFile settings(dir.path());
    for (const std::string& setting :
         {(dir / "planted.ini").string(), std::string("../planted.ini"),
          climb + (dir / "planted.ini").relative_path().string(), std::string("./../planted.ini"),
          std::string("languages/../../planted.ini"), std::string("//planted.ini")}) {
        SCOPED_TRACE(setting);
        settings.SetLanguageFile(setting);
        ASSERT_EQ(settings.LanguageFile(), setting);
        EXPECT_EQ(settings.LanguageFileInForce(), dir / "languages" / "planted.ini");
        EXPECT_EQ(LanguageTable::Load(settings.LanguageFileInForce()).Application("name"), "own");
    }
}

}  // namespace
}  // namespace tolvane
