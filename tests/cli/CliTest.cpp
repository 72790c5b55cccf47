// tolvane-cli run as a real program: exit codes, one-line messages, outputs checked
// with ffprobe, progress output and Ctrl-C.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ChildProcess.h"
#include "CliRun.h"
#include "JobTestSupport.h"
#include "MediaFixtures.h"
#include "NameQuoting.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using testing::ChildProgram;
using testing::Ffprobe;
using testing::FfprobePackets;
using testing::FileSizeOrZero;
using testing::Fixtures;
using testing::ReadFileBytes;
using testing::RunChildUntil;
using testing::ShellQuote;
using testing::TempDir;

int LineCount(const std::string& text) {
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

// ---- Command line --------------------------------------------------------------------

TEST(CliUsage, HelpPrintsTheUsageAndSucceeds) {
    CliRun run = RunCli("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("tolvane-cli cut FILE"), std::string::npos);
    EXPECT_NE(run.out.find("Exit status"), std::string::npos);
    EXPECT_EQ(RunCli("cut --help").status, 0);
    EXPECT_NE(run.out.find("probe [--json] FILE..."), std::string::npos);
    EXPECT_NE(run.out.find("cut FILE... [--start TIME]"), std::string::npos);
}

TEST(CliUsage, VersionPrintsOneLine) {
    for (const std::string form : {"--version", "version"}) {
        CliRun run = RunCli(form);
        EXPECT_EQ(run.status, 0) << form;
        EXPECT_EQ(run.out, "tolvane-cli " TOLVANE_VERSION "\n") << form;
        EXPECT_EQ(run.err, "") << form;
    }
}

TEST(CliUsage, BadCommandLinesExitWithTwoAndOneLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "no command"},
        {"slice a.mp3", "unknown command \"slice\""},
        {"cut", "at least one file"},
        {"cut a.mp3 b.mp3 --json", "unknown option --json for cut"},
        {"--version extra", "takes no arguments"},
        {"cut a.mp3 --bitrate 128k", "unknown option --bitrate"},
        {"cut a.mp3 --start", "needs a value"},
        {"probe", "at least one file"},
        {"join a.mp3", "at least two files"},
        {"join a.mp3 b.mp3 --rate 44000", "bad sample rate"},
        {"join a.mp3 b.mp3 --channels 3", "bad channel count"},
        {"join a.mp3 b.mp3 --bitrate fast", "bad bit rate"},
        // A bit rate MP3 lacks at the sample rate would be written as another one.
        {"join a.mp3 b.mp3 --bitrate 320k --rate 22050",
         "MP3 at 22050 Hz has no bit rate of 320k (the nearest is 160k); give one of 8k, 16k"},
        {"join a.mp3 b.mp3 --rate 24000 --bitrate 192k",
         "no bit rate of 192k (the nearest is 160k)"},
        {"join a.mp3 b.mp3 --bitrate 16k", "MP3 at 44100 Hz has no bit rate of 16k"},
        {"join a.mp3 b.mp3 --bitrate 100k --rate 48000", "(the nearest is 96k)"},
        {"join a.mp3 b.mp3 --bitrate 128500", "no bit rate of 128500 bit/s"},
        {"join a.opus b.opus --single-stream", "--single-stream goes with --copy"},
        {"cut a.opus --end 00:00:01.000 --single-stream", "--single-stream goes with --remove"},
        {"join --copy a.opus b.opus --chained --single-stream", "exclude each other"},
    };
    for (const auto& [arguments, message] : cases) {
        CliRun run = RunCli(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(run.err.find(message), std::string::npos) << arguments << ": " << run.err;
        EXPECT_EQ(LineCount(run.err), 1) << arguments << ": " << run.err;
        EXPECT_EQ(run.out, "") << arguments;
    }
}

TEST(CliUsage, BadTimesAreRefusedBeforeAnyFileIsRead) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--start 1:02", "bad time \"1:02\" for --start"},
        {"--end 00:00:10", "bad time \"00:00:10\" for --end"},
        {"--start 00:00:05.5", "HH:MM:SS.mmm"},
        {"--start=00:61:00.000", "below 60"},
        {"--start -00:00:01.000", "cannot be negative"},
        {"--start 00:00:20.000 --end 00:00:10.000", "lies after the end"},
    };
    for (const auto& [arguments, message] : cases) {
        CliRun run = RunCli("cut missing.mp3 " + arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(run.err.find(message), std::string::npos) << arguments << ": " << run.err;
        EXPECT_EQ(LineCount(run.err), 1) << run.err;
    }
}

// ---- Inputs and folders ----------------------------------------------------------------

