#include "engine/job/JobFailureReading.h"

namespace tolvane {

JobFailureReading ReadJobFailure(std::int32_t failureCode, bool onOutput, JobStep step) {
    JobFailureReading reading;
    reading.kind = ClassifyJobFailure(failureCode);
    reading.onOutput = onOutput;
    switch (reading.kind) {
        case JobFailureKind::None:
            break;
        case JobFailureKind::NoAudio:
            reading.detail = "the range holds no audio that can be played";
            break;
        case JobFailureKind::SourceChanged:
            reading.detail = "the file was changed while it was being read";
            break;
        case JobFailureKind::Other:
            reading.detail = FailureCodeText(failureCode) + ", while " + DescribeJobStep(step);
            break;
        default:
            reading.detail = FailureCodeText(failureCode);
            break;
    }
    return reading;
}

}  // namespace tolvane
