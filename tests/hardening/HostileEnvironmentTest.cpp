// Hostile surroundings: a source that changes under a running job, a file-size limit,
// a full disk, an unwritable folder, awkward file names, and bad times on the command
// line. Every case ends with a clear failure or a valid output, and no source changes.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <random>
#include <sys/mount.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#include "HardeningSupport.h"

namespace tolvane {
namespace {

using namespace tolvane::testing;
using namespace std::chrono_literals;

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

#ifdef TOLVANE_CLI_PATH
// Runs tolvane-cli in `workDir` with arguments quoted for the shell; `prefix` goes in
// front of the program (setpriv, ulimit ...).
CliRun RunCli(const fs::path& workDir, const std::vector<std::string>& arguments,
              const std::string& prefix = "") {
    TempDir scratch;
    std::string command =
        "cd " + ShellQuote(workDir.string()) + " && " + prefix + ShellQuote(TOLVANE_CLI_PATH);
    for (const std::string& argument : arguments)
        command += " " + ShellQuote(argument);
    command += " 2>" + ShellQuote((scratch / "err").string()) + " </dev/null";
    CliRun run;
    run.status = RunCommand(command, &run.out);
    run.err = ReadFileBytes(scratch / "err");
    return run;
}
#define REQUIRE_CLI()
#else
#define REQUIRE_CLI() GTEST_SKIP() << "tolvane-cli is not built"
CliRun RunCli(const fs::path&, const std::vector<std::string>&, const std::string& = "") {
    return {};
}
#endif

// The last line of a program's messages (progress lines come before it).
[[maybe_unused]] std::string LastLine(const std::string& text) {
    std::string trimmed = text;
    if (!trimmed.empty() && trimmed.back() == '\n')
        trimmed.pop_back();
    const std::size_t newline = trimmed.rfind('\n');
    return newline == std::string::npos ? trimmed : trimmed.substr(newline + 1);
}

// ---- A source that changes while the job runs -----------------------------------------

class HostileSourceChange : public ::testing::Test {
  protected:
    TempDir dir;
    MediaJob job;
    MediaJobRunner runner;

    bool runningAtChange = false;

