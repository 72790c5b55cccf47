#pragma once
// Writes the parts of a split: one input, opened once, and one output per part in the
// source's own format, each made by the same copy cut as a cut job, so adjacent parts
// meet where the cut's edges put them. Parts are written in order; a failure stops the
// split at the failing part, a cancel after the part being written (which is kept whole).

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/job/JobFailure.h"
#include "engine/split/SplitPlan.h"

struct AVFormatContext;

namespace tolvane::split {

enum class PartOutcome { Pending, Written, Failed };

// What became of one part; read once the split has ended.
struct PartResult {
    PartOutcome outcome = PartOutcome::Pending;
    std::string path;  // where it was (or was to be) written; empty before that
    // The job's failure record (see MediaJob) when the part failed: an FFmpeg error or
    // kErrorNoAudioInRange, whether the output was to blame, during which step.
    std::int32_t failureCode = 0;
    bool failureOnOutput = false;
    JobStep failureStep = JobStep::None;
    // Set when no path could be found for the part's name (then failureCode is 0).
    std::string namingProblem;
};

enum class SplitOutcome { Done, Cancelled, Failed };

struct SplitRequest {
    std::string source;
    std::string folder;
    std::vector<SplitPart> parts;  // named (see PartNaming.h), in time order
    // Copy the source's own tags into every part; a part's cue sheet tags win over them.
    bool keepSourceTags = false;
};

class SplitJob {
  public:
    explicit SplitJob(SplitRequest request);
    SplitJob(const SplitJob&) = delete;
    SplitJob& operator=(const SplitJob&) = delete;

    // Writes the parts on the calling thread; returns when done, failed or cancelled.
    // Once per job: the results describe one run.
    void Run();

    const SplitRequest& request() const { return request_; }
    // Valid once Run() has returned.
    SplitOutcome outcome() const { return outcome_; }
    const std::vector<PartResult>& results() const { return results_; }
    // Set when the source could not be opened (no part was started then).
    std::int32_t sourceFailureCode() const { return sourceFailure_; }

    // Written by the user interface: no part is started after it is set.
    std::atomic<bool> cancelRequested{false};
    // Read by the user interface while Run() runs: the part being written (-1 before
    // the first, the part count once all are done), its progress and the whole's, 0..100.
    std::atomic<int> currentPart{-1};
    std::atomic<int> partPercent{0};
    std::atomic<int> totalPercent{0};
    // When set, called on the split's thread after each progress update: lets a test
    // act at a known point of a split. Set before the start.
    std::function<void(SplitJob&)> progressUpdated;

  private:
    bool WritePart(std::size_t index, AVFormatContext& input);
    void ShowProgress(std::size_t index, int percent);

    SplitRequest request_;
    std::vector<PartResult> results_;
    SplitOutcome outcome_ = SplitOutcome::Failed;
    std::int32_t sourceFailure_ = 0;
    std::int64_t totalUs_ = 0;
    std::int64_t doneUs_ = 0;  // length of the parts written so far
};

// The tags a part's cue sheet entry gives, as FFmpeg metadata keys.
std::vector<std::pair<std::string, std::string>> MetadataOf(const PartTags& tags);

// Runs one split at a time on a worker thread, joined before the next start and at the
// end of the runner's life.
class SplitJobRunner {
  public:
    SplitJobRunner() = default;
    ~SplitJobRunner();
    SplitJobRunner(const SplitJobRunner&) = delete;
    SplitJobRunner& operator=(const SplitJobRunner&) = delete;

    // Waits for the previous split, then starts `job` (which must outlive the run).
    void Start(SplitJob& job);
    void Wait();
    bool IsRunning() const { return running_.load(); }

  private:
    std::thread worker_;
    std::atomic<bool> running_{false};
};

}  // namespace tolvane::split
