#include "engine/job/MediaEngine.h"

namespace tolvane {

MediaJobRunner::~MediaJobRunner() {
    WaitForWorker();
}

JobStartResult MediaJobRunner::StartMediaJob(MediaJob& job, bool joinMode) {
    WaitForWorker();
    if (job.fileCount > kMaxJobInputs)
        return JobStartResult::TooManyInputs;
    // An empty stretch would give a file without audio in some formats and a failure
    // in others: it is refused alike for all.
    for (int k = 0; !joinMode && k < job.fileCount && k < kMaxJobInputs; ++k) {
        if (!(job.startSec[k] < job.endSec[k]))
            return JobStartResult::EmptyRange;
    }
    job.currentIndex = -1;
    job.cancelRequested = false;
    job.progressPercent = 0;
    job.joinMode = joinMode;
    running_ = true;
    worker_ = std::thread([this, &job] {
        MediaJobWorker(job);
        running_ = false;
    });
    return JobStartResult::Started;
}

ProbeResult MediaJobRunner::Probe(MediaJob& job) {
    WaitForWorker();
    return ProbeMedia(job);
}

void MediaJobRunner::WaitForWorker() {
    if (worker_.joinable())
        worker_.join();
}

bool MediaJobRunner::IsRunning() const {
    return running_.load();
}

}  // namespace tolvane