TEST(CliInput, MissingFileIsNamedInOneLine) {
    TempDir dir;
    for (const std::string command : {"probe ", "cut ", "join "}) {
        std::string arguments = command + Q(dir / "nothere.mp3");
        if (command == "join ")
            arguments += " " + Q(dir / "nothere2.mp3");
        CliRun run = RunCli(arguments, dir.path());
        EXPECT_EQ(run.status, 1) << arguments;
        EXPECT_NE(run.err.find((dir / "nothere.mp3").string() + ": no such file"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(testing::FolderEntries(dir.path()).size(), 0u);
}

TEST(CliInput, GarbageAndEmptyFilesAreRefused) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    for (const fs::path& bad : {fixtures.Garbage(), fixtures.Empty(), fixtures.VideoFile()}) {
        std::string before = ReadFileBytes(bad);
        CliRun run = RunCli("cut " + Q(bad), dir.path());
        EXPECT_EQ(run.status, 1) << bad;
        EXPECT_EQ(run.err.rfind("tolvane-cli: " + bad.string() + ": ", 0), 0u) << run.err;
        EXPECT_EQ(LineCount(run.err), 1) << run.err;
        EXPECT_EQ(ReadFileBytes(bad), before);
    }
    CliRun probe = RunCli("probe " + Q(fixtures.Garbage()), dir.path());
    EXPECT_EQ(probe.status, 1);
    EXPECT_NE(probe.err.find("garbage.mp3: "), std::string::npos);
}

TEST(CliInput, OutputFolderMustExistAndBeAFolder) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    fs::path mp3 = fixtures.Mp3(1.0);
    CliRun run = RunCli("cut " + Q(mp3) + " --out " + Q(dir / "nowhere"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("nowhere: no such output folder"), std::string::npos) << run.err;
    run = RunCli("cut " + Q(mp3) + " --out " + Q(mp3));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("not a folder"), std::string::npos) << run.err;
}

TEST(CliInput, UnwritableOutputFolderIsReportedAndLeftClean) {
    if (geteuid() != 0 && access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "no setpriv";
    TempDir dir;
    Fixtures fixtures(dir.path());
    fs::path mp3 = fixtures.Mp3(1.0);
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
    fs::permissions(dir.path(), fs::perms::others_all, fs::perm_options::add);
    fs::permissions(mp3, fs::perms::others_read, fs::perm_options::add);
    std::string prefix =
        geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    std::string err;
    int status = testing::RunCommand(prefix + ShellQuote(TOLVANE_CLI_PATH) + " cut " + Q(mp3) +
                                         " --out " + Q(dir / "locked") + " 2>&1",
                                     &err);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("cannot write into the output folder"), std::string::npos) << err;
    EXPECT_TRUE(testing::FolderEntries(dir / "locked").empty());
}

TEST(CliProbe, TellsDurationAndParameters) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    CliRun run = RunCli("probe " + Q(fixtures.Wav(2.0)) + " " + Q(fixtures.AacNamedMp3()));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("tone2000.wav: 00:00:02.000, 44100 Hz, 2 channels"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("aac_inside.mp3: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("holds aac audio despite its .mp3 name"), std::string::npos) << run.out;
}

// Parses the JSON the tool printed with Python's json module and writes one line per
// object: usable, rate, channels, codec, container, duration in ms, error. Exits 3 when
// an object's path differs from the argument at its place.
const char* kReadProbeJson = R"py(
import json, sys
objects = json.load(open(sys.argv[1], encoding="utf-8"))
assert isinstance(objects, list)
for path, o in zip(sys.argv[2:], objects):
    if o["path"] != path:
        sys.exit(3)
    print(o["usable"], o.get("rate"), o.get("channels"), o.get("codec"), o.get("container"),
          round(o["duration"] * 1000) if "duration" in o else None, o.get("error"), sep="|")
print(len(objects))
)py";

TEST(CliProbe, JsonHoldsOneObjectPerFileAsFfprobeSeesIt) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    const fs::path odd = dir / "say \"hi\"\\\t\n\x01 \xE6\xAD\x8C.wav";
    fs::copy_file(fixtures.Wav(1.5), odd);
    const struct {
        fs::path file;
        bool usable;
        std::string error;  // part of it
    } cases[] = {
        {fixtures.Wav(2.0), true, ""},
        {fixtures.Mp3(2.0), true, ""},
        {fixtures.Flac(2.0), true, ""},
        {fixtures.M4a(2.0), true, ""},
        {fixtures.Ogg(2.0), true, ""},
        {fixtures.AacNamedMp3(), true, ""},
        {odd, true, ""},
        {fixtures.Garbage(), false, "not an audio file"},
        {dir / "gone.mp3", false, "no such file"},
        {dir.path(), false, "is a folder"},
    };
    std::string arguments;
    for (const auto& c : cases)
        arguments += " " + Q(c.file);
    CliRun run = RunCli("probe --json" + arguments);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.err, "");
    std::ofstream(dir / "probe.json") << run.out;
    std::ofstream(dir / "read.py") << kReadProbeJson;
    std::string lines;
    ASSERT_EQ(
        testing::RunCommand(
            "python3 " + Q(dir / "read.py") + " " + Q(dir / "probe.json") + arguments, &lines),
        0)
        << run.out;
    std::istringstream read(lines);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.string());
        std::string line;
        ASSERT_TRUE(std::getline(read, line));
        if (!c.usable) {
            EXPECT_EQ(line.rfind("False|None|None|None|None|None|", 0), 0u) << line;
            EXPECT_NE(line.find(c.error), std::string::npos) << line;
            continue;
        }
        testing::ProbeInfo info = Ffprobe(c.file);
        ASSERT_TRUE(info.ok);
        // FFmpeg estimates an MP3's length from its frames; the Info header states it.
        const double seconds =
            c.file.extension() == ".mp3" && info.codecName == "mp3" ? 2.0 : info.durationSec;
        const std::string expected = "True|" + std::to_string(info.sampleRate) + "|" +
                                     std::to_string(info.channels) + "|" + info.codecName + "|" +
                                     info.formatName + "|" +
                                     std::to_string(std::lround(seconds * 1000)) + "|None";
        EXPECT_EQ(line, expected);
    }
    std::string count;
    std::getline(read, count);
    EXPECT_EQ(count, std::to_string(std::size(cases)));
    // An all-usable list succeeds.
    EXPECT_EQ(RunCli("probe --json " + Q(fixtures.Wav(2.0))).status, 0);
}

