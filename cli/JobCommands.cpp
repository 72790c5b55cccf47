#include "JobCommands.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "FolderWriteTest.h"
#include "Interrupt.h"
#include "engine/copy/CopyJoinCheck.h"
#include "engine/job/JobBuilders.h"
#include "engine/job/JobFailureReading.h"
#include "engine/job/MediaEngine.h"
#include "engine/cut/MislabelledCut.h"
#include "NameQuoting.h"
#include "engine/naming/OutputNaming.h"
#include "engine/job/OutputProfile.h"
#include "engine/naming/FormatNames.h"
#include "ProgressReport.h"
#include "TimeCode.h"

namespace tolvane::cli {

namespace {

// Short, so a quick job is not held up waiting for the next look.
constexpr auto kPollPeriod = std::chrono::milliseconds(10);

// Why a file cannot be taken as input, before FFmpeg is asked.
std::string FileSystemProblem(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return "no such file";
        return std::string("cannot be reached: ") + std::strerror(errno);
    }
    if (S_ISDIR(info.st_mode))
        return "is a folder, not an audio file";
    if (!S_ISREG(info.st_mode))
        return "is not a regular file (a pipe or a device cannot be cut)";
    if (access(path.c_str(), R_OK) != 0)
        return std::string("cannot be read: ") + std::strerror(errno);
    return {};
}

std::string ProbeProblem(ProbeResult result, const MediaJob& job) {
    switch (result) {
        case ProbeResult::Usable:
            break;
        case ProbeResult::Unusable:
            return "not an audio file that can be read (or it holds a video stream)";
        case ProbeResult::NoStreamInfo:
            return "its streams cannot be recognised";
        case ProbeResult::OutOfMemory:
            return "out of memory while examining it";
        default:
            return "its audio decoder cannot be set up (error " +
                   std::to_string(static_cast<int>(result)) + ")";
    }
    if (job.audioSampleRate <= 0 || job.audioChannels <= 0)
        return "holds no usable audio";
    if (job.probeStartUs < 0 || job.probeEndUs < 0)
        return "its duration is unknown";
    return {};
}

// Probes one input the way the window does when a file is added; returns why it is
// not usable, empty when it is. The probe's results stay in the job.
std::string ProbeInputProblem(MediaJobRunner& runner, MediaJob& job, const std::string& path) {
    std::string problem = FileSystemProblem(path);
    if (problem.empty()) {
        job.probeFileName = path;
        problem = ProbeProblem(runner.Probe(job), job);
    }
    return problem;
}

}  // namespace

bool ProbeInput(MediaJobRunner& runner, MediaJob& job, const std::string& path) {
    std::string problem = ProbeInputProblem(runner, job, path);
    if (!problem.empty())
        Complain(path, problem);
    return problem.empty();
}

// Where the demuxer ends the file: a cut up to there runs to the file's end (the length
// a file states may lie a little before it).
std::int32_t EndMs(const MediaJob& job) {
    std::int64_t ms = job.probeEndUs / 1000;
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(ms, std::numeric_limits<std::int32_t>::max()));
}

std::int32_t DurationMs(const MediaJob& job) {
    std::int64_t ms = job.probeDurationUs / 1000;
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(ms, std::numeric_limits<std::int32_t>::max()));
}

bool CheckOutputFolder(const std::string& folder) {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) {
        Complain(folder, errno == ENOENT ? "no such output folder"
                                         : std::string("output folder cannot be reached: ") +
                                               std::strerror(errno));
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        Complain(folder, "the output folder is not a folder");
        return false;
    }
    if (const int error = FolderWriteError(folder, ".tolvane-write-test-XXXXXX"); error != 0) {
        Complain(folder,
                 std::string("cannot write into the output folder: ") + std::strerror(error));
        return false;
    }
    return true;
}

