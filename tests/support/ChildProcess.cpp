#include "ChildProcess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace tolvane::testing {

namespace {

ChildEnd EndFromStatus(int status) {
    ChildEnd end;
    if (WIFEXITED(status)) {
        end.exited = true;
        end.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        end.signal = WTERMSIG(status);
    }
    return end;
}

}  // namespace

ChildEnd RunInChildProcess(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        return {};
    if (pid == 0)
        std::_Exit(body());
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return {};
    }
    return EndFromStatus(status);
}

int RunInChild(const std::function<int()>& body) {
    const ChildEnd end = RunInChildProcess(body);
    return end.exited ? end.code : -1;
}

std::string ChildEnd::Describe() const {
    if (exited)
        return "exit status " + std::to_string(code);
    if (signal != 0)
        return std::string("killed by ") + strsignal(signal);
    return "not ended";
}

ChildProgram::ChildProgram(const std::string& program, const std::vector<std::string>& arguments,
                           const std::filesystem::path& outFile,
                           const std::filesystem::path& errFile, const Options& options) {
    // Everything the child needs is made before the fork: after it only system calls.
    std::vector<std::string> strings;
    strings.push_back(program);
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        environment.emplace_back(*entry);
    for (const std::string& added : options.environment) {
        const std::string name = added.substr(0, added.find('=') + 1);
        std::erase_if(environment, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
        environment.push_back(added);
    }
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string outPath = outFile.string();
    const std::string errPath = errFile.string();
    const std::string workDir = options.workDir.string();

    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ != 0)
        return;
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
        _exit(126);
    if (!workDir.empty() && chdir(workDir.c_str()) != 0)
        _exit(126);
    if (options.beforeExec)
        options.beforeExec();
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
}

ChildProgram::~ChildProgram() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

void ChildProgram::Signal(int signalNumber) const {
    if (pid_ > 0 && !reaped_)
        kill(pid_, signalNumber);
}

bool ChildProgram::Ended() {
    if (reaped_)
        return true;
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, WNOHANG) != pid_)
        return false;
    reaped_ = true;
    end_ = EndFromStatus(status);
    return true;
}

ChildEnd ChildProgram::Wait() {
    if (pid_ <= 0 || reaped_)
        return end_;
    kill(pid_, SIGCONT);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    end_ = EndFromStatus(status);
    return end_;
}

ChildEnd ChildProgram::WaitOrKill(std::chrono::seconds limit) {
    Signal(SIGCONT);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!Ended() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!Ended())
        Signal(SIGKILL);
    return Wait();
}

bool RunChildUntil(ChildProgram& child, const std::function<bool()>& ready) {
    for (int step = 0; step < 200000; ++step) {
        child.Signal(SIGCONT);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        child.Signal(SIGSTOP);
        if (ready())
            return true;
        if (child.Ended())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::uintmax_t FileSizeOrZero(const std::filesystem::path& file) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    return ec ? 0 : size;
}

}  // namespace tolvane::testing