// ---- Names as printed ---------------------------------------------------------------------

// Expected forms taken from GNU ls --quoting-style=shell-escape in a UTF-8 locale. The
// tool quotes only names it cannot print as they are; every other name stays plain.
TEST(CliNames, NamesAreQuotedAsLsQuotesThem) {
    const struct {
        std::string name;
        std::string lsForm;
        bool escapedForOutput;
    } cases[] = {
        {"plain.mp3", "plain.mp3", false},
        {"/music/a-b_c,d.mp3", "/music/a-b_c,d.mp3", false},
        {"\xE6\xAD\x8C\xE6\x9B\xB2.mp3", "\xE6\xAD\x8C\xE6\x9B\xB2.mp3", false},
        {"new\nline.mp3", "'new'$'\\n''line.mp3'", true},
        {"a\n", "'a'$'\\n'", true},
        {"\nb", "''$'\\n''b'", true},
        {"\r\n", "''$'\\r\\n'", true},
        {"tab\there", "'tab'$'\\t''here'", true},
        {"esc\x1b[2J", "'esc'$'\\033''[2J'", true},
        {"x\a\by", "'x'$'\\a\\b''y'", true},
        {"del\x7f", "'del'$'\\177'", true},
        {"c1\xC2\x85x", "'c1'$'\\302\\205''x'", true},  // U+0085, a C1 control
        {"lat\xE9in", "'lat'$'\\351''in'", true},       // not UTF-8
        {"trunc\xE6\xAD", "'trunc'$'\\346\\255'", true},
        {"a'b\nc", "'a'\\''b'$'\\n''c'", true},
        {"it's\tx", "'it'\\''s'$'\\t''x'", true},
        {"it's", "\"it's\"", false},
        {"a'b'c", "\"a'b'c\"", false},
        {"it's $5", "'it'\\''s $5'", false},
        {"it's \"q\"", "'it'\\''s \"q\"'", false},
        {"sp ace", "'sp ace'", false},
        {"back\\slash.mp3", "'back\\slash.mp3'", false},
        {"a=b", "'a=b'", false},
        {"q?", "'q?'", false},
        {"#start", "'#start'", false},
        {"mid#x", "mid#x", false},
        {"~home", "'~home'", false},
        {"{", "'{'", false},
        {"a{b", "a{b", false},
        {"@x", "@x", false},
    };
    for (const auto& [name, lsForm, escapedForOutput] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(cli::ShellEscapeQuoted(name), lsForm);
        EXPECT_EQ(cli::NeedsEscapingForOutput(name), escapedForOutput);
        EXPECT_EQ(cli::NameForOutput(name), escapedForOutput ? lsForm : name);
    }
}

TEST(CliNames, JsonStringsEscapeWhatJsonRequires) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain.mp3", "\"plain.mp3\""},
        {"", "\"\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"back\\slash", "\"back\\\\slash\""},
        {"a\nb\tc\rd", "\"a\\nb\\tc\\rd\""},
        {"\b\f", "\"\\b\\f\""},
        {std::string("nul\0x", 5), "\"nul\\u0000x\""},
        {"esc\x1b\x1f", "\"esc\\u001b\\u001f\""},
        {"del\x7f", "\"del\x7f\""},  // allowed as it is
        {"/ slash", "\"/ slash\""},
        {"\xE6\xAD\x8C\xF0\x9F\x8E\xB5", "\"\xE6\xAD\x8C\xF0\x9F\x8E\xB5\""},
        {"lat\xE9in", "\"lat\xEF\xBF\xBDin\""},  // not UTF-8
        {"trunc\xE6\xAD", "\"trunc\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"sur\xED\xA0\x80", "\"sur\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
    };
    for (const auto& [text, json] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(cli::JsonString(text), json);
    }
}

