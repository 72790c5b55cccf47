#include "engine/split/SplitJob.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "engine/ffmpeg/FfmpegHolders.h"
#include "engine/job/JobBuilders.h"
#include "engine/job/JobSteps.h"
#include "engine/job/MediaEngine.h"
#include "engine/split/PartNaming.h"

namespace tolvane::split {

namespace {

// Seconds the cut takes for a time in microseconds: half a microsecond more, so its
// truncation back to microseconds gives the same time, and both parts at a seam the
// same timestamp.
double CutSeconds(std::int64_t us) {
    return (static_cast<double>(us) + 0.5) / 1e6;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> MetadataOf(const PartTags& tags) {
    std::vector<std::pair<std::string, std::string>> metadata;
    auto add = [&metadata](const char* key, const std::string& value) {
        if (!value.empty())
            metadata.emplace_back(key, value);
    };
    add("title", tags.title);
    add("artist", tags.performer.empty() ? tags.albumArtist : tags.performer);
    add("album", tags.album);
    add("album_artist", tags.albumArtist);
    add("date", tags.date);
    add("genre", tags.genre);
    if (tags.track > 0)
        add("track", std::to_string(tags.track) +
                         (tags.trackTotal > 0 ? "/" + std::to_string(tags.trackTotal) : ""));
    return metadata;
}

SplitJob::SplitJob(SplitRequest request)
    : request_(std::move(request)), results_(request_.parts.size()) {
    for (const SplitPart& part : request_.parts)
        totalUs_ += std::max<std::int64_t>(part.endUs - part.startUs, 0);
}

void SplitJob::Run() {
    ff::InputFormatPtr input;
    if (int ret = OpenJobInput(request_.source, input); ret < 0) {
        sourceFailure_ = ret;
        outcome_ = SplitOutcome::Failed;
        return;
    }
    outcome_ = SplitOutcome::Done;
    for (std::size_t i = 0; i < request_.parts.size(); ++i) {
        if (cancelRequested.load()) {
            outcome_ = SplitOutcome::Cancelled;
            return;
        }
        currentPart = static_cast<int>(i);
        if (!WritePart(i, *input)) {
            outcome_ = SplitOutcome::Failed;
            return;
        }
        doneUs_ += std::max<std::int64_t>(request_.parts[i].endUs - request_.parts[i].startUs, 0);
    }
    currentPart = static_cast<int>(request_.parts.size());
    totalPercent = 100;
}

void SplitJob::ShowProgress(std::size_t index, int percent) {
    partPercent = percent;
    if (totalUs_ > 0) {
        const SplitPart& part = request_.parts[index];
        const double partUs =
            static_cast<double>(std::max<std::int64_t>(part.endUs - part.startUs, 0));
        const double done = static_cast<double>(doneUs_) + partUs * percent / 100.0;
        totalPercent =
            std::clamp(static_cast<int>(done * 100.0 / static_cast<double>(totalUs_)), 0, 100);
    }
    if (progressUpdated)
        progressUpdated(*this);
}

bool SplitJob::WritePart(std::size_t index, AVFormatContext& input) {
    const SplitPart& part = request_.parts[index];
    PartResult& result = results_[index];
    OutputNamingError why = OutputNamingError::None;
    const std::optional<std::string> path = FreePartPath(request_.folder, part.name, &why);
    if (!path) {
        result.outcome = PartOutcome::Failed;
        result.namingProblem = DescribeOutputNamingError(why);
        return false;
    }
    result.path = *path;
    // MediaJob holds arrays for a thousand inputs: too large for a worker's stack.
    auto job = std::make_unique<MediaJob>();
    const double endSec =
        part.toFileEnd ? std::numeric_limits<double>::infinity() : CutSeconds(part.endUs);
    PrepareCutJob(*job, request_.source, *path, CutSeconds(part.startUs), endSec);
    job->lengthSec[0] = static_cast<double>(part.endUs - part.startUs) / 1e6;
    job->keepSourceTags = request_.keepSourceTags;
    if (part.tags)
        job->outputTags = MetadataOf(*part.tags);
    job->progressUpdated = [this, index](MediaJob& running) {
        ShowProgress(index, std::max(running.progressPercent.load(), 0));
    };
    ShowProgress(index, 0);
    RunCopyCutOnInput(*job, input);
    if (job->fileStatus[0].load() == kInputDone) {
        result.outcome = PartOutcome::Written;
        ShowProgress(index, 100);
        return true;
    }
    result.outcome = PartOutcome::Failed;
    result.failureCode = job->failureCode.load();
    result.failureOnOutput = job->failureOnOutput.load();
    result.failureStep = job->failureStep.load();
    return false;
}

SplitJobRunner::~SplitJobRunner() {
    Wait();
}

void SplitJobRunner::Start(SplitJob& job) {
    Wait();
    running_ = true;
    worker_ = std::thread([this, &job] {
        job.Run();
        running_ = false;
    });
}

void SplitJobRunner::Wait() {
    if (worker_.joinable())
        worker_.join();
}

}  // namespace tolvane::split
