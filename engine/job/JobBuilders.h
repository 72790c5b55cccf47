#pragma once
// Filling the job record for a cut or a join: the window, the command-line tool, the
// tests and the fuzz target all prepare their jobs here, so each runs the path the
// program uses. Call before MediaJobRunner::StartMediaJob.

#include <cstdint>
#include <span>
#include <string>

#include "engine/job/MediaJob.h"

namespace tolvane {

// One input of a join and the stretch of it that is used, in seconds.
struct JoinRange {
    std::string input;  // UTF-8 path
    double startSec = 0.0;
    double endSec = 0.0;
};

// The MP3 encoder settings of a join.
struct JoinEncoding {
    std::int32_t bitRate = 0;     // bits per second
    std::int32_t sampleRate = 0;  // Hz
    std::int32_t channels = 0;
};

// A cut of [startSec, endSec] of `input` into `output`, copy mode.
void PrepareCutJob(MediaJob& job, const std::string& input, const std::string& output,
                   double startSec, double endSec);

// A join of `ranges`, in order, into the MP3 file `output`, re-encode mode. More than
// kMaxJobInputs ranges fill only the record's slots; the runner then refuses the job.
void PrepareJoinJob(MediaJob& job, std::span<const JoinRange> ranges, const std::string& output,
                    const JoinEncoding& encoding);

// A join of `ranges`, in order, into `output` without re-encoding: the packets are
// copied (the inputs must be alike, see CheckCopyJoin in engine/copy/CopyJoinCheck.h),
// into the container `output`'s extension names.
void PrepareCopyJoinJob(MediaJob& job, std::span<const JoinRange> ranges,
                        const std::string& output);

// An end this close to an input's length is its end (the window shows lengths to the
// millisecond; the copy's range takes such an end as the file's).
inline constexpr double kRemoveEndSlackSec = 0.0015;

// `input` (`lengthSec` long) without the stretch [startSec, endSec) into `output`, a
// cut job: the part before the stretch and the part after it joined without
// re-encoding (removeStretch). A stretch at the file's start or end leaves a plain cut
// of the rest; one over the whole file an empty range, which the runner refuses.
void PrepareRemoveJob(MediaJob& job, const std::string& input, const std::string& output,
                      double startSec, double endSec, double lengthSec);

}  // namespace tolvane
