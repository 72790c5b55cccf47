// join --copy and cut --remove run as the real program: outputs, refusals, statuses.

#include <gtest/gtest.h>

#include <fstream>

#include "CliRun.h"
#include "engine/ffmpeg/FfmpegHolders.h"
#include "engine/probe/OggLength.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using testing::Ffprobe;
using testing::TempDir;

fs::path Noise(const fs::path& dir, const std::string& name, double seconds,
               const std::string& args) {
    return testing::RunFfmpeg("-f lavfi -i \"anoisesrc=d=" + std::to_string(seconds) +
                                  ":a=0.3,lowpass=f=5000\" -ac 2 -ar 44100 " + args,
                              dir / name)
               ? dir / name
               : fs::path();
}

struct Case {
    std::string extension, args;
};
const Case kCases[] = {
    {"flac", "-c:a flac -sample_fmt s16"}, {"mp3", "-c:a libmp3lame"}, {"wav", "-c:a pcm_s16le"}};

TEST(CliCopyJoin, JoinsInTheFirstFilesFormatUnderItsName) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.extension);
        TempDir dir;
        const fs::path a = Noise(dir.path(), "a." + c.extension, 1.0, c.args);
        const fs::path b = Noise(dir.path(), "b." + c.extension, 1.5, c.args);
        const fs::path out = dir / "out";
        fs::create_directory(out);
        std::ofstream(out / ("a." + c.extension)) << "taken";
        const CliRun run = RunCli("join --copy " + Q(a) + " " + Q(b) + " --out " + Q(out));
        ASSERT_EQ(run.status, 0) << run.err;
        const fs::path result = out / ("a(0)." + c.extension);
        EXPECT_EQ(run.out, result.string() + "\n");
        EXPECT_EQ(testing::ReadFileBytes(out / ("a." + c.extension)), "taken");
        EXPECT_EQ(Ffprobe(result).codecName, Ffprobe(a).codecName);
        EXPECT_NEAR(Ffprobe(result).durationSec, Ffprobe(a).durationSec + Ffprobe(b).durationSec,
                    0.002);
    }
}

TEST(CliCopyJoin, UnlikeFilesAreRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    const fs::path a = Noise(dir.path(), "a.mp3", 1.0, "-c:a libmp3lame");
    const fs::path b = Noise(dir.path(), "b.mp3", 1.0, "-c:a libmp3lame -ar 22050");
    const fs::path out = dir / "out";
    fs::create_directory(out);
    const CliRun run = RunCli("join --copy " + Q(a) + " " + Q(a) + " " + Q(b) + " --out " + Q(out));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tolvane-cli: " + b.string() + ": 22050 Hz, the first input is 44100 Hz\n");
    EXPECT_TRUE(testing::FolderEntries(out).empty());
}

TEST(CliCopyJoin, EncoderOptionsDoNotGoWithCopy) {
    const CliRun run = RunCli("join --copy a.mp3 b.mp3 --bitrate 128k");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--copy keeps the files' own encoding"), std::string::npos) << run.err;
}

// The logical streams of an Ogg file, one after another; 0 when unreadable.
std::size_t LinkCount(const fs::path& file) {
    ff::InputFormatPtr input;
    if (ff::OpenInput(file.c_str(), input) < 0 ||
        avformat_find_stream_info(input.get(), nullptr) < 0)
        return 0;
    return ReadOggLinks(*input, *input->streams[0]).value_or(std::vector<OggLink>{}).size();
}

// Ogg Opus and Vorbis joins and removals are chained by default, one stream per stretch;
// --single-stream asks for one stream.
TEST(CliCopyJoin, OggStretchesAreChainedUnlessOneStreamIsAskedFor) {
    struct Switch {
        std::string option;
        std::size_t links;  // of a join of two files, and of a removal inside a file
    };
    for (const std::string extension : {"opus", "ogg"}) {
        const std::string args =
            extension == "opus" ? "-c:a libopus -ar 48000" : "-c:a libvorbis -ar 48000";
        for (const Switch& s :
             {Switch{"", 2}, Switch{"--chained", 2}, Switch{"--single-stream", 1}}) {
            SCOPED_TRACE(extension + " " + s.option);
            TempDir dir;
            const fs::path a = Noise(dir.path(), "a." + extension, 1.3, args);
            const fs::path b = Noise(dir.path(), "b." + extension, 1.5, args);
            fs::create_directory(dir / "joined");
            fs::create_directory(dir / "cut");
            const CliRun join = RunCli("join --copy " + s.option + " " + Q(a) + " " + Q(b) +
                                       " --out " + Q(dir / "joined"));
            ASSERT_EQ(join.status, 0) << join.err;
            EXPECT_EQ(LinkCount(dir / "joined" / ("a." + extension)), s.links);
            const CliRun removal = RunCli("cut " + Q(b) + " --remove --start 00:00:00.500 --end " +
                                          "00:00:00.900 " + s.option + " --out " + Q(dir / "cut"));
            ASSERT_EQ(removal.status, 0) << removal.err;
            EXPECT_EQ(LinkCount(dir / "cut" / ("b." + extension)), s.links);
        }
    }
}

struct Removal {
    std::string start, end;  // empty: not given
    double length;           // of the output, seconds
};

TEST(CliRemove, WritesTheFileWithoutTheStretch) {
    const Removal removals[] = {{"00:00:01.000", "00:00:02.500", 2.5},
                                {"", "00:00:01.000", 3.0},
                                {"00:00:03.000", "", 3.0},
                                {"00:00:02.000", "00:00:02.001", 3.999}};
    TempDir dir;
    const fs::path source = Noise(dir.path(), "s.wav", 4.0, "-c:a pcm_s16le");
    int n = 0;
    for (const Removal& r : removals) {
        SCOPED_TRACE(r.start + "-" + r.end);
        const fs::path out = dir / ("out" + std::to_string(n++));
        fs::create_directory(out);
        std::string arguments = "cut " + Q(source) + " --remove --out " + Q(out);
        if (!r.start.empty())
            arguments += " --start " + r.start;
        if (!r.end.empty())
            arguments += " --end " + r.end;
        const CliRun run = RunCli(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, (out / "s.wav").string() + "\n");
        EXPECT_NEAR(Ffprobe(out / "s.wav").durationSec, r.length, 0.0005);
    }
}

TEST(CliRemove, NothingToRemoveOrNothingLeftIsABadCommandLine) {
    TempDir dir;
    const fs::path source = Noise(dir.path(), "s.wav", 2.0, "-c:a pcm_s16le");
    const std::pair<std::string, std::string> cases[] = {
        {"cut " + Q(source) + " --remove", "--remove needs the stretch to remove"},
        {"cut " + Q(source) + " --remove --start 00:00:00.000 --end 00:00:02.000",
         "the stretch to remove is the whole file: nothing would remain"},
        {"cut " + Q(source) + " --remove --start 00:00:01.000 --end 00:00:01.000",
         "equals the end: nothing to remove"}};
    for (const auto& [arguments, message] : cases) {
        const CliRun run = RunCli(arguments + " --out " + Q(dir.path()));
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
    EXPECT_EQ(testing::FolderEntries(dir.path()).size(), 1u);  // the source alone
}

}  // namespace
}  // namespace tolvane