namespace {

std::string ShortName(const std::string& path) {
    return std::string(InputFileName(path));
}

enum class JobOutcome { Done, Failed, Cancelled };

struct JobResult {
    JobOutcome outcome = JobOutcome::Failed;
    int failedInput = -1;
    int signal = 0;
};

// Starts the filled job, shows its progress, forwards Ctrl-C as a cancel request and
// waits for the worker to end.
JobResult RunToEnd(MediaJobRunner& runner, MediaJob& job, bool joinMode) {
    switch (runner.StartMediaJob(job, joinMode)) {
        case JobStartResult::Started:
            break;
        case JobStartResult::TooManyInputs:
            Complain(ShortName(job.inputNames.front()), "too many inputs for one job");
            return {};
        case JobStartResult::EmptyRange:
            Complain(ShortName(job.inputNames.front()), "the start of the range equals its end");
            return {};
    }
    ProgressReport progress(stderr, isatty(STDERR_FILENO) != 0);
    const InterruptCancels cancels(job.cancelRequested);
    while (runner.IsRunning()) {
        // Before the worker has taken the first input the job shows as 0 % of it.
        int index = std::max(job.currentIndex.load(), 0);
        if (index < job.fileCount)
            progress.Show(std::max(job.progressPercent.load(), 0), index + 1, job.fileCount,
                          ShortName(job.inputNames[static_cast<std::size_t>(index)]));
        std::this_thread::sleep_for(kPollPeriod);
    }
    runner.WaitForWorker();

    JobResult result;
    for (int i = 0; i < job.fileCount; ++i) {
        if (job.fileStatus[static_cast<std::size_t>(i)].load() == kInputFailed) {
            result.failedInput = i;
            return result;
        }
    }
    // A Ctrl-C that came as the last input finished leaves a complete job: done.
    for (int i = 0; i < job.fileCount; ++i) {
        if (job.fileStatus[static_cast<std::size_t>(i)].load() != kInputDone) {
            if (job.cancelRequested.load()) {
                result.outcome = JobOutcome::Cancelled;
                result.signal = ReceivedInterrupt();
            } else {
                result.failedInput = i;
            }
            return result;
        }
    }
    // The worker's last figure is taken before the final packet; the job is complete.
    progress.Show(100, job.fileCount, job.fileCount, ShortName(job.inputNames.back()));
    result.outcome = JobOutcome::Done;
    return result;
}

// One probe result as a JSON object on one line.
std::string ProbeJsonObject(const std::string& path, const std::string& problem,
                            const MediaJob& job) {
    std::string object = "{\"path\": " + JsonString(path);
    if (!problem.empty())
        return object + ", \"usable\": false, \"error\": " + JsonString(problem) + "}";
    char duration[32];
    std::snprintf(duration, sizeof duration, "%lld.%06lld",
                  static_cast<long long>(job.probeDurationUs / 1000000),
                  static_cast<long long>(job.probeDurationUs % 1000000));
    const FormatNames names = ReadFormatNames(path);
    object += std::string(", \"usable\": true, \"duration\": ") + duration +
              ", \"rate\": " + std::to_string(job.audioSampleRate) +
              ", \"channels\": " + std::to_string(job.audioChannels) + ", \"bit_rate\": " +
              (job.audioBitRate > 0 ? std::to_string(job.audioBitRate) : "null") +
              ", \"codec\": " + JsonString(names.codec) +
              ", \"container\": " + JsonString(names.container) + "}";
    return object;
}

int RunProbeJson(const Request& request) {
    MediaJobRunner runner;
    MediaJob job;
    int status = kExitOk;
    std::printf("[");
    const char* separator = "\n";
    for (const std::string& path : request.files) {
        if (ReceivedInterrupt() != 0) {
            status = kExitSignalBase + ReceivedInterrupt();
            break;
        }
        std::string problem = ProbeInputProblem(runner, job, path);
        if (!problem.empty())
            status = kExitFailed;
        std::printf("%s%s", separator, ProbeJsonObject(path, problem, job).c_str());
        separator = ",\n";
    }
    std::printf("\n]\n");
    return status;
}

int CancelledStatus(const JobResult& result) {
    return kExitSignalBase + (result.signal != 0 ? result.signal : 2);
}

bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// One line for a failed job: the file the worker's first failure concerns (the output,
// or `input`, the input that failed) and the reason. Without a recorded reason the
// line falls back to `fallback` about `input`.
void ComplainAboutFailure(const MediaJob& job, const std::string& input, const std::string& output,
                          const std::string& fallback) {
    const JobFailureReading failure =
        ReadJobFailure(job.failureCode.load(), job.failureOnOutput.load(), job.failureStep.load());
    if (failure.kind == JobFailureKind::None) {
        Complain(input, fallback);
        return;
    }
    Complain(failure.onOutput ? output : input, failure.detail);
}

// The line for a cancelled job (`what`: "cut" or "joined"); the output's path goes to
// standard output when a file remains.
void ReportCancelled(const MediaJob& job, const std::string& subject, const std::string& output,
                     const std::string& what) {
    if (Exists(output)) {
        Complain(subject, "cancelled; the part " + what + " so far is in " + NameForOutput(output));
        std::printf("%s\n", NameForOutput(output).c_str());
        return;
    }
    switch (job.cancelledOutput.load()) {
        case kCancelledOutputEmpty:
            Complain(subject, "cancelled before anything was written");
            break;
        case kCancelledOutputUnreadable:
            Complain(subject, "cancelled; the part " + what +
                                  " so far was too short to be read back and was removed");
            break;
        default:
            Complain(subject, "cancelled; no output remains");
            break;
    }
}

}  // namespace

