// SIGTERM, SIGINT and SIGHUP end the window as its close box does: the real program run
// offscreen as a child process, and in this process a merge running when the signal
// comes, which is cancelled and whose output stays as a cancel leaves it. The real
// program also starts on a user's own settings when installed, and a second start hands
// its files to the running window. Each child gets a runtime folder of its own, so
// programs of tests running side by side never find each other.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include "CAVConvertDlg.h"
#include "CControlButton.h"
#include "CTolvaneApp.h"
#include "ChildProcess.h"
#include "DialogIds.h"
#include "IniProfile.h"
#include "SingleInstance.h"
#include "TerminationSignals.h"
#include "WindowTestSupport.h"

namespace tolvane::testing {
namespace {

struct StopSignal {
    int number;
    const char* name;
};
const std::vector<StopSignal> kStopSignals = {
    {SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};

// Every key setting.ini holds, as the window reads it.
const std::vector<std::pair<const char*, const char*>> kSettingKeys = {
    {"LANGUAGE", "name1"}, {"LANGUAGE", "name2"}, {"LANGUAGE", "name3"},
    {"LANGUAGE", "name4"}, {"LANGUAGE", "name5"}, {"LANGUAGE", "name6"},
    {"LANGUAGE", "file"},  {"DIR", "open"},       {"PATH", "name"}};

void ExpectSameSettings(const fs::path& file, const std::string& before) {
    const std::optional<IniDocument> now = IniDocument::Load(file);
    ASSERT_TRUE(now.has_value()) << file << " cannot be read";
    const IniDocument then = IniDocument::Parse(before);
    for (const auto& [section, key] : kSettingKeys)
        EXPECT_EQ(now->Find(section, key), then.Find(section, key)) << section << "/" << key;
    EXPECT_EQ(ReadFileBytes(file), before) << "setting.ini was rewritten";
}

#ifdef TOLVANE_PROGRAM_PATH

// The main thread of `pid` is blocked in poll: the event loop waits for events. Seen
// several times in a row, the window is up and idle. False when it cannot be seen.
bool MainThreadWaitsInPoll(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
    long number = -1;
    if (!(in >> number))
        return false;
#ifdef SYS_poll
    if (number == SYS_poll)
        return true;
#endif
    return number == SYS_ppoll;
}

bool WaitUntilTheWindowIsUp(ChildProgram& program) {
    int idleSamples = 0;
    for (int i = 0; i < 1200 && idleSamples < 5; ++i) {
        if (program.Ended())
            return false;
        idleSamples = MainThreadWaitsInPoll(program.pid()) ? idleSamples + 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return idleSamples >= 5;
}

// The program in a folder of its own, so it reads the test's setting.ini and languages/
// beside it, as it does beside its installed executable.
TEST(TerminationSignals, EachEndsTheProgramWithItsStatusAndKeepsTheSettings) {
    ProgramFolderFixture folder;
    WriteStandardProgramFolder(folder);
    const fs::path program = folder.path() / "tolvane";
    fs::copy_file(TOLVANE_PROGRAM_PATH, program);
    const std::string before = folder.ReadSettings();
    TempDir logs;
    for (const StopSignal& stop : kStopSignals) {
        SCOPED_TRACE(stop.name);
        ChildProgram::Options options;
        options.environment = {"QT_QPA_PLATFORM=offscreen", "SDL_AUDIODRIVER=dummy",
                               "XDG_RUNTIME_DIR=" + logs.path().string()};
        ChildProgram window(program.string(), {}, logs / "stdout", logs / "stderr", options);
        ASSERT_TRUE(window.started());
        ASSERT_TRUE(WaitUntilTheWindowIsUp(window))
            << window.end().Describe() << ": " << ReadFileBytes(logs / "stderr");
        window.Signal(stop.number);
        const ChildEnd end = window.WaitOrKill(std::chrono::seconds(120));
        EXPECT_TRUE(end.exited && end.code == 128 + stop.number)
            << end.Describe() << ": " << ReadFileBytes(logs / "stderr");
        ExpectSameSettings(folder.path() / "setting.ini", before);
    }
}

// An installed copy the user may not write: the program starts on a setting.ini of the
// user's own, made from the installed default, and leaves the installed one alone.
TEST(TerminationSignals, InstalledCopyStartsOnTheUsersOwnSettings) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run the program as another user";
    constexpr uid_t kNobody = 65534;
    ProgramFolderFixture folder;
    WriteStandardProgramFolder(folder);
    const fs::path program = folder.path() / "tolvane";
    fs::copy_file(TOLVANE_PROGRAM_PATH, program);
    fs::permissions(folder.path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    fs::permissions(folder.path() / "languages", fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    const std::string before = folder.ReadSettings();
    TempDir home;
    fs::permissions(home.path(), fs::perms::all);
    ASSERT_EQ(chown(home.path().c_str(), kNobody, kNobody), 0);
    TempDir logs;
    ChildProgram::Options options;
    options.environment = {"QT_QPA_PLATFORM=offscreen", "SDL_AUDIODRIVER=dummy",
                           "HOME=" + home.path().string(),
                           "XDG_CONFIG_HOME=", "XDG_RUNTIME_DIR=" + home.path().string()};
    options.beforeExec = [] {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0)
            _exit(125);
    };
    ChildProgram window(program.string(), {}, logs / "stdout", logs / "stderr", options);
    ASSERT_TRUE(window.started());
    ASSERT_TRUE(WaitUntilTheWindowIsUp(window))
        << window.end().Describe() << ": " << ReadFileBytes(logs / "stderr");
    window.Signal(SIGTERM);
    const ChildEnd end = window.WaitOrKill(std::chrono::seconds(120));
    EXPECT_TRUE(end.exited && end.code == 128 + SIGTERM)
        << end.Describe() << ": " << ReadFileBytes(logs / "stderr");
    const fs::path own = home.path() / ".config" / "tolvane";
    ExpectSameSettings(own / "setting.ini", before);
    EXPECT_TRUE(fs::is_directory(own / "languages"));
    EXPECT_EQ(folder.ReadSettings(), before);
}

// True once `pid` holds `file` open (the player keeps the cut tab's file open).
bool HoldsOpen(pid_t pid, const fs::path& file) {
    std::error_code ec;
    for (auto it = fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
         !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code linkError;
        if (fs::read_symlink(it->path(), linkError) == file)
            return true;
    }
    return false;
}

#ifdef TOLVANE_LAZY_LIBRARIES
// Whether `pid` has a library whose file name starts with `name` mapped.
bool MapsLibrary(pid_t pid, const std::string& name) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    for (std::string line; std::getline(maps, line);) {
        if (line.find("/" + name) != std::string::npos)
            return true;
    }
    return false;
}
#endif

// The program needs FFmpeg, SDL and curl only for files and downloads: it starts without
// them and loads them on a thread of its own once the window is up.
TEST(ProgramStart, LoadsTheMediaLibrariesAfterTheWindowShows) {
#ifndef TOLVANE_LAZY_LIBRARIES
    GTEST_SKIP() << "this build links FFmpeg, SDL and curl as usual";
#else
    const std::vector<std::string> libraries = {"libavformat",   "libavcodec", "libavutil",
                                                "libswresample", "libSDL2",    "libcurl"};
    std::string needed;
    ASSERT_EQ(RunCommand("readelf -d " + ShellQuote(TOLVANE_PROGRAM_PATH), &needed), 0);
    for (const std::string& library : libraries)
        EXPECT_EQ(needed.find(library), std::string::npos) << library << " is loaded at start";
    EXPECT_EQ(needed.find("libQt6Network"), std::string::npos)
        << "the second-start socket needs no network library and its eight dependencies";
    ProgramFolderFixture folder;
    WriteStandardProgramFolder(folder);
    const fs::path program = folder.path() / "tolvane";
    fs::copy_file(TOLVANE_PROGRAM_PATH, program);
    TempDir runtime;
    ChildProgram::Options options;
    options.environment = {"QT_QPA_PLATFORM=offscreen", "SDL_AUDIODRIVER=dummy",
                           "XDG_RUNTIME_DIR=" + runtime.path().string()};
    ChildProgram window(program.string(), {}, runtime / "out", runtime / "err", options);
    ASSERT_TRUE(WaitUntilTheWindowIsUp(window)) << ReadFileBytes(runtime / "err");
    for (const std::string& library : libraries) {
        bool mapped = false;
        for (int i = 0; i < 600 && !mapped; ++i) {
            mapped = MapsLibrary(window.pid(), library);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_TRUE(mapped) << library << " was not loaded after the start";
    }
    window.Signal(SIGTERM);
    EXPECT_EQ(window.WaitOrKill(std::chrono::seconds(120)).code, 128 + SIGTERM);
#endif
}

// On an X display the program opens the session bus on a thread while it starts (Qt's
// accessibility bridge needs it); with no bus to reach, the window still comes up and a
// signal still ends it.
TEST(ProgramStart, ComesUpOnAnXDisplayWithoutASessionBus) {
    const fs::path xvfb = "/usr/bin/Xvfb";
    if (!fs::exists(xvfb))
        GTEST_SKIP() << "no Xvfb";
    TempDir logs;
    // The server takes the first free display and writes its number, once it listens.
    ChildProgram server(xvfb.string(), {"-displayfd", "1", "-nolisten", "tcp"}, logs / "x.out",
                        logs / "x.err", {});
    std::string written;
    for (int i = 0; i < 400 && !written.ends_with('\n') && !server.Ended(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        written = ReadFileBytes(logs / "x.out");
    }
    ASSERT_TRUE(written.ends_with('\n')) << ReadFileBytes(logs / "x.err");
    const std::string display = ":" + written.substr(0, written.size() - 1);
    ProgramFolderFixture folder;
    WriteStandardProgramFolder(folder);
    const fs::path program = folder.path() / "tolvane";
    fs::copy_file(TOLVANE_PROGRAM_PATH, program);
    ChildProgram::Options options;
    options.environment = {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display, "SDL_AUDIODRIVER=dummy",
                           "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (logs / "no-bus").string(),
                           "XDG_RUNTIME_DIR=" + logs.path().string()};
    ChildProgram window(program.string(), {}, logs / "out", logs / "err", options);
    ASSERT_TRUE(WaitUntilTheWindowIsUp(window)) << ReadFileBytes(logs / "err");
    window.Signal(SIGTERM);
    const ChildEnd end = window.WaitOrKill(std::chrono::seconds(120));
    EXPECT_TRUE(end.exited && end.code == 128 + SIGTERM)
        << end.Describe() << ": " << ReadFileBytes(logs / "err");
    server.Signal(SIGTERM);
    server.WaitOrKill(std::chrono::seconds(30));
}

TEST(SingleInstance, SecondStartHandsItsFilesToTheRunningWindowAndEnds) {
    ProgramFolderFixture folder;
    WriteStandardProgramFolder(folder);
    const fs::path program = folder.path() / "tolvane";
    fs::copy_file(TOLVANE_PROGRAM_PATH, program);
    TempDir runtime;
    TempDir media;
    const fs::path song = MakeTone(media.path(), "song.wav", 30.0, 8000, 1);
    ChildProgram::Options options;
    options.environment = {"QT_QPA_PLATFORM=offscreen", "SDL_AUDIODRIVER=dummy",
                           "XDG_RUNTIME_DIR=" + runtime.path().string()};
    ChildProgram first(program.string(), {}, runtime / "first.out", runtime / "first.err", options);
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(WaitUntilTheWindowIsUp(first)) << ReadFileBytes(runtime / "first.err");

    struct Case {
        const char* name;
        std::vector<std::string> arguments;
    };
    for (const Case& c : {Case{"no file", {}}, Case{"one file", {song.string()}}}) {
        SCOPED_TRACE(c.name);
        ChildProgram second(program.string(), c.arguments, runtime / "second.out",
                            runtime / "second.err", options);
        const ChildEnd end = second.WaitOrKill(std::chrono::seconds(60));
        EXPECT_TRUE(end.exited && end.code == 0)
            << end.Describe() << ": " << ReadFileBytes(runtime / "second.err");
        EXPECT_FALSE(first.Ended()) << "the running window ended";
    }
    // The file became the running window's cut-tab file, which the player opened.
    bool opened = false;
    for (int i = 0; i < 600 && !opened; ++i) {
        opened = HoldsOpen(first.pid(), song);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(opened) << "the running window did not open the handed file";
    // Opening it printed none of FFmpeg's stream dumps on the terminal.
    EXPECT_EQ(ReadFileBytes(runtime / "first.err").find("Input #"), std::string::npos)
        << ReadFileBytes(runtime / "first.err");
    first.Signal(SIGTERM);
    EXPECT_EQ(first.WaitOrKill(std::chrono::seconds(120)).code, 128 + SIGTERM);

    // With the window gone, the next start runs the window itself.
    ChildProgram next(program.string(), {}, runtime / "next.out", runtime / "next.err", options);
    ASSERT_TRUE(WaitUntilTheWindowIsUp(next))
        << next.end().Describe() << ": " << ReadFileBytes(runtime / "next.err");
    next.Signal(SIGTERM);
    EXPECT_EQ(next.WaitOrKill(std::chrono::seconds(120)).code, 128 + SIGTERM);
}

// Another user (65534) takes the names a start without $XDG_RUNTIME_DIR could use in the
// temporary folder: the old "tolvane-<uid>.socket" and the folder "tolvane-<uid>", both
// listened on. The user's start must neither hand its file over nor end: it runs its
// window, and the squatter sees no connection.
TEST(SingleInstance, NamesAnotherUserTookInTheTemporaryFolderAreNeverUsed) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as a second user";
    TempDir temp;
    fs::permissions(temp.path(), fs::perms::all | fs::perms::sticky_bit);
    const std::string uid = std::to_string(getuid());
    const fs::path log = temp / "squatter.log";
    const std::string squatter =
        "import os, socket, sys, time\n"
        "t, uid = sys.argv[1], sys.argv[2]\n"
        "os.mkdir(f'{t}/tolvane-{uid}', 0o777); os.chmod(f'{t}/tolvane-{uid}', 0o777)\n"
        "socks = []\n"
        "for p in (f'{t}/tolvane-{uid}.socket', f'{t}/tolvane-{uid}/tolvane.socket'):\n"
        "    s = socket.socket(socket.AF_UNIX); s.bind(p); os.chmod(p, 0o777); s.listen()\n"
        "    s.settimeout(0.1); socks.append(s)\n"
        "open(sys.argv[3] + '.ready', 'w').close()\n"
        "while True:\n"
        "    for s in socks:\n"
        "        try: c, _ = s.accept()\n"
        "        except socket.timeout: continue\n"
        "        open(sys.argv[3], 'a').write('connected\\n')\n";
    ChildProgram::Options squatterOptions;
    ChildProgram squat("/usr/bin/setpriv",
                       {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3",
                        "-c", squatter, temp.path().string(), uid, log.string()},
                       temp / "squat.out", temp / "squat.err", squatterOptions);
    for (int i = 0; i < 200 && !fs::exists(log.string() + ".ready"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(fs::exists(log.string() + ".ready")) << ReadFileBytes(temp / "squat.err");

    ProgramFolderFixture folder;
    WriteStandardProgramFolder(folder);
    const fs::path program = folder.path() / "tolvane";
    fs::copy_file(TOLVANE_PROGRAM_PATH, program);
    TempDir media;
    const fs::path song = MakeTone(media.path(), "song.wav", 5.0, 8000, 1);
    ChildProgram::Options options;
    // An empty XDG_RUNTIME_DIR counts as none.
    options.environment = {"QT_QPA_PLATFORM=offscreen", "SDL_AUDIODRIVER=dummy",
                           "TMPDIR=" + temp.path().string(), "XDG_RUNTIME_DIR="};
    ChildProgram start(program.string(), {song.string()}, temp / "start.out", temp / "start.err",
                       options);
    EXPECT_TRUE(WaitUntilTheWindowIsUp(start))
        << start.end().Describe() << ": " << ReadFileBytes(temp / "start.err");
    EXPECT_FALSE(fs::exists(log)) << "the squatter was connected to";
    EXPECT_NE(ReadFileBytes(temp / "start.err").find("not a folder of this user's own"),
              std::string::npos);
    start.Signal(SIGTERM);
    EXPECT_EQ(start.WaitOrKill(std::chrono::seconds(120)).code, 128 + SIGTERM);
    squat.Signal(SIGKILL);
    squat.Wait();
}

// The --help and --version answers need no display: no QT_QPA_PLATFORM, no DISPLAY.
TEST(ProgramOptions, HelpAndVersionArePrintedWithoutADisplay) {
    TempDir logs;
    for (const char* option : {"--help", "-h", "--version"}) {
        SCOPED_TRACE(option);
        ChildProgram::Options options;
        options.environment = {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="};
        ChildProgram run(TOLVANE_PROGRAM_PATH, {option}, logs / "out", logs / "err", options);
        const ChildEnd end = run.WaitOrKill(std::chrono::seconds(30));
        EXPECT_TRUE(end.exited && end.code == 0) << end.Describe() << ReadFileBytes(logs / "err");
        const std::string out = ReadFileBytes(logs / "out");
        EXPECT_EQ(
            out.rfind(option == std::string("--version") ? "tolvane 1." : "Usage: tolvane", 0), 0u)
            << out;
    }
}

#endif

// The socket's folder is used only when it is a real folder of the user's own that no
// one else may enter.
TEST(SingleInstance, PrivateFolderChecks) {
    TempDir temp;
    const uid_t me = getuid();
    const std::string made = (temp / "made").string();
    EXPECT_TRUE(MakePrivateFolder(made, me));
    EXPECT_EQ(fs::status(made).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_TRUE(MakePrivateFolder(made, me)) << "a second start finds it as it was left";
    const std::string open = (temp / "open").string();
    fs::create_directory(open);
    fs::permissions(open, fs::perms::owner_all | fs::perms::others_exec);
    EXPECT_FALSE(MakePrivateFolder(open, me)) << "others may enter it";
    const std::string link = (temp / "link").string();
    fs::create_directory_symlink(made, link);
    EXPECT_FALSE(MakePrivateFolder(link, me)) << "a link, even to a private folder";
    EXPECT_FALSE(MakePrivateFolder(made, me + 1)) << "another user's";
    std::ofstream(temp / "file").put('x');
    EXPECT_FALSE(MakePrivateFolder((temp / "file").string(), me)) << "not a folder";
}

// Restores the dispositions of the three signals when the test ends, whatever the
// handlers installed meanwhile.
class SavedDispositions {
  public:
    SavedDispositions() {
        for (std::size_t i = 0; i < kStopSignals.size(); ++i)
            sigaction(kStopSignals[i].number, nullptr, &saved_[i]);
    }
    ~SavedDispositions() {
        for (std::size_t i = 0; i < kStopSignals.size(); ++i)
            sigaction(kStopSignals[i].number, &saved_[i], nullptr);
    }

  private:
    struct sigaction saved_[3]{};
};

// The signal comes while the progress dialog of a merge is up and the merge is writing:
// the window ends as by its close box, the merge is stopped, the part joined so far stays
// a valid file, the player is closed and the run ends with 128 + the signal's number.
// No message waits for an answer on the way out.
TEST(TerminationSignals, RunningMergeIsCancelledAndItsPartKept) {
    const SavedDispositions restoreAtEnd;
    ProgramFolderFixture folder;
    WriteStandardProgramFolder(folder);
    TempDir media;
    const fs::path first = MakeTone(media.path(), "first.wav", 300.0, 44100, 2, "-c:a pcm_s16le");
    const fs::path second = MakeTone(media.path(), "second.wav", 60.0, 44100, 2, "-c:a pcm_s16le");
    const std::string settingsBefore = folder.ReadSettings();
    for (const StopSignal& stop : kStopSignals) {
        SCOPED_TRACE(stop.name);
        ASSERT_TRUE(InstallTerminationSignals());
        TempDir output;
        const fs::path merged = output.path() / "first.mp3";
        WindowFakes fakes;
        bool signalled = false;
        CTolvaneApp app([&] {
            WindowServices services = fakes.Services(folder.path());
            services.runModal = [&](QDialog& dialog) {
                auto* progress = qobject_cast<CAVConvertDlg*>(&dialog);
                if (progress == nullptr)
                    return int(QDialog::Rejected);
                // The signal goes once the merge has written a part; a merge that never
                // gets there is stopped from its dialog after two minutes.
                QTimer watch;
                int ticks = 0;
                QObject::connect(&watch, &QTimer::timeout, progress, [&, progress] {
                    ++ticks;
                    if (!signalled && FileSizeOrZero(merged) > 100'000) {
                        signalled = true;
                        raise(stop.number);
                    } else if (!signalled && ticks > 24000) {
                        static_cast<QPushButton*>(progress->GetDlgItem(ProgressDialogId::Cancel))
                            ->click();
                    }
                });
                watch.start(5);
                return dialog.exec();
            };
            return services;
        });
        std::vector<std::string> playerCalls;
        app.SetWindowHook([&](CTolvaneDlg& window) {
            QTimer::singleShot(0, &window, [&] {
                window.Item<QComboBox>(ControlId::OutputFolderBox)
                    ->setEditText(QString::fromStdString(output.path().string()));
                window.Item<QTabBar>(ControlId::Tabs)->setCurrentIndex(1);
                fakes.fileChooser.answer = {QString::fromStdString(first.string()),
                                            QString::fromStdString(second.string())};
                window.Item<CControlButton>(ControlId::Add)->click();
                window.Item<CControlButton>(ControlId::Merge)->click();
                playerCalls = fakes.player->Commands();
            });
        });
        const int status = app.Run();
        ASSERT_TRUE(signalled) << "the merge ended before the signal";
        EXPECT_EQ(status, 128 + stop.number);
        EXPECT_TRUE(fakes.messageBox.messages.empty())
            << "a message held up the end: " << fakes.messageBox.messages.front().toStdString();
        ASSERT_FALSE(playerCalls.empty());
        EXPECT_EQ(playerCalls.back(), "Close");
        // The part joined so far, a valid MP3 shorter than the whole.
        const ProbeInfo info = Ffprobe(merged);
        ASSERT_TRUE(info.ok) << "no valid part in " << merged;
        EXPECT_EQ(info.codecName, "mp3");
        EXPECT_GT(info.durationSec, 1.0);
        EXPECT_LT(info.durationSec, 359.0);
        const PacketTimes packets = FfprobePackets(merged);
        ASSERT_FALSE(packets.pts.empty());
        EXPECT_NEAR(info.durationSec, packets.pts.back() + packets.duration.back(), 0.1)
            << "the part's length header was written at the end";
        ExpectSameSettings(folder.path() / "setting.ini", settingsBefore);
    }
}

}  // namespace
}  // namespace tolvane::testing
