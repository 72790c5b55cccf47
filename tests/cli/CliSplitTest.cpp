// tolvane-cli split run as a real program: the plan's errors, the parts it prints and
// writes, and the tags ffprobe reads back from them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <sys/resource.h>
#include <fstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "CliRun.h"
#include "CutPrecision.h"
#include "MediaFixtures.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using testing::FolderEntries;
using testing::TempDir;

void WriteText(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

// The tags ffprobe finds in the container and the audio stream, "key=value" lines with
// lower-case keys.
std::string ProbedTags(const fs::path& file) {
    std::string out;
    testing::RunCommand(
        "ffprobe -v error -show_entries format_tags:stream_tags -of "
        "default=nw=1 " +
            Q(file),
        &out);
    std::string lines;
    std::size_t from = 0;
    while (from < out.size()) {
        std::size_t end = out.find('\n', from);
        std::string line = out.substr(from, end - from);
        from = end == std::string::npos ? out.size() : end + 1;
        const std::size_t equals = line.find('=');
        if (line.rfind("TAG:", 0) != 0 || equals == std::string::npos)
            continue;
        std::string key = line.substr(4, equals - 4);
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        lines += key + line.substr(equals) + "\n";
    }
    return lines;
}

constexpr const char* kSheet =
    "PERFORMER \"The Band\"\nTITLE \"Live Album\"\nREM DATE 1999\n"
    "FILE \"live.EXT\" WAVE\n"
    "  TRACK 01 AUDIO\n    TITLE \"Opening\"\n    INDEX 01 00:00:00\n"
    "  TRACK 02 AUDIO\n    TITLE \"Encore: Two\"\n"
    "    PERFORMER \"Guest\"\n    INDEX 01 00:01:30\n";

TEST(CliSplit, BadPlansExitWithTwoAndWriteNothing) {
    TempDir dir;
    const fs::path source = testing::MakeTone(dir.path(), "tone.wav", 4.0);
    WriteText(dir / "broken.cue", "FILE \"tone.wav\" WAVE\n  TRACK 01 AUDIO\n  INDEX 01 xx\n");
    WriteText(dir / "late.cue",
              "FILE \"tone.wav\" WAVE\n  TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
              "  TRACK 02 AUDIO\n  INDEX 01 00:09:00\n");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--at 00:00:04.000", "at or past the end"},
        {"--at 00:00:09.000", "at or past the end"},
        {"--at 00:00:01.000,00:00:01.000", "two split points at 00:00:01.000"},
        {"--at 1.5", "bad time \"1.5\" for --at"},
        {"", "needs one of --at, --cue, --silence and --every"},
        {"--at 00:00:01.000 --every 00:00:01.000", "only one of"},
        {"--every 00:00:00.000", ""},
        {"--threshold -20 --at 00:00:01.000", "go with --silence"},
        {"--cue " + Q(dir / "broken.cue"), "line 3"},
        {"--cue " + Q(dir / "late.cue"), "line 5"},
        {"--cue " + Q(dir / "none.cue"), ""},
    };
    for (const auto& [options, message] : cases) {
        CliRun run = RunCli("split " + Q(source) + " " + options + " --out " + Q(dir.path()));
        EXPECT_EQ(run.status, 2) << options << ": " << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << options << ": " << run.err;
        EXPECT_EQ(run.out, "") << options;
    }
    EXPECT_EQ(FolderEntries(dir.path()),
              (std::vector<std::string>{"broken.cue", "late.cue", "tone.wav"}));
}

TEST(CliSplit, PointsGiveNumberedPartsAndTakenNamesAreKept) {
    TempDir dir;
    const fs::path source = testing::MakeTone(dir.path(), "tone.wav", 3.0);
    WriteText(dir / "tone (02).wav", "mine");
    CliRun dry = RunCli("split " + Q(source) + " --at 00:00:02.000,00:00:01.000 --dry-run --out " +
                        Q(dir.path()));
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.out.find("00:00:01.000 00:00:02.000 "), std::string::npos) << dry.out;
    EXPECT_EQ(FolderEntries(dir.path()).size(), 2u);

    CliRun run = RunCli("split tone.wav --at 00:00:01.000,00:00:02.000 --json", dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "[\n"
              "{\"path\": \"./tone (01).wav\", \"start\": \"00:00:00.000\", \"end\": "
              "\"00:00:01.000\", \"title\": null},\n"
              "{\"path\": \"./tone (02)(0).wav\", \"start\": \"00:00:01.000\", \"end\": "
              "\"00:00:02.000\", \"title\": null},\n"
              "{\"path\": \"./tone (03).wav\", \"start\": \"00:00:02.000\", \"end\": "
              "\"00:00:03.000\", \"title\": null}\n]\n");
    EXPECT_EQ(testing::ReadFileBytes(dir / "tone (02).wav"), "mine");
    EXPECT_NEAR(testing::Ffprobe(dir / "tone (03).wav").durationSec, 1.0, 1e-3);
    CliRun every = RunCli("split tone.wav --every 00:00:02.000", dir.path());
    EXPECT_EQ(every.out, "./tone (01)(0).wav\n./tone (02)(1).wav\n") << every.err;
}