void Complain(const std::string& subject, const std::string& what) {
    std::fprintf(stderr, "tolvane-cli: %s: %s\n", NameForOutput(subject).c_str(),
                 PrintableText(what).c_str());
}

int RunProbe(const Request& request) {
    if (request.json)
        return RunProbeJson(request);
    MediaJobRunner runner;
    MediaJob job;
    int status = kExitOk;
    for (const std::string& path : request.files) {
        if (ReceivedInterrupt() != 0)
            return kExitSignalBase + ReceivedInterrupt();
        if (!ProbeInput(runner, job, path)) {
            status = kExitFailed;
            continue;
        }
        std::string line = NameForOutput(path) + ": " + FormatTimeCode(DurationMs(job)) + ", " +
                           std::to_string(job.audioSampleRate) + " Hz, " +
                           std::to_string(job.audioChannels) +
                           (job.audioChannels == 1 ? " channel" : " channels");
        if (job.audioBitRate > 0)
            line +=
                ", " + std::to_string((std::int64_t{job.audioBitRate} + 500) / 1000) + " kbit/s";
        std::string trueExtension = MislabelledTrueExtension(path, job.mislabeled);
        if (!trueExtension.empty())
            line += ", holds " + trueExtension.substr(1) + " audio despite its .mp3 name";
        std::printf("%s\n", line.c_str());
    }
    return status;
}

namespace {

// Cuts the request's range of one input; returns its exit status.
int CutOne(MediaJobRunner& runner, const std::string& input, const Request& request) {
    MediaJob job;
    if (!ProbeInput(runner, job, input))
        return kExitFailed;

    const std::int32_t startMs = request.startMs.value_or(0);
    const std::int32_t endMs = request.endMs.value_or(EndMs(job));
    if (startMs > endMs) {
        Complain(input, "the start " + FormatTimeCode(startMs) + " lies after the end " +
                            FormatTimeCode(endMs));
        return kExitUsage;
    }
    // A range wholly past the end would give an output without audio, reported as done.
    if (startMs >= EndMs(job)) {
        Complain(input, "the start " + FormatTimeCode(startMs) +
                            " lies at or after the end of the file (" + FormatTimeCode(EndMs(job)) +
                            ")");
        return kExitUsage;
    }
    // Every format would give a file without audio, or fail only once the job runs.
    if (startMs == endMs) {
        Complain(input, "the start " + FormatTimeCode(startMs) + " equals the end: nothing to " +
                            (request.remove ? "remove" : "cut"));
        return kExitUsage;
    }
    const double lengthSec = EndMs(job) / 1000.0;
    if (request.remove && startMs <= 0 && !(endMs / 1000.0 < lengthSec - kRemoveEndSlackSec)) {
        Complain(input, "the stretch to remove is the whole file: nothing would remain");
        return kExitUsage;
    }
    OutputNamingError why = OutputNamingError::None;
    std::optional<std::string> output =
        MakeCutOutputPath(request.outputFolder, input, job.mislabeled, &why);
    if (!output) {
        Complain(input, DescribeOutputNamingError(why));
        return kExitFailed;
    }
    if (ReceivedInterrupt() != 0)
        return kExitSignalBase + ReceivedInterrupt();

    job.chainOggStreams = !request.singleStream;
    if (request.remove)
        PrepareRemoveJob(job, input, *output, startMs / 1000.0, endMs / 1000.0, lengthSec);
    else
        PrepareCutJob(job, input, *output, startMs / 1000.0, endMs / 1000.0);
    job.keepSourceTags = request.keepTags;

    JobResult result = RunToEnd(runner, job, false);
    switch (result.outcome) {
        case JobOutcome::Done: {
            // A cut running at the same moment may have taken the name first.
            const std::string written = job.outputNames.front();
            std::string final = FinishMislabelledCut(input, written, job.mislabeled);
            std::printf("%s\n", NameForOutput(final).c_str());
            return kExitOk;
        }
        case JobOutcome::Cancelled:
            ReportCancelled(job, input, *output, "cut");
            return CancelledStatus(result);
        case JobOutcome::Failed:
            break;
    }
    // The engine removes the output of a failed job itself; a file left at that name
    // is not ours to describe.
    ComplainAboutFailure(job, input, *output, "the cut failed");
    return kExitFailed;
}

}  // namespace