// A line break in a name stays inside the tool's one output line, and the shell reads
// that line back into the real file's name.
TEST(CliNames, ANameWithALineBreakIsPrintedOnOneQuotedLine) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    const std::string name = "new\nline.mp3";
    fs::copy_file(fixtures.Mp3(1.0), dir / name);
    fs::create_directory(dir / "out");

    CliRun probe = RunCli("probe " + Q(name), dir.path());
    EXPECT_EQ(probe.status, 0) << probe.err;
    EXPECT_EQ(LineCount(probe.out), 1) << probe.out;
    EXPECT_EQ(probe.out.rfind("'new'$'\\n''line.mp3': 00:00:01.", 0), 0u) << probe.out;

    CliRun cut = RunCli("cut " + Q(name) + " --out out --end 00:00:00.500", dir.path());
    ASSERT_EQ(cut.status, 0) << cut.err;
    EXPECT_EQ(cut.out, "'out/new'$'\\n''line.mp3'\n");
    EXPECT_TRUE(Ffprobe(dir / "out" / name).ok);
    // Every progress line and message names the file on its own line.
    for (std::size_t at = 0; (at = cut.err.find('\n', at)) != std::string::npos; ++at)
        EXPECT_NE(cut.err.compare(at + 1, 4, "line"), 0) << cut.err;
    // bash, as $'...' is not in every /bin/sh.
    const std::string script = "cd " + Q(dir.path()) +
                               " && f=" + cut.out.substr(0, cut.out.size() - 1) +
                               " && test -f \"$f\" && printf %s \"$f\"";
    std::string readBack;
    ASSERT_EQ(testing::RunCommand("bash -c " + ShellQuote(script), &readBack), 0);
    EXPECT_EQ(readBack, "out/" + name);

    CliRun missing = RunCli("cut " + Q("gone\n.mp3"), dir.path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "tolvane-cli: 'gone'$'\\n''.mp3': no such file\n");
}

// ---- Cut --------------------------------------------------------------------------------

TEST(CliCut, TenSecondsOfAnMp3StartAtZeroWithoutTags) {
    TempDir in, out;
    fs::path source = testing::MakeTone(in.path(), "song.mp3", 30.0, 44100, 2,
                                        "-c:a libmp3lame -b:a 128k -metadata title=Tagged");
    ASSERT_TRUE(Ffprobe(source).hasTags);
    // Without --out the current folder takes the output.
    CliRun run =
        RunCli("cut " + Q(source) + " --start 00:00:10.000 --end 00:00:20.000", out.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "./song.mp3\n");
    fs::path result = out / "song.mp3";
    testing::ProbeInfo info = Ffprobe(result);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.codecName, "mp3");
    EXPECT_FALSE(info.hasTags);
    testing::PacketTimes packets = FfprobePackets(result);
    ASSERT_FALSE(packets.pts.empty());
    EXPECT_NEAR(packets.pts.front(), 0.0, 1e-6);
    // The frames before the start that the decoder needs (up to 4624 samples) count
    // here; the Info header drops them on playback.
    double end = packets.pts.back() + packets.duration.back();
    EXPECT_GE(end, 10.0 - 0.03);
    EXPECT_LE(end, 10.0 + 4624 / 44100.0 + 0.027);
    EXPECT_EQ(testing::FolderEntries(out.path()), std::vector<std::string>{"song.mp3"});
}

TEST(CliCut, StartZeroBeginsWithTheFilesFirstPacket) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    fs::path mp3 = fixtures.Mp3(3.0);
    fs::path out = dir / "out";
    fs::create_directory(out);
    CliRun run =
        RunCli("cut " + Q(mp3) + " --start 00:00:00.000 --end 00:00:01.000 --out " + Q(out));
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> first = testing::PacketHashes(out / mp3.filename(), 5);
    EXPECT_EQ(first.size(), 5u);
    EXPECT_EQ(first, testing::PacketHashes(mp3, 5));
    EXPECT_NEAR(Ffprobe(out / mp3.filename()).durationSec, 1.0, 0.06);
}

TEST(CliCut, RangesWithoutAudioFailWithoutFile) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    fs::path out = dir / "out";
    fs::create_directory(out);
    struct Case {
        std::string range, message;
        int status;
    };
    for (const Case& c :
         {Case{"--start 00:00:01.000 --end 00:00:01.000", "equals the end", 2},
          Case{"--start 00:00:03.000", "lies at or after the end of the file", 2}}) {
        SCOPED_TRACE(c.range);
        CliRun run = RunCli("cut " + Q(fixtures.Wav(3.0)) + " " + c.range + " --out " + Q(out));
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
        EXPECT_TRUE(fs::is_empty(out));
    }
}

TEST(CliCut, AnEmptyRangeIsRefusedAlikeInEveryFormat) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    fs::path out = dir / "out";
    fs::create_directory(out);
    for (const fs::path& input :
         {fixtures.Mp3(), fixtures.Flac(), fixtures.Ogg(), fixtures.M4a()}) {
        SCOPED_TRACE(input.filename().string());
        CliRun run =
            RunCli("cut " + Q(input) + " --start 00:00:01.500 --end 00:00:01.500 --out " + Q(out));
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_TRUE(fs::is_empty(out));
    }
}

