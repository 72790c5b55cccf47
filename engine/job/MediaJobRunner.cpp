#include "engine/job/MediaEngine.h"

namespace tolvane {

MediaJobRunner::~MediaJobRunner() {
    WaitForWorker();
}

JobStartResult MediaJobRunner::StartMediaJob(MediaJob& job, bool joinMode) {
    WaitForWorker();
    if (job.fileCount > kMaxJobInputs)
        return JobStartResult::TooManyInputs;
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
