// tolvane-cli split: one file into parts, at points, by a cue sheet, at silences or of
// one length each. The plan is made and checked before anything is written.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

#include "Interrupt.h"
#include "JobCommands.h"
#include "NameQuoting.h"
#include "ProgressReport.h"
#include "TimeCode.h"
#include "engine/job/JobFailureReading.h"
#include "engine/split/CuePlan.h"
#include "engine/split/PartNaming.h"
#include "engine/split/SilenceFinder.h"
#include "engine/split/SplitJob.h"
#include "engine/split/SplitPoints.h"

namespace tolvane::cli {

namespace {

using split::SplitPlan;

constexpr auto kPollPeriod = std::chrono::milliseconds(10);

std::string TimeCodeOf(std::int64_t us) {
    return FormatTimeCode(static_cast<std::int32_t>((us + 500) / 1000));
}

struct Planned {
    SplitPlan plan;
    std::string subject;  // what a failed plan is about: the file or the sheet
    int signal = 0;       // the signal that stopped the search for silences
};

// Decodes the file once for its silences; Ctrl-C stops the search.
SplitPlan PlanAtSilences(const Request& request, int& signal) {
    split::SilenceSettings settings;
    if (request.thresholdDb)
        settings.thresholdDb = *request.thresholdDb;
    if (request.minSilenceMs)
        settings.minLengthUs = std::int64_t{*request.minSilenceMs} * 1000;
    std::atomic<bool> stop{false};
    const InterruptCancels cancels(stop);
    split::SilenceFinder finder(settings, stop);
    split::SilenceScan scan;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        scan = finder.Scan(request.files[0]);
        done = true;
    });
    ProgressReport progress(stderr, isatty(STDERR_FILENO) != 0);
    while (!done.load()) {
        progress.Show(static_cast<int>(finder.Progress() * 100), 1, 1, "finding silences");
        std::this_thread::sleep_for(kPollPeriod);
    }
    worker.join();
    progress.Finish();
    signal = stop.load() ? ReceivedInterrupt() : 0;
    return scan.ok() ? split::PartsAtSilences(scan, settings) : SplitPlan{{}, scan.failure};
}

// The plan's complaint about split points in the tool's time codes.
std::string PointsProblem(std::vector<std::int64_t> pointsUs, std::int64_t lengthUs) {
    std::sort(pointsUs.begin(), pointsUs.end());
    if (pointsUs.front() <= 0)
        return "a split point at " + TimeCodeOf(pointsUs.front()) + " is not after the start";
    if (pointsUs.back() >= lengthUs)
        return "the split point " + TimeCodeOf(pointsUs.back()) +
               " lies at or past the end of the file (" + TimeCodeOf(lengthUs) + ")";
    const auto twin = std::adjacent_find(pointsUs.begin(), pointsUs.end());
    return twin != pointsUs.end() ? "two split points at " + TimeCodeOf(*twin) : "";
}

Planned MakePlan(const Request& request, std::int64_t lengthUs) {
    const std::string& file = request.files[0];
    Planned planned{{}, file, 0};
    switch (request.splitSource) {
        case SplitSource::Points: {
            std::vector<std::int64_t> points;
            for (std::int32_t ms : request.splitPointsMs)
                points.push_back(std::int64_t{ms} * 1000);
            planned.plan = split::PartsFromPoints(points, lengthUs);
            if (!planned.plan.ok() && !points.empty()) {
                if (std::string why = PointsProblem(points, lengthUs); !why.empty())
                    planned.plan.failure.message = why;
            }
            break;
        }
        case SplitSource::Every:
            planned.plan = split::PartsEvery(std::int64_t{request.everyMs} * 1000, lengthUs);
            break;
        case SplitSource::CueSheet: {
            planned.subject = request.cueSheet;
            const split::CueSheetReading reading = split::ReadCueSheet(request.cueSheet);
            planned.plan = reading.ok() ? split::PartsFromCueSheet(reading.sheet, file, lengthUs)
                                        : SplitPlan{{}, reading.failure};
            break;
        }
        case SplitSource::Silence:
            planned.plan = PlanAtSilences(request, planned.signal);
            break;
        case SplitSource::None:
            planned.plan = SplitPlan::Failed(split::PlanError::NoPoints, "no split point given");
            break;
    }
    return planned;
}

std::string JsonPart(const std::string& path, const split::SplitPart& part) {
    return "{\"path\": " + JsonString(path) +
           ", \"start\": " + JsonString(TimeCodeOf(part.startUs)) +
           ", \"end\": " + JsonString(TimeCodeOf(part.endUs)) + ", \"title\": " +
           (part.tags && !part.tags->title.empty() ? JsonString(part.tags->title) : "null") + "}";
}

// The parts with their paths, as lines or as one JSON array.
void ListParts(const std::vector<std::pair<std::string, const split::SplitPart*>>& parts, bool json,
               bool withTimes) {
    if (json)
        std::printf("[");
    const char* separator = "\n";
    for (const auto& [path, part] : parts) {
        if (json)
            std::printf("%s%s", separator, JsonPart(path, *part).c_str());
        else if (withTimes)
            std::printf("%s %s %s\n", TimeCodeOf(part->startUs).c_str(),
                        TimeCodeOf(part->endUs).c_str(), NameForOutput(path).c_str());
        else
            std::printf("%s\n", NameForOutput(path).c_str());
        separator = ",\n";
    }
    if (json)
        std::printf("\n]\n");
}