TEST(CliCut, CutsStartedAtOnceIntoOneFolderAllGetAName) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    const fs::path mp3 = fixtures.Mp3(3.0);
    fs::path out = dir / "out";
    fs::create_directory(out);
    constexpr int kCuts = 20;
    // Each cut writes its exit status to a file of its own.
    std::string script;
    for (int i = 0; i < kCuts; ++i)
        script += "(" + ShellQuote(TOLVANE_CLI_PATH) + " cut " + Q(mp3) +
                  " --end 00:00:01.000 --out " + Q(out) + " >/dev/null 2>&1; echo $? > " +
                  Q(dir / ("status" + std::to_string(i))) + ") & ";
    ASSERT_EQ(testing::RunCommand(script + "wait"), 0);
    for (int i = 0; i < kCuts; ++i)
        EXPECT_EQ(ReadFileBytes(dir / ("status" + std::to_string(i))), "0\n") << i;
    int outputs = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        ++outputs;
        EXPECT_NEAR(Ffprobe(entry.path()).durationSec, 1.0, 0.06) << entry.path();
    }
    EXPECT_EQ(outputs, kCuts);
}

// The source cut short (or grown) while the tool reads it: the output is no stretch of
// the file, so the cut fails, says why and leaves nothing behind.
TEST(CliCut, ASourceChangedDuringTheCutFailsTheCut) {
    TempDir dir, out;
    for (const bool truncate : {true, false}) {
        SCOPED_TRACE(truncate ? "truncated" : "appended to");
        const fs::path source =
            testing::MakeTone(dir.path(), "long.wav", 240.0, 44100, 2, "-c:a pcm_s16le");
        testing::ChildProgram cli(
            TOLVANE_CLI_PATH,
            {"cut", source.string(), "--start", "00:00:01.000", "--out", out.path().string()},
            dir / "stdout", dir / "stderr", {});
        ASSERT_TRUE(cli.started());
        ASSERT_TRUE(testing::RunChildUntil(
            cli, [&] { return testing::FileSizeOrZero(out / "long.wav") > 2'000'000; }));
        if (truncate) {
            fs::resize_file(source, fs::file_size(source) / 2);
        } else {
            std::ofstream(source, std::ios::binary | std::ios::app) << std::string(4096, 'x');
        }
        const testing::ChildEnd end = cli.WaitOrKill(std::chrono::seconds(120));
        EXPECT_TRUE(end.exited && end.code == 1) << end.Describe();
        EXPECT_NE(testing::ReadFileBytes(dir / "stderr").find("changed while it was being read"),
                  std::string::npos)
            << testing::ReadFileBytes(dir / "stderr");
        EXPECT_TRUE(fs::is_empty(out.path()));
    }
}

TEST(CliCut, WavFlacAndM4aKeepTheirFormats) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    fs::path out = dir / "out";
    fs::create_directory(out);
    const std::vector<std::pair<fs::path, std::string>> inputs = {
        {fixtures.Wav(4.0), "pcm_s16le"}, {fixtures.Flac(4.0), "flac"}, {fixtures.M4a(4.0), "aac"}};
    for (const auto& [input, codec] : inputs) {
        CliRun run =
            RunCli("cut " + Q(input) + " --start 00:00:01.000 --end 00:00:03.000 --out " + Q(out));
        ASSERT_EQ(run.status, 0) << input << ": " << run.err;
        fs::path result = out / input.filename();
        EXPECT_EQ(run.out, result.string() + "\n");
        testing::ProbeInfo info = Ffprobe(result);
        EXPECT_EQ(info.codecName, codec) << input;
        // The stop rule writes the first packet that starts at or after the length, so
        // the output may run up to two packets (FLAC: 4096 samples each) past it.
        EXPECT_GE(info.durationSec, 2.0 - 0.03) << input;
        EXPECT_LE(info.durationSec, 2.0 + 2 * 4096 / 44100.0 + 0.01) << input;
    }
}

TEST(CliCut, EndPastTheFileKeepsTheRestAndNamesAvoidExistingFiles) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    fs::path wav = fixtures.Wav(3.0);
    fs::path out = dir / "out";
    fs::create_directory(out);
    std::ofstream(out / "tone3000.wav") << "keep me";
    CliRun run =
        RunCli("cut " + Q(wav) + " --start 00:00:01.000 --end 01:00:00.000 --out " + Q(out));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, (out / "tone3000(0).wav").string() + "\n");
    EXPECT_NEAR(Ffprobe(out / "tone3000(0).wav").durationSec, 2.0, 0.05);
    EXPECT_EQ(ReadFileBytes(out / "tone3000.wav"), "keep me");
}

TEST(CliCut, MislabelledAacEndsAsMp3AndTheSourceIsUntouched) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    fs::path source = fixtures.AacNamedMp3();
    const std::string before = ReadFileBytes(source);
    fs::path out = dir / "out";
    fs::create_directory(out);
    CliRun run =
        RunCli("cut " + Q(source) + " --start 00:00:00.500 --end 00:00:02.000 --out " + Q(out));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, (out / "aac_inside.mp3").string() + "\n");
    EXPECT_EQ(testing::FolderEntries(out), std::vector<std::string>{"aac_inside.mp3"});
    testing::ProbeInfo info = Ffprobe(out / "aac_inside.mp3");
    EXPECT_EQ(info.codecName, "aac");
    EXPECT_NEAR(info.durationSec, 1.5, 0.15);
    EXPECT_EQ(ReadFileBytes(source), before);
    EXPECT_FALSE(fs::exists(dir / "aac_inside.aac"));

    // With x.mp3 already in the folder the output keeps its true extension.
    CliRun again =
        RunCli("cut " + Q(source) + " --start 00:00:00.500 --end 00:00:02.000 --out " + Q(out));
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, (out / "aac_inside.aac").string() + "\n");
    EXPECT_EQ(testing::FolderEntries(out),
              (std::vector<std::string>{"aac_inside.aac", "aac_inside.mp3"}));
    EXPECT_EQ(Ffprobe(out / "aac_inside.aac").codecName, "aac");
    EXPECT_EQ(ReadFileBytes(source), before);
    EXPECT_TRUE(fs::exists(source));
}

