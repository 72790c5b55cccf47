#pragma once
// Examining files and running media jobs.

#include <cstdint>
#include <thread>

#include "engine/job/MediaJob.h"

struct AVFormatContext;

namespace tolvane {

// What a probe made of a file. The values are the ones callers have always shown and
// stored; any other (negative) value is the FFmpeg error of setting up a decoder.
enum class ProbeResult : std::int32_t {
    Usable = 0,
    Unusable = -1,      // cannot be opened, has a video stream or no usable audio stream
    NoStreamInfo = -2,  // FFmpeg found no stream information
    OutOfMemory = -12,  // AVERROR(ENOMEM)
};

// Examines job.probeFileName and leaves its results in the job (times, audio
// parameters, mislabel flags).
ProbeResult ProbeMedia(MediaJob& job);

// Thread routine: runs the job described by the record (copy mode for a cut,
// re-encode mode for a join) and returns when it is done, failed or cancelled.
void MediaJobWorker(MediaJob& job);

// Runs a copy cut of one range (startSec[0]..endSec[0] into outputNames[0]) of an input
// the caller has opened, on the calling thread. The cut positions the input itself, so
// one open input serves several cuts in turn (a split).
void RunCopyCutOnInput(MediaJob& job, AVFormatContext& input);

enum class JobStartResult {
    Started,
    TooManyInputs,  // more than kMaxJobInputs inputs: nothing was started
    EmptyRange,     // a cut whose start is not before its end: nothing was started
};

// Owns the worker thread. A new job, a probe and destruction first wait for the
// previous worker to end, so a probe never overlaps a job.
class MediaJobRunner {
  public:
    MediaJobRunner() = default;
    ~MediaJobRunner();
    MediaJobRunner(const MediaJobRunner&) = delete;
    MediaJobRunner& operator=(const MediaJobRunner&) = delete;

    // Resets currentIndex, cancelRequested and progressPercent, sets joinMode and
    // starts MediaJobWorker on a new thread. Returns at once.
    JobStartResult StartMediaJob(MediaJob& job, bool joinMode);
    // Waits for the previous worker, then runs ProbeMedia.
    ProbeResult Probe(MediaJob& job);
    // Blocks until the worker (if any) has ended.
    void WaitForWorker();
    // True while a worker thread runs.
    bool IsRunning() const;

  private:
    std::thread worker_;
    std::atomic<bool> running_{false};
};

}  // namespace tolvane
