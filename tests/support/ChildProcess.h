#pragma once
// Child processes for the tests that are about signals and limits: a function run in a
// forked child, and a program started with its own limits and signal dispositions, its
// output captured in files, stopped and signalled for real.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tolvane::testing {

// How a child ended.
struct ChildEnd {
    bool exited = false;
    int code = -1;   // the exit status when exited
    int signal = 0;  // the signal that ended it otherwise
    std::string Describe() const;
};

// Runs `body` in a forked child and returns how the child ended. The child ends with
// _Exit: no atexit handlers or static destructors of the parent's state run twice. A
// body that wants them (the leak checker of the sanitizer build) calls exit() itself.
ChildEnd RunInChildProcess(const std::function<int()>& body);
// The same, only the exit status (-1 when the child did not exit normally).
int RunInChild(const std::function<int()>& body);

// A program run as a child process, standard output and error in files, standard input
// from /dev/null. Killed and reaped on destruction when still running.
class ChildProgram {
  public:
    struct Options {
        std::filesystem::path workDir;         // empty: the test's
        std::vector<std::string> environment;  // NAME=VALUE added to the test's
        // Runs in the child between fork and exec (limits, signal dispositions); only
        // async-signal-safe calls belong here.
        std::function<void()> beforeExec;
    };

    ChildProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const std::filesystem::path& outFile, const std::filesystem::path& errFile,
                 const Options& options);
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    pid_t pid() const { return pid_; }
    bool started() const { return pid_ > 0; }
    void Signal(int signalNumber) const;
    // True (and the end recorded) when the child has ended; does not wait.
    bool Ended();
    // Waits for the end (continuing a stopped child first).
    ChildEnd Wait();
    // The same, but a child still running after `limit` is killed with SIGKILL, so a
    // program that ignores what it was sent fails the test instead of hanging it.
    ChildEnd WaitOrKill(std::chrono::seconds limit);
    const ChildEnd& end() const { return end_; }

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    ChildEnd end_;
};

// Lets a started child run in slices of half a millisecond, stopped in between, until
// `ready` says yes; then leaves it stopped and returns true. False when the child ends
// first. Slicing makes sure that what the caller does next lands while the child is busy,
// however fast the machine.
bool RunChildUntil(ChildProgram& child, const std::function<bool()>& ready);

// Size of a file, 0 when it does not exist.
std::uintmax_t FileSizeOrZero(const std::filesystem::path& file);

}  // namespace tolvane::testing