// A chained Ogg file splits on its own timeline: the parts, each decoded by the format's
// reference decoder, are the file's audio one after another, a part that spans a seam
// as well as one inside a link.
TEST(CliSplit, ChainedOggPartsPlayTheFileInTurn) {
    struct Case {
        std::string extension;
        std::string codecArgs;
        testing::Decoder decoder;
    };
    for (const Case& c : {Case{"opus", "-c:a libopus -b:a 96k", testing::Decoder::Opusdec},
                          Case{"ogg", "-c:a libvorbis -q:a 4", testing::Decoder::Oggdec}}) {
        SCOPED_TRACE(c.extension);
        if (!testing::DecoderInstalled(c.decoder))
            GTEST_SKIP() << testing::DecoderName(c.decoder) << " is not installed";
        TempDir dir;
        const testing::ChainedOgg chain =
            testing::MakeChainedOgg(dir.path(), "chain", c.extension, c.codecArgs, {1.5, 1.8});
        const fs::path out = dir / "parts";
        fs::create_directory(out);
        const CliRun run =
            RunCli("split " + Q(chain.file) + " --at 00:00:01.000,00:00:02.000 --out " + Q(out));
        ASSERT_EQ(run.status, 0) << run.err;
        const testing::DecodedAudio whole = testing::Decode(chain.file, c.decoder);
        std::size_t total = 0;
        for (const std::string name : {"chain (01).", "chain (02).", "chain (03)."}) {
            const testing::DecodedAudio part =
                testing::Decode(out / (name + c.extension), c.decoder);
            total += part.samples.size();
        }
        // Vorbis parts start at a whole packet: each up to two packets early.
        const std::size_t slack = c.extension == "opus" ? 0 : 2 * 2048;
        EXPECT_GE(total, whole.samples.size());
        EXPECT_LE(total, whole.samples.size() + slack);
        EXPECT_EQ(whole.samples.size(), static_cast<std::size_t>(3.3 * whole.rate));
    }
}

TEST(CliSplit, SilencesSplitInTheirMiddleAndSilentPartsAreLeftOut) {
    TempDir dir;
    // Tone, 2 s of silence, tone, and silence to the end.
    testing::RunFfmpeg(
        "-f lavfi -i \"aevalsrc='0.3*sin(2*PI*440*t)*(lt(t,3)+gte(t,5)*lt(t,8))':"
        "s=44100:d=10\" -c:a pcm_s16le",
        dir / "talk.wav");
    CliRun run = RunCli("split talk.wav --silence --min-silence 00:00:01.500 --json", dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "[\n"
              "{\"path\": \"./talk (01).wav\", \"start\": \"00:00:00.000\", \"end\": "
              "\"00:00:04.000\", \"title\": null},\n"
              "{\"path\": \"./talk (02).wav\", \"start\": \"00:00:04.000\", \"end\": "
              "\"00:00:09.000\", \"title\": null}\n]\n");
    CliRun none = RunCli("split talk.wav --silence --min-silence 00:00:03.000", dir.path());
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("no silence"), std::string::npos) << none.err;
}

struct TagCase {
    const char* extension;
    const char* codecArgs;
};

class CliSplitTags : public ::testing::TestWithParam<TagCase> {};

