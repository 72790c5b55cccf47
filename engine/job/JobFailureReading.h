#pragma once
// A job's recorded failure as the window and the tool tell it, read in one place from
// the record's code, side and step.

#include <cstdint>
#include <string>

#include "engine/job/JobFailure.h"

namespace tolvane {

struct JobFailureReading {
    JobFailureKind kind = JobFailureKind::None;
    bool onOutput = false;  // the output is to blame, not the input that failed
    // The reason in English: FFmpeg's description of the code, and for kind Other the
    // step it failed in as well ("Invalid argument, while writing the header"); for
    // NoAudio a sentence of its own; empty for None.
    std::string detail;
};

JobFailureReading ReadJobFailure(std::int32_t failureCode, bool onOutput, JobStep step);

}  // namespace tolvane