TEST(CliCut, SeveralFilesGetTheSameRangeAndTheWorstStatus) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    fs::create_directory(dir / "other");
    const fs::path wav = fixtures.Wav(4.0);
    const fs::path sameName = dir / "other" / wav.filename();
    fs::copy_file(fixtures.Wav(3.0), sameName);
    const fs::path shortWav =
        testing::MakeTone(dir.path(), "short.wav", 0.5, 44100, 2, "-c:a pcm_s16le");
    const struct {
        std::vector<fs::path> inputs;
        int status;
        std::vector<std::string> outputs;  // in the order printed
    } cases[] = {
        {{wav, fixtures.Flac(4.0), fixtures.Mp3(4.0), sameName},
         0,
         {"tone4000.wav", "tone4000.flac", "tone4000.mp3", "tone4000(0).wav"}},
        {{wav, fixtures.Garbage(), fixtures.Flac(4.0)}, 1, {"tone4000.wav", "tone4000.flac"}},
        {{shortWav, fixtures.Garbage(), wav}, 2, {"tone4000.wav"}},
        {{dir / "gone.wav", fixtures.Garbage()}, 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        const fs::path out = dir / "out";
        fs::remove_all(out);
        fs::create_directory(out);
        std::string arguments;
        for (const fs::path& input : c.inputs)
            arguments += " " + Q(input);
        CliRun run =
            RunCli("cut" + arguments + " --start 00:00:01.000 --end 00:00:02.000 --out " + Q(out));
        EXPECT_EQ(run.status, c.status) << run.err;
        std::string expected;
        for (const std::string& name : c.outputs) {
            expected += (out / name).string() + "\n";
            testing::ProbeInfo info = Ffprobe(out / name);
            EXPECT_TRUE(info.ok) << name;
            EXPECT_NEAR(info.durationSec, 1.0, 0.2) << name;
        }
        EXPECT_EQ(run.out, expected);
        EXPECT_EQ(testing::FolderEntries(out).size(), c.outputs.size());
        // One message per refused input.
        int messages = 0;
        for (std::size_t at = 0; (at = run.err.find("tolvane-cli: ", at)) != std::string::npos;
             ++at)
            ++messages;
        EXPECT_EQ(messages, static_cast<int>(c.inputs.size() - c.outputs.size())) << run.err;
    }
}

// ---- Join -------------------------------------------------------------------------------

TEST(CliJoin, ThreeFilesFollowEachOtherWithoutGaps) {
    TempDir dir;
    fs::path a = testing::MakeTone(dir.path(), "a.mp3", 2.6, 44100, 2, "-c:a libmp3lame");
    fs::path b = testing::MakeTone(dir.path(), "b.wav", 2.6, 22050, 1, "-c:a pcm_s16le");
    fs::path c = testing::MakeTone(dir.path(), "c.flac", 2.6, 48000, 2, "-c:a flac");
    fs::path out = dir / "out";
    fs::create_directory(out);
    CliRun run = RunCli("join " + Q(a) + " " + Q(b) + " " + Q(c) + " --out " + Q(out));
    ASSERT_EQ(run.status, 0) << run.err;
    fs::path result = out / "a.mp3";
    EXPECT_EQ(run.out, result.string() + "\n");
    testing::ProbeInfo info = Ffprobe(result);
    EXPECT_EQ(info.codecName, "mp3");
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_NEAR(info.durationSec, 7.8, 0.25);
    testing::PacketTimes packets = FfprobePackets(result);
    ASSERT_GT(packets.pts.size(), 100u);
    for (std::size_t i = 1; i < packets.pts.size(); ++i) {
        ASSERT_NEAR(packets.pts[i], packets.pts[i - 1] + packets.duration[i - 1], 1e-4)
            << "packet " << i;
    }
}

TEST(CliJoin, OptionsSetTheEncoder) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    fs::path out = dir / "out";
    fs::create_directory(out);
    CliRun run = RunCli("join " + Q(fixtures.Wav(1.5)) + " " + Q(fixtures.Flac(1.5)) +
                        " --bitrate 64k --rate=22050 --channels 1 --out " + Q(out));
    ASSERT_EQ(run.status, 0) << run.err;
    testing::ProbeInfo info = Ffprobe(out / "tone1500.mp3");
    EXPECT_EQ(info.sampleRate, 22050);
    EXPECT_EQ(info.channels, 1);
    EXPECT_NEAR(info.bitRate, 64000, 8000);
}