int DryRun(const Request& request, const std::vector<split::SplitPart>& parts) {
    std::vector<std::pair<std::string, const split::SplitPart*>> listed;
    for (const split::SplitPart& part : parts) {
        OutputNamingError why = OutputNamingError::None;
        std::optional<std::string> path =
            split::FreePartPath(request.outputFolder, part.name, &why);
        if (!path) {
            Complain(part.name, DescribeOutputNamingError(why));
            return kExitFailed;
        }
        listed.emplace_back(*path, &part);
    }
    ListParts(listed, request.json, true);
    return kExitOk;
}

// Runs the split, showing progress; Ctrl-C stops it after the part being written.
void RunToEnd(split::SplitJob& job, int& signal) {
    split::SplitJobRunner runner;
    const InterruptCancels cancels(job.cancelRequested);
    runner.Start(job);
    ProgressReport progress(stderr, isatty(STDERR_FILENO) != 0);
    const int count = static_cast<int>(job.request().parts.size());
    while (runner.IsRunning()) {
        const int part = std::min(std::max(job.currentPart.load(), 0), count - 1);
        progress.Show(job.totalPercent.load(), part + 1, count,
                      job.request().parts[static_cast<std::size_t>(part)].name);
        std::this_thread::sleep_for(kPollPeriod);
    }
    runner.Wait();
    progress.Finish();
    signal = ReceivedInterrupt();
}

void ComplainAboutPart(const split::SplitJob& job, std::size_t index) {
    const split::PartResult& result = job.results()[index];
    const std::string& name = job.request().parts[index].name;
    if (!result.namingProblem.empty()) {
        Complain(name, result.namingProblem);
        return;
    }
    const JobFailureReading failure =
        ReadJobFailure(result.failureCode, result.failureOnOutput, result.failureStep);
    const std::string subject =
        failure.onOutput && !result.path.empty() ? result.path : job.request().source;
    Complain(subject, "part " + std::to_string(index + 1) + " (" + name + ") failed: " +
                          (failure.kind == JobFailureKind::None ? std::string("unknown reason")
                                                                : failure.detail));
}

}  // namespace

int RunSplit(const Request& request) {
    const std::string& file = request.files[0];
    MediaJobRunner probeRunner;
    MediaJob probe;
    if (!ProbeInput(probeRunner, probe, file))
        return kExitFailed;
    Planned planned = MakePlan(request, probe.probeDurationUs);
    if (planned.signal != 0)
        return kExitSignalBase + planned.signal;
    if (!planned.plan.ok()) {
        Complain(planned.subject, planned.plan.failure.message);
        return planned.plan.failure.error == split::PlanError::SourceUnreadable ? kExitFailed
                                                                                : kExitUsage;
    }
    const std::optional<std::string> base = OutputBaseName(file);
    const std::optional<std::string> extension = CutOutputExtension(file, probe.mislabeled);
    if (!base || !extension) {
        Complain(file, DescribeOutputNamingError(OutputNamingError::NoExtension));
        return kExitFailed;
    }
    std::vector<split::SplitPart> parts = std::move(planned.plan.parts);
    split::NameParts(parts,
                     request.splitSource == SplitSource::CueSheet ? split::PartNameStyle::TrackTitle
                                                                  : split::PartNameStyle::Numbered,
                     *base, *extension);
    if (!CheckOutputFolder(request.outputFolder))
        return kExitFailed;
    if (request.dryRun)
        return DryRun(request, parts);
    if (ReceivedInterrupt() != 0)
        return kExitSignalBase + ReceivedInterrupt();

    split::SplitJob job({file, request.outputFolder, parts, request.keepTags});
    int signal = 0;
    RunToEnd(job, signal);
    if (job.sourceFailureCode() != 0) {
        Complain(file, "cannot be opened: " + FailureCodeText(job.sourceFailureCode()));
        return kExitFailed;
    }
    std::vector<std::pair<std::string, const split::SplitPart*>> written;
    for (std::size_t i = 0; i < job.results().size(); ++i) {
        if (job.results()[i].outcome == split::PartOutcome::Written)
            written.emplace_back(job.results()[i].path, &job.request().parts[i]);
    }
    ListParts(written, request.json, false);
    switch (job.outcome()) {
        case split::SplitOutcome::Done:
            return kExitOk;
        case split::SplitOutcome::Cancelled:
            Complain(file, "cancelled; " + std::to_string(written.size()) + " of " +
                               std::to_string(parts.size()) + " parts were written");
            return kExitSignalBase + (signal != 0 ? signal : 2);
        case split::SplitOutcome::Failed:
            break;
    }
    for (std::size_t i = 0; i < job.results().size(); ++i) {
        if (job.results()[i].outcome == split::PartOutcome::Failed)
            ComplainAboutPart(job, i);
    }
    return kExitFailed;
}

}  // namespace tolvane::cli