int RunCut(const Request& request) {
    if (!CheckOutputFolder(request.outputFolder))
        return kExitFailed;
    MediaJobRunner runner;
    int worst = kExitOk;
    for (const std::string& input : request.files) {
        if (ReceivedInterrupt() != 0)
            return kExitSignalBase + ReceivedInterrupt();
        // The statuses rank as their numbers do: failed, bad range, cancelled.
        worst = std::max(worst, CutOne(runner, input, request));
        if (worst >= kExitSignalBase)
            break;
    }
    return worst;
}

int RunJoin(const Request& request) {
    MediaJobRunner runner;
    MediaJob job;
    bool allUsable = true;
    std::vector<std::int32_t> durationsMs;
    MislabelFlags firstFlags;
    for (const std::string& path : request.files) {
        bool usable = ProbeInput(runner, job, path);
        allUsable = allUsable && usable;
        durationsMs.push_back(usable ? DurationMs(job) : 0);
        if (durationsMs.size() == 1)
            firstFlags = job.mislabeled;
    }
    if (!allUsable)
        return kExitFailed;
    if (static_cast<int>(request.files.size()) > kMaxJobInputs) {
        Complain(request.files.front(),
                 "a join takes at most " + std::to_string(kMaxJobInputs) + " files");
        return kExitUsage;
    }
    if (!CheckOutputFolder(request.outputFolder))
        return kExitFailed;

    if (request.copy) {
        // Unlike inputs are refused before anything is written.
        if (const std::optional<CopyJoinRefusal> refusal =
                CheckCopyJoin(request.files, !request.singleStream)) {
            Complain(request.files[refusal->input], refusal->reason);
            return kExitFailed;
        }
    }
    OutputProfile profile;
    OutputNamingError why = OutputNamingError::None;
    // A copy takes the first input's format and so its extension, as a cut does.
    std::optional<std::string> output =
        request.copy
            ? MakeCutOutputPath(request.outputFolder, request.files.front(), firstFlags, &why)
            : MakeJoinOutputPath(request.outputFolder, request.files.front(), profile.formatEntry,
                                 &why);
    if (!output) {
        Complain(request.files.front(), DescribeOutputNamingError(why));
        return kExitFailed;
    }
    if (ReceivedInterrupt() != 0)
        return kExitSignalBase + ReceivedInterrupt();

    std::vector<JoinRange> ranges;
    for (std::size_t k = 0; k < request.files.size(); ++k)
        ranges.push_back({request.files[k], 0.0, durationsMs[k] / 1000.0});
    job.chainOggStreams = !request.singleStream;
    if (request.copy)
        PrepareCopyJoinJob(job, ranges, *output);
    else
        PrepareJoinJob(job, ranges, *output,
                       {request.bitRate.value_or(profile.bitRate),
                        request.sampleRate.value_or(profile.sampleRate),
                        request.channels.value_or(profile.channels)});

    JobResult result = RunToEnd(runner, job, true);
    switch (result.outcome) {
        case JobOutcome::Done:
            // Another job may have taken the name first.
            std::printf("%s\n", NameForOutput(job.outputNames.front()).c_str());
            return kExitOk;
        case JobOutcome::Cancelled:
            ReportCancelled(job, request.files.front(), *output, "joined");
            return CancelledStatus(result);
        case JobOutcome::Failed:
            break;
    }
    std::string failed = result.failedInput >= 0
                             ? request.files[static_cast<std::size_t>(result.failedInput)]
                             : request.files.front();
    ComplainAboutFailure(job, failed, *output, "the join failed at this file");
    return kExitFailed;
}

}  // namespace tolvane::cli