TEST(CliJoin, NamedAfterTheFirstInputWithTheNextFreeNumber) {
    TempDir dir;
    fs::path a = testing::MakeTone(dir.path(), "a.mp3", 1.0, 44100, 2, "-c:a libmp3lame");
    fs::path b = testing::MakeTone(dir.path(), "b.wav", 1.0, 44100, 2, "-c:a pcm_s16le");
    fs::path out = dir / "out";
    fs::create_directory(out);
    std::ofstream(out / "a.mp3") << "first";
    std::ofstream(out / "a(0).mp3") << "second";
    CliRun run = RunCli("join " + Q(a) + " " + Q(b) + " --out " + Q(out));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, (out / "a(1).mp3").string() + "\n");
    EXPECT_EQ(ReadFileBytes(out / "a.mp3"), "first");
    EXPECT_EQ(ReadFileBytes(out / "a(0).mp3"), "second");
    EXPECT_NEAR(Ffprobe(out / "a(1).mp3").durationSec, 2.0, 0.15);
}

TEST(CliJoin, AnUnusableInputStopsTheJoinBeforeItStarts) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    fs::path out = dir / "out";
    fs::create_directory(out);
    CliRun run =
        RunCli("join " + Q(fixtures.Wav(1.0)) + " " + Q(fixtures.Garbage()) + " --out " + Q(out));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("garbage.mp3: "), std::string::npos) << run.err;
    EXPECT_TRUE(testing::FolderEntries(out).empty());
}

// ---- Progress and Ctrl-C ----------------------------------------------------------------

TEST(CliProgress, PlainLinesWhenNotOnATerminal) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    fs::path out = dir / "out";
    fs::create_directory(out);
    CliRun run =
        RunCli("join " + Q(fixtures.Wav(8.0)) + " " + Q(fixtures.Flac(8.0)) + " --out " + Q(out));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find('\r'), std::string::npos);
    EXPECT_NE(run.err.find("progress "), std::string::npos) << run.err;
}

TEST(CliProgress, BarUpdatesInPlaceOnATerminal) {
    if (access("/usr/bin/script", X_OK) != 0)
        GTEST_SKIP() << "no script(1) for a terminal";
    TempDir dir;
    Fixtures fixtures(dir.path());
    fs::path out = dir / "out";
    fs::create_directory(out);
    std::string command = ShellQuote(TOLVANE_CLI_PATH) + " join " + Q(fixtures.Wav(8.0)) + " " +
                          Q(fixtures.Flac(8.0)) + " --out " + Q(out);
    std::string transcript;
    int status = testing::RunCommand("script -qec " + ShellQuote(command) + " /dev/null </dev/null",
                                     &transcript);
    EXPECT_EQ(status, 0) << transcript;
    EXPECT_NE(transcript.find("\r["), std::string::npos) << transcript;
    EXPECT_NE(transcript.find((out / "tone8000.mp3").string()), std::string::npos);
}

ChildProgram StartCli(const std::vector<std::string>& arguments, const fs::path& dir) {
    return ChildProgram(TOLVANE_CLI_PATH, arguments, dir / "stdout", dir / "stderr", {});
}

// Runs the started tool until `output` holds more than `bytes`, and leaves it stopped.
bool RunUntilOutputGrows(ChildProgram& cli, const fs::path& output, std::uintmax_t bytes) {
    return RunChildUntil(cli, [&] { return FileSizeOrZero(output) > bytes; });
}