    // Runs the job on the worker thread and calls `change` once it is under way.
    void RunAndChange(bool joinMode, const std::function<void()>& change) {
        ASSERT_EQ(runner.StartMediaJob(job, joinMode), JobStartResult::Started);
        const auto start = std::chrono::steady_clock::now();
        while (runner.IsRunning() && job.progressPercent.load() < 3 &&
               std::chrono::steady_clock::now() - start < 20s)
            std::this_thread::sleep_for(1ms);
        runningAtChange = runner.IsRunning();
        change();
        const auto changed = std::chrono::steady_clock::now();
        while (runner.IsRunning() && std::chrono::steady_clock::now() - changed < 60s)
            std::this_thread::sleep_for(5ms);
        ASSERT_FALSE(runner.IsRunning()) << "the job hangs after its source changed";
        runner.WaitForWorker();
    }
};

TEST_F(HostileSourceChange, SourceTruncatedDuringAJoin) {
    const fs::path source = MakeTone(dir.path(), "long.wav", 40.0, 44100, 2, "-c:a pcm_s16le");
    const fs::path output = dir / "out.mp3";
    PrepareJoin(job, {source, source}, output, {40.0, 40.0});
    RunAndChange(true, [&] { ASSERT_EQ(truncate(source.c_str(), 300000), 0); });
    EXPECT_TRUE(runningAtChange) << "the join ended before its source was cut short";
    ExpectFailedCleanlyOrValid(job, output);
}

// Rewrites `file` in place with random bytes, as a program saving over it would.
void OverwriteWithNoise(const fs::path& file, unsigned seed) {
    const int fd = open(file.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    std::mt19937 random(seed);
    std::string noise(1 << 20, '\0');
    for (auto& b : noise)
        b = static_cast<char>(random() & 0xFF);
    for (off_t at = 0; at < static_cast<off_t>(fs::file_size(file)); at += noise.size())
        ASSERT_EQ(pwrite(fd, noise.data(), noise.size(), at), static_cast<ssize_t>(noise.size()));
    close(fd);
}

TEST_F(HostileSourceChange, SourceOverwrittenDuringAJoin) {
    const fs::path source = MakeTone(dir.path(), "long.flac", 40.0, 44100, 2, "-c:a flac");
    const fs::path output = dir / "out.mp3";
    PrepareJoin(job, {source}, output, {40.0});
    RunAndChange(true, [&] { OverwriteWithNoise(source, 3); });
    EXPECT_TRUE(runningAtChange) << "the join ended before its source was overwritten";
    ExpectFailedCleanlyOrValid(job, output);
}

TEST_F(HostileSourceChange, SourceOverwrittenDuringACut) {
    const fs::path source =
        MakeTone(dir.path(), "long.mp3", 600.0, 44100, 2, "-c:a libmp3lame -b:a 128k");
    const fs::path output = dir / "out.mp3";
    PrepareCut(job, source, output, 1.0, 599.0);
    RunAndChange(false, [&] { OverwriteWithNoise(source, 5); });
    EXPECT_TRUE(runningAtChange) << "the cut ended before its source was overwritten";
    ExpectFailedCleanlyOrValid(job, output);
}

TEST_F(HostileSourceChange, SourceTruncatedToNothingDuringACut) {
    const fs::path source = MakeTone(dir.path(), "long.mp3", 60.0, 44100, 2, "-c:a libmp3lame");
    const fs::path output = dir / "out.mp3";
    for (int round = 0; round < 3; ++round) {
        fs::remove(output);
        const fs::path copy = dir / ("copy" + std::to_string(round) + ".mp3");
        fs::copy_file(source, copy);
        PrepareCut(job, copy, output, 1.0, 59.0);
        RunAndChange(false, [&] { ASSERT_EQ(truncate(copy.c_str(), round * 100000), 0); });
        ExpectFailedCleanlyOrValid(job, output);
    }
}

// ---- Limits of the file system ----------------------------------------------------------

class HostileDisk : public ::testing::Test {
  protected:
    TempDir dir;
    MediaJob job;
    Fixtures fixtures{dir.path()};
};

TEST_F(HostileDisk, FileSizeLimitFailsTheJobAndRemovesItsOutput) {
    const fs::path wav = fixtures.Wav(10.0);
    const std::string before = ReadFileBytes(wav);
    const fs::path cut = dir / "out" / "cut.wav";
    const fs::path join = dir / "out" / "join.mp3";
    fs::create_directory(dir / "out");
    const int status = RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 100 * 1024;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 10;
        PrepareCut(job, wav, cut, 0.0, 9.0);
        RunJob(job);
        if (!JobFailed(job))
            return 11;
        PrepareJoin(job, {wav, wav}, join, {10.0, 10.0}, 320000, 44100, 2);
        RunJob(job);
        return JobFailed(job) ? 0 : 12;
    });
    EXPECT_EQ(status, 0) << "10: no limit, 11: cut not failed, 12: join not failed";
    EXPECT_TRUE(testing::FolderEntries(dir / "out").empty()) << "partial outputs are removed";
    EXPECT_EQ(ReadFileBytes(wav), before);
}

#ifdef TOLVANE_CLI_PATH
// The limit as a login shell sets it, with SIGXFSZ at its default as the tool inherits it
// there: the tool itself must keep the signal from ending it mid-file.
TEST_F(HostileDisk, FileSizeLimitIsReportedByTheCommandLineTool) {
    const fs::path wav = fixtures.Wav(10.0);
    fs::create_directory(dir / "out");
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        const char* output;
    };
    const std::vector<Case> cases = {
        {"cut", {"cut", wav.string(), "--out", "out"}, "out/tone10000.wav"},
        {"join",
         {"join", wav.string(), wav.string(), "--bitrate", "320k", "--out", "out"},
         "out/tone10000.mp3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChildProgram::Options options;
        options.workDir = dir.path();
        options.beforeExec = [] {
            struct sigaction byDefault {};
            byDefault.sa_handler = SIG_DFL;
            sigemptyset(&byDefault.sa_mask);
            sigaction(SIGXFSZ, &byDefault, nullptr);
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = 100 * 1024;
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(125);
        };
        ChildProgram cli(TOLVANE_CLI_PATH, c.arguments, dir / "stdout", dir / "stderr", options);
        ASSERT_TRUE(cli.started());
        const ChildEnd end = cli.Wait();
        const std::string err = ReadFileBytes(dir / "stderr");
        EXPECT_TRUE(end.exited && end.code == 1) << end.Describe() << ": " << err;
        // The output is to blame, not the source, and the line says why.
        EXPECT_EQ(LastLine(err), std::string("tolvane-cli: ") + c.output + ": File too large")
            << err;
        EXPECT_TRUE(testing::FolderEntries(dir / "out").empty()) << "the partial output stays";
    }
}
#endif

// A small tmpfs mounted for the test; skipped where mounting is not allowed.
class MountedTmpfs {
  public:
    MountedTmpfs(const fs::path& at, const char* size) : at_(at) {
        fs::create_directory(at);
        mounted_ = mount("tolvane-test", at.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                         (std::string("size=") + size).c_str()) == 0;
        if (mounted_)
            fs::permissions(at, fs::perms::all);
    }
    ~MountedTmpfs() {
        if (mounted_)
            umount2(at_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

  private:
    fs::path at_;
    bool mounted_ = false;
};

TEST_F(HostileDisk, FullDiskFailsTheJobAndLeavesTheDiskAsItWas) {
    const fs::path wav = fixtures.Wav(10.0);
    const fs::path mp3 = fixtures.Mp3(10.0);
    const std::string before = ReadFileBytes(wav);
    const std::string mp3Before = ReadFileBytes(mp3);
    MountedTmpfs disk(dir / "disk", "256k");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root): " << std::strerror(errno);
    PrepareCut(job, wav, dir / "disk" / "cut.wav", 0.0, 9.0);
    RunJob(job);
    EXPECT_TRUE(JobFailed(job));
    PrepareJoin(job, {wav, mp3}, dir / "disk" / "join.mp3", {10.0, 10.0}, 320000, 44100, 2);
    RunJob(job);
    EXPECT_TRUE(JobFailed(job));
    EXPECT_TRUE(testing::FolderEntries(dir / "disk").empty());
    EXPECT_EQ(ReadFileBytes(wav), before);
    EXPECT_EQ(ReadFileBytes(mp3), mp3Before);

    // A cut that fits still works on the same disk.
    PrepareCut(job, mp3, dir / "disk" / "small.mp3", 0.0, 2.0);
    RunJob(job);
    ExpectFailedCleanlyOrValid(job, dir / "disk" / "small.mp3", 1.9);
    EXPECT_TRUE(JobDone(job));

#ifdef TOLVANE_CLI_PATH
    fs::remove(dir / "disk" / "small.mp3");
    CliRun run = RunCli(dir.path(), {"cut", wav.string(), "--out", "disk"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(LastLine(run.err), "tolvane-cli: disk/tone10000.wav: No space left on device")
        << run.err;
    EXPECT_TRUE(testing::FolderEntries(dir / "disk").empty());
    run = RunCli(dir.path(),
                 {"join", wav.string(), mp3.string(), "--bitrate", "320k", "--out", "disk"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(LastLine(run.err), "tolvane-cli: disk/tone10000.mp3: No space left on device")
        << run.err;
    EXPECT_TRUE(testing::FolderEntries(dir / "disk").empty());
#endif
}

#ifdef TOLVANE_CLI_PATH
TEST_F(HostileDisk, UnprivilegedUserCannotWriteIntoARootFolder) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run tolvane-cli as an unprivileged user";
    const fs::path mp3 = fixtures.Mp3(1.0);
    fs::permissions(dir.path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    fs::permissions(mp3, fs::perms::others_read, fs::perm_options::add);
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked",
                    fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    for (const std::string& command : {std::string("cut"), std::string("join")}) {
        std::vector<std::string> arguments = {command, mp3.string()};
        if (command == "join")
            arguments.push_back(mp3.string());
        arguments.insert(arguments.end(), {"--out", (dir / "locked").string()});
        CliRun run = RunCli(dir.path(), arguments, asNobody);
        EXPECT_EQ(run.status, 1) << command << ": " << run.err;
        EXPECT_NE(run.err.find("cannot write into the output folder"), std::string::npos)
            << run.err;
        EXPECT_TRUE(testing::FolderEntries(dir / "locked").empty());
    }
}
#endif

// ---- File names ------------------------------------------------------------------------

class HostileNames : public ::testing::Test {
  protected:
    TempDir dir;
    Fixtures fixtures{dir.path()};
    MediaJob job;

    fs::path Copy(const std::string& name) {
        const fs::path to = dir / name;
        fs::copy_file(fixtures.Mp3(1.0), to);
        sources.push_back(to);
        return to;
    }

    // Whatever a name does to the tool, every source stays as it was.
    void TearDown() override {
        const std::string original = ReadFileBytes(fixtures.Mp3(1.0));
        for (const fs::path& source : sources)
            EXPECT_EQ(ReadFileBytes(source), original) << source;
    }

  private:
    std::vector<fs::path> sources;
};

TEST_F(HostileNames, AwkwardNamesAreCutUnderTheirOwnName) {
    REQUIRE_CLI();
    fs::create_directory(dir / "out");
    for (const std::string name :
         {"with  two spaces.mp3", "it's \"quoted\".mp3", "$(touch pwned).mp3", "`touch pwned`.mp3",
          "semi;colon&amp.mp3", "star*and?.mp3", "new\nline.mp3", "tab\there.mp3",
          "\xE6\xAD\x8C.mp3", "back\\slash.mp3", "trailing\\.mp3"}) {
        SCOPED_TRACE(name);
        const fs::path source = Copy(name);
        CliRun run =
            RunCli(dir.path(), {"cut", source.string(), "--out", "out", "--end", "00:00:00.500"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(fs::exists(dir / "out" / name));
        EXPECT_TRUE(OpensAsMedia(dir / "out" / name));
    }
    EXPECT_FALSE(fs::exists(dir / "pwned"));
    EXPECT_FALSE(fs::exists(dir / "out" / "pwned"));
    // A backslash separates no folders here: nothing is named after a part of a name.
    EXPECT_FALSE(fs::exists(dir / "out" / "slash.mp3"));
    EXPECT_FALSE(fs::exists(dir / "out" / ".mp3"));
}

TEST_F(HostileNames, LeadingDashNamesAreFilesAfterDoubleDashOrDotSlash) {
    REQUIRE_CLI();
    Copy("-x.mp3");
    Copy("--out.mp3");
    fs::create_directory(dir / "out");
    CliRun run = RunCli(dir.path(), {"cut", "--out", "out", "--", "-x.mp3"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(dir / "out" / "-x.mp3"));
    run = RunCli(dir.path(), {"cut", "./-x.mp3", "--out", "out"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(dir / "out" / "-x(0).mp3"));
    run = RunCli(dir.path(), {"join", "--out", "out", "--", "--out.mp3", "-x.mp3"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(dir / "out" / "--out.mp3"));
    // Without either the name reads as an option, and the tool says so.
    run = RunCli(dir.path(), {"cut", "-x.mp3"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("-x.mp3"), std::string::npos) << run.err;
}

// A name can hold terminal escapes; the messages and the progress show them harmless.
// The output path on standard output is quoted as ls quotes it, one line that a shell
// reads back into the exact name.
TEST_F(HostileNames, ControlCharactersInNamesDoNotReachTheTerminal) {
    REQUIRE_CLI();
    const std::string name = "esc\x1b]0;owned\x07\x1b[2J.mp3";
    Copy(name);
    fs::create_directory(dir / "out");
    CliRun run = RunCli(dir.path(), {"cut", name, "--out", "out", "--end", "00:00:00.500"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\x07'), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "'out/esc'$'\\033'']0;owned'$'\\a\\033''[2J.mp3'\n");
    fs::create_directory(dir / "folder\x1b[2J");
    run = RunCli(dir.path(), {"cut", "folder\x1b[2J"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
}

// Names FFmpeg would read as a protocol ("pipe:", "concat:") are plain files to us.
TEST_F(HostileNames, NamesThatLookLikeProtocolsAreFiles) {
    for (const std::string name : {"pipe:0.mp3", "concat:a.mp3", "file:b.mp3", "subfile:c.mp3"}) {
        SCOPED_TRACE(name);
        const fs::path source = Copy(name);
        // Relative, as a user types it on the command line.
        const fs::path cwd = fs::current_path();
        fs::current_path(dir.path());
        const ProbeResult probe = ProbeFile(job, name);
        const double duration = job.probeDurationUs / 1e6;
        fs::create_directory("out");
        PrepareCut(job, name, fs::path("out") / name, 0.0, 0.5);
        RunJob(job);
        const bool done = JobDone(job);
        fs::current_path(cwd);
        EXPECT_EQ(probe, ProbeResult::Usable);
        EXPECT_NEAR(duration, 1.0, 0.1);
        EXPECT_TRUE(done);
        EXPECT_TRUE(OpensAsMedia(dir / "out" / name));
    }
}

// A playlist among the files must not make the engine reach the network.
TEST_F(HostileNames, PlaylistsDoNotReachTheNetwork) {
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ASSERT_GE(server, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(server, 4), 0);
    ASSERT_EQ(getsockname(server, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string url =
        "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/segment.mp3";
    WriteBytes(dir / "list.m3u8",
               "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\n" + url + "\n#EXT-X-ENDLIST\n");
    EXPECT_NE(ProbeFile(job, dir / "list.m3u8"), ProbeResult::Usable);
    PrepareCut(job, dir / "list.m3u8", dir / "out.m3u8", 0.0, 1.0);
    RunJob(job);
    EXPECT_TRUE(JobFailed(job));
    EXPECT_LT(accept(server, nullptr, nullptr), 0) << "the engine connected to " << url;
    close(server);
}

TEST_F(HostileNames, LongestNamesAreCutAndANumberThatWouldNotFitIsRefused) {
    REQUIRE_CLI();
    const std::string name = std::string(255 - 4, 'n') + ".mp3";  // 255 bytes
    const fs::path source = Copy(name);
    fs::create_directory(dir / "out");
    CliRun run = RunCli(dir.path(), {"cut", source.string(), "--out", "out"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(dir / "out" / name));
    // The name is taken now, and "(0)" would pass 255 bytes.
    run = RunCli(dir.path(), {"cut", source.string(), "--out", "out"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("too long"), std::string::npos) << run.err;
    EXPECT_EQ(testing::FolderEntries(dir / "out").size(), 1u);
    // A name whose "(n)" fits just about goes on numbering.
    const std::string shorter = std::string(255 - 4 - 3, 's') + ".mp3";
    Copy(shorter);
    fs::copy_file(dir / shorter, dir / "out" / shorter);
    run = RunCli(dir.path(), {"cut", shorter, "--out", "out"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(dir / "out" / (std::string(255 - 4 - 3, 's') + "(0).mp3")));
}

// ---- Damaged input through the command-line tool ---------------------------------------

// A FLAC file with a zeroed stretch, joined with a good file or cut by the tool: the job
// succeeds, the damaged frames are left out, and the join holds what FFmpeg decodes of
// each input; mpg123 decodes it whole.
TEST(HostileCliDamage, DamagedFlacIsJoinedAndCutAroundItsDamage) {
    REQUIRE_CLI();
    TempDir dir;
    const fs::path good = MakeTone(dir.path(), "good.wav", 2.0, 44100, 2, "-c:a pcm_s16le");
    struct Case {
        const char* name;
        double from;  // the zeroed stretch, fractions of the file
        double to;
        bool damagedFirst;
    };
    for (const Case& c : {Case{"near the start, first", 0.05, 0.15, true},
                          Case{"in the middle, second", 0.40, 0.55, false},
                          Case{"near the end, first", 0.80, 0.95, true}}) {
        SCOPED_TRACE(c.name);
        const fs::path damaged = MakeTone(dir.path(), "damaged.flac", 4.0, 44100, 2, "-c:a flac");
        const long wholeSamples = FrameSamples(damaged);
        std::string bytes = ReadFileBytes(damaged);
        std::fill(bytes.begin() + static_cast<long>(static_cast<double>(bytes.size()) * c.from),
                  bytes.begin() + static_cast<long>(static_cast<double>(bytes.size()) * c.to),
                  '\0');
        WriteBytes(damaged, bytes);
        const long damagedSamples = FrameSamples(damaged);
        ASSERT_LT(damagedSamples, wholeSamples) << "the fixture lost no frame";
        fs::remove_all(dir / "out");
        fs::create_directory(dir / "out");

        std::vector<std::string> join = {"join", good.string(), damaged.string(), "--out", "out"};
        if (c.damagedFirst)
            std::swap(join[1], join[2]);
        CliRun run = RunCli(dir.path(), join);
        ASSERT_EQ(run.status, 0) << run.err;
        const fs::path joined = dir / "out" / (c.damagedFirst ? "damaged.mp3" : "good.mp3");
        EXPECT_EQ(run.out, fs::relative(joined, dir.path()).string() + "\n");
        EXPECT_EQ(FrameSamples(joined), FrameSamples(good) + damagedSamples);
        std::string decoded;
        ASSERT_EQ(RunCommand("mpg123 -q -s " + ShellQuote(joined.string()) + " | wc -c", &decoded),
                  0);
        EXPECT_EQ(std::atol(decoded.c_str()) / 4, FrameSamples(good) + damagedSamples)
            << "mpg123 decodes the join whole";

        run = RunCli(dir.path(), {"cut", damaged.string(), "--out", "out"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(OpensAsMedia(dir / "out" / "damaged.flac"));
        EXPECT_EQ(Ffprobe(dir / "out" / "damaged.flac").codecName, "flac");
    }
}

// ---- Times on the command line ---------------------------------------------------------

TEST(HostileCliTimes, StartAfterTheEndAndNegativeTimesAreRefused) {
    REQUIRE_CLI();
    TempDir dir;
    Fixtures fixtures(dir.path());
    const fs::path mp3 = fixtures.Mp3(3.0);
    fs::create_directory(dir / "out");
    const std::vector<std::vector<std::string>> bad = {
        {"--start", "00:00:02.000", "--end", "00:00:01.000"},
        {"--start", "-00:00:01.000"},
        {"--end", "-00:00:01.000"},
        {"--start=-1"},
        {"--start", "00:00:05.000"},  // past the end of a 3 s file, no end given
    };
    for (const auto& times : bad) {
        std::vector<std::string> arguments = {"cut", mp3.string(), "--out", "out"};
        arguments.insert(arguments.end(), times.begin(), times.end());
        CliRun run = RunCli(dir.path(), arguments);
        SCOPED_TRACE(times.front() + " " + times.back());
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find("tolvane-cli: "), std::string::npos);
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_TRUE(testing::FolderEntries(dir / "out").empty());
}

TEST(HostileCliTimes, RangeWhollyPastTheEndOfTheFileIsRefused) {
    REQUIRE_CLI();
    TempDir dir;
    Fixtures fixtures(dir.path());
    const fs::path mp3 = fixtures.Mp3(3.0);
    fs::create_directory(dir / "out");
    CliRun run = RunCli(dir.path(), {"cut", mp3.string(), "--out", "out", "--start", "00:00:10.000",
                                     "--end", "00:00:20.000"});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find("after the end of the file"), std::string::npos) << run.err;
    EXPECT_TRUE(testing::FolderEntries(dir / "out").empty());
}

// A header whose byte rate passes 32 bits: the probe line tells the clamped rate, with no
// arithmetic overflow on the way (the sanitizer build stops at one).
TEST(HostileCliProbe, HugeBitRateIsPrintedWithoutOverflow) {
    REQUIRE_CLI();
    TempDir dir;
    WriteBytes(dir / "rate.wav", WavBytes(2, 44100, 44100 * 4, 44100 * 4, 0xFFFFFFFFu));
    CliRun run = RunCli(dir.path(), {"probe", "rate.wav"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(", 2147484 kbit/s"), std::string::npos) << run.out;
}

TEST(HostileCliProbe, PipesAndDevicesAreRefusedAtOnce) {
    REQUIRE_CLI();
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "pipe.mp3").c_str(), 0644), 0);
    for (const std::string& file : {(dir / "pipe.mp3").string(), std::string("/dev/zero")}) {
        // No writer ever opens the pipe: a probe that waited on it would never end.
        CliRun run = RunCli(dir.path(), {"cut", file}, "timeout 20 ");
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find("not a regular file"), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace tolvane