TEST_P(CliSplitTags, CueTracksAreNamedAndTaggedKeepTagsAddsTheSources) {
    const TagCase& format = GetParam();
    TempDir dir;
    const std::string name = std::string("live") + format.extension;
    const fs::path source =
        testing::MakeTone(dir.path(), name, 120.0, 44100, 2,
                          std::string(format.codecArgs) + " -metadata composer=Someone");
    std::string sheet = kSheet;
    sheet.replace(sheet.find("live.EXT"), 8, name);
    WriteText(dir / "live.cue", sheet);
    CliRun run = RunCli("split " + name + " --cue live.cue --keep-tags", dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string second = std::string("02 - Encore_ Two") + format.extension;
    EXPECT_EQ(run.out, std::string("./01 - Opening") + format.extension + "\n./" + second + "\n");
    const std::string tags = ProbedTags(dir / second);
    for (const char* tag :
         {"title=Encore: Two", "artist=Guest", "album=Live Album", "date=1999", "composer=Someone"})
        EXPECT_NE(tags.find(tag), std::string::npos) << tag << " in\n" << tags;
    EXPECT_TRUE(tags.find("track=2/2") != std::string::npos ||
                tags.find("tracknumber=2/2") != std::string::npos)
        << tags;
}

INSTANTIATE_TEST_SUITE_P(Formats, CliSplitTags,
                         ::testing::Values(TagCase{".mp3", "-c:a libmp3lame -b:a 128k"},
                                           TagCase{".flac", ""}, TagCase{".ogg", "-c:a libvorbis"},
                                           TagCase{".opus", "-c:a libopus"},
                                           TagCase{".m4a", "-c:a aac"}),
                         [](const auto& info) { return std::string(info.param.extension + 1); });

TEST(CliSplit, KeepTagsCopiesTheSourcesTagsIntoACut) {
    TempDir in, out;
    const fs::path source = testing::MakeTone(in.path(), "song.mp3", 3.0, 44100, 2,
                                              "-c:a libmp3lame -metadata title=Tagged "
                                              "-metadata TLEN=3000");
    ASSERT_NE(ProbedTags(source).find("tlen=3000"), std::string::npos);
    CliRun run = RunCli("cut " + Q(source) + " --end 00:00:01.000 --keep-tags", out.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string tags = ProbedTags(out / "song.mp3");
    EXPECT_NE(tags.find("title=Tagged"), std::string::npos) << tags;
    EXPECT_EQ(tags.find("tlen"), std::string::npos) << tags;  // the source's length
}

TEST(CliSplit, CtrlCStopsAfterThePartBeingWrittenWhichIsKeptWhole) {
    TempDir dir;
    const fs::path source =
        testing::MakeTone(dir.path(), "long.wav", 540.0, 44100, 1, "-c:a pcm_s16le");
    testing::ChildProgram cli(TOLVANE_CLI_PATH,
                              {"split", source.string(), "--at", "00:03:00.000,00:06:00.000",
                               "--out", dir.path().string()},
                              dir / "stdout", dir / "stderr", {});
    ASSERT_TRUE(cli.started());
    const fs::path first = dir / "long (01).wav";
    const bool running =
        testing::RunChildUntil(cli, [&] { return testing::FileSizeOrZero(first) > 2'000'000; });
    ASSERT_TRUE(running) << "the split ended before the signal";
    cli.Signal(SIGINT);
    const testing::ChildEnd end = cli.WaitOrKill(std::chrono::seconds(120));
    EXPECT_TRUE(end.exited && end.code == 130) << end.Describe();
    EXPECT_EQ(testing::ReadFileBytes(dir / "stdout"), first.string() + "\n");
    EXPECT_NE(testing::ReadFileBytes(dir / "stderr").find("cancelled; 1 of 3 parts were written"),
              std::string::npos);
    EXPECT_NEAR(testing::Ffprobe(first).durationSec, 180.0, 1e-3);
    EXPECT_EQ(FolderEntries(dir.path()),
              (std::vector<std::string>{"long (01).wav", "long.wav", "stderr", "stdout"}));
}

// A file size limit lets the first part through and stops the second in the middle: the
// split ends there, the written part stays, the broken one is removed, the third is not
// begun.
TEST(CliSplit, APartFailingMidwayEndsTheSplitAndKeepsTheWrittenParts) {
    TempDir dir;
    const fs::path source =
        testing::MakeTone(dir.path(), "rec.wav", 30.0, 44100, 1, "-c:a pcm_s16le");
    testing::ChildProgram::Options options;
    options.beforeExec = [] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1'500'000, 1'500'000};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    testing::ChildProgram cli(TOLVANE_CLI_PATH,
                              {"split", source.string(), "--at", "00:00:05.000,00:00:25.000",
                               "--out", dir.path().string()},
                              dir / "stdout", dir / "stderr", options);
    ASSERT_TRUE(cli.started());
    const testing::ChildEnd end = cli.WaitOrKill(std::chrono::seconds(120));
    EXPECT_TRUE(end.exited && end.code == 1) << end.Describe();
    EXPECT_EQ(testing::ReadFileBytes(dir / "stdout"), (dir / "rec (01).wav").string() + "\n");
    const std::string err = testing::ReadFileBytes(dir / "stderr");
    EXPECT_NE(err.find("part 2 (rec (02).wav) failed: "), std::string::npos) << err;
    EXPECT_NEAR(testing::Ffprobe(dir / "rec (01).wav").durationSec, 5.0, 1e-3);
    EXPECT_EQ(FolderEntries(dir.path()),
              (std::vector<std::string>{"rec (01).wav", "rec.wav", "stderr", "stdout"}));
}

}  // namespace
}  // namespace tolvane