// Each of the signals that ask the tool to stop, sent while a job writes its output:
// the job is cancelled as Ctrl-C cancels it, what was written so far stays a valid file,
// and the exit status is 128 + the signal's number.
struct StopSignal {
    int number;
    const char* name;
};
const std::vector<StopSignal> kStopSignals = {
    {SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};

TEST(CliCancel, StopSignalsLeaveAValidShorterCut) {
    TempDir dir;
    // A long mono WAV cut in copy mode.
    fs::path source = testing::MakeTone(dir.path(), "long.wav", 600.0, 44100, 1, "-c:a pcm_s16le");
    const std::string before = ReadFileBytes(source);
    for (const StopSignal& stop : kStopSignals) {
        SCOPED_TRACE(stop.name);
        fs::path out = dir / "out";
        fs::remove_all(out);
        fs::create_directory(out);
        ChildProgram cli = StartCli({"cut", source.string(), "--out", out.string()}, dir.path());
        ASSERT_TRUE(cli.started());
        fs::path result = out / "long.wav";
        const bool running = RunUntilOutputGrows(cli, result, 2'000'000);
        if (running)
            cli.Signal(stop.number);
        ASSERT_TRUE(running) << "the cut ended before the signal: "
                             << ReadFileBytes(dir / "stderr");
        const testing::ChildEnd end = cli.WaitOrKill(std::chrono::seconds(120));
        EXPECT_TRUE(end.exited && end.code == 128 + stop.number)
            << end.Describe() << ": " << ReadFileBytes(dir / "stderr");
        EXPECT_EQ(ReadFileBytes(dir / "stdout"), result.string() + "\n");
        EXPECT_NE(ReadFileBytes(dir / "stderr").find("cancelled"), std::string::npos);
        testing::ProbeInfo info = Ffprobe(result);
        ASSERT_TRUE(info.ok);
        EXPECT_GT(info.durationSec, 20.0);
        EXPECT_LT(info.durationSec, 590.0);
        // The trailer was written: the header's sizes match the file.
        EXPECT_NEAR(info.durationSec * 44100 * 2 + 44, static_cast<double>(fs::file_size(result)),
                    4096);
        EXPECT_EQ(ReadFileBytes(source) == before, true);
    }
}

TEST(CliCancel, StopSignalsOnAJoinKeepTheJoinedPartAsAValidFile) {
    TempDir dir;
    fs::path first = testing::MakeTone(dir.path(), "first.wav", 300.0, 44100, 2, "-c:a pcm_s16le");
    fs::path second = testing::MakeTone(dir.path(), "second.wav", 60.0, 44100, 2, "-c:a pcm_s16le");
    for (const StopSignal& stop : kStopSignals) {
        SCOPED_TRACE(stop.name);
        fs::path out = dir / "out";
        fs::remove_all(out);
        fs::create_directory(out);
        ChildProgram cli =
            StartCli({"join", first.string(), second.string(), "--out", out.string()}, dir.path());
        ASSERT_TRUE(cli.started());
        fs::path result = out / "first.mp3";
        const bool running = RunUntilOutputGrows(cli, result, 200'000);
        if (running)
            cli.Signal(stop.number);
        ASSERT_TRUE(running) << "the join ended before the signal: "
                             << ReadFileBytes(dir / "stderr");
        const testing::ChildEnd end = cli.WaitOrKill(std::chrono::seconds(120));
        EXPECT_TRUE(end.exited && end.code == 128 + stop.number)
            << end.Describe() << ": " << ReadFileBytes(dir / "stderr");
        EXPECT_EQ(ReadFileBytes(dir / "stdout"), result.string() + "\n");
        const std::string err = ReadFileBytes(dir / "stderr");
        EXPECT_NE(err.find("tolvane-cli: " + first.string() +
                           ": cancelled; the part joined so far is in " + result.string() + "\n"),
                  std::string::npos)
            << err;
        EXPECT_EQ(err.find("incomplete"), std::string::npos) << err;
        testing::ProbeInfo info = Ffprobe(result);
        ASSERT_TRUE(info.ok);
        EXPECT_EQ(info.codecName, "mp3");
        EXPECT_GT(info.durationSec, 5.0);
        EXPECT_LT(info.durationSec, 300.0);
        // Its length header was written at the end: ffprobe's length agrees with the packets.
        testing::PacketTimes packets = FfprobePackets(result);
        ASSERT_FALSE(packets.pts.empty());
        EXPECT_NEAR(info.durationSec, packets.pts.back() + packets.duration.back(), 0.1);
    }
}

// Another program cuts the source short while the cut is copying it: the cut either
// fails with a message and leaves no output, or ends early with a valid file.
TEST(CliHostileSource, SourceTruncatedWhileTheCutCopiesIt) {
    TempDir dir;
    const fs::path wav =
        testing::MakeTone(dir.path(), "long.wav", 600.0, 44100, 1, "-c:a pcm_s16le");
    const fs::path mp3 =
        testing::MakeTone(dir.path(), "long.mp3", 600.0, 44100, 2, "-c:a libmp3lame");
    struct Case {
        fs::path source;
        std::uintmax_t copiedBytes;
        off_t truncatedTo;
    };
    for (const Case& c : {Case{wav, 2'000'000, 4'000'000}, Case{wav, 2'000'000, 0},
                          Case{mp3, 500'000, 1'000'000}, Case{mp3, 500'000, 1000}}) {
        SCOPED_TRACE(c.source.filename().string() + " cut short to " +
                     std::to_string(c.truncatedTo) + " bytes");
        const fs::path source = dir / ("copy" + c.source.extension().string());
        fs::remove(source);
        fs::copy_file(c.source, source);
        const fs::path out = dir / "out";
        fs::remove_all(out);
        fs::create_directory(out);
        ChildProgram cli = StartCli(
            {"cut", source.string(), "--start", "00:00:01.000", "--out", out.string()}, dir.path());
        ASSERT_TRUE(cli.started());
        const fs::path result = out / source.filename();
        const bool caught = RunUntilOutputGrows(cli, result, c.copiedBytes);
        if (caught) {
            EXPECT_EQ(truncate(source.c_str(), c.truncatedTo), 0);
        }
        const testing::ChildEnd end = cli.Wait();
        const int exitCode = caught && end.exited ? end.code : -1;
        ASSERT_TRUE(caught) << "the cut ended before its source was cut short";
        const std::string err = ReadFileBytes(dir / "stderr");
        if (exitCode == 1) {
            EXPECT_NE(err.find(source.filename().string() + ": "), std::string::npos) << err;
            EXPECT_TRUE(testing::FolderEntries(out).empty()) << "a failed cut leaves no output";
        } else {
            ASSERT_EQ(exitCode, 0) << err;
            EXPECT_EQ(ReadFileBytes(dir / "stdout"), result.string() + "\n");
            testing::ProbeInfo info = Ffprobe(result);
            EXPECT_TRUE(info.ok) << "the shorter output is a valid file";
            EXPECT_LT(info.durationSec, 590.0);
        }
    }
}

}  // namespace
}  // namespace tolvane
