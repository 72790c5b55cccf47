#pragma once
// The steps a job's run and its copy and re-encode pipelines share: failure records,
// opening inputs and the output, positioning, progress.

#include <cstdint>
#include <optional>
#include <string>

#include "engine/ffmpeg/FfmpegHolders.h"
#include "engine/job/JobFailure.h"
#include "engine/job/JobOutput.h"
#include "engine/job/MediaJob.h"

namespace tolvane {

// How one input of a job ended.
enum class InputOutcome { Done, Cancelled, Failed };

// Records the job's first failure: `code` is the FFmpeg error (anything not negative
// counts as unknown), and tells FFmpeg's log during what it happened. Returns false,
// so a failing step can end with it.
bool RecordFailure(MediaJob& job, int code, bool onOutput, JobStep step);

// Opens an input and reads its stream information; returns 0 or the FFmpeg error.
int OpenJobInput(const std::string& path, ff::InputFormatPtr& input);

// What tells whether an input file changed while a job read it (truncated, appended
// to, rewritten): which file the name leads to, its size and its modification time.
struct FileStamp {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
// Nothing when `path` is no file that can be looked at.
std::optional<FileStamp> StampOf(const std::string& path);

// Creates the job's output file (outputNames[0]); failures are recorded.
bool OpenJobOutput(MediaJob& job, JobOutput& output);

// Positions input k at its range's start the plain way: by time, or by a byte estimate
// for formats without timestamps to seek by. Nothing is trimmed.
void PositionAtRangeStart(MediaJob& job, int k, AVFormatContext* input);

// Sets the job's progress from the time written against input k's length.
void UpdateProgress(MediaJob& job, int k);

inline bool CancelRequested(const MediaJob& job) {
    return job.cancelRequested.load();
}

}  // namespace tolvane
