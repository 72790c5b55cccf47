#include "JobFailure.h"

#include "MediaJob.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

namespace tolvane {

JobFailureKind ClassifyJobFailure(std::int32_t failureCode) {
    switch (failureCode) {
        case 0:
            return JobFailureKind::None;
        case AVERROR(ENOENT):
        case AVERROR(ENOTDIR):
            return JobFailureKind::Missing;
        case AVERROR(EACCES):
        case AVERROR(EPERM):
        case AVERROR(EROFS):
            return JobFailureKind::Access;
        case AVERROR(ENOSPC):
        case AVERROR(EDQUOT):
            return JobFailureKind::DiskFull;
        case AVERROR(EFBIG):
            return JobFailureKind::TooLarge;
        case AVERROR_INVALIDDATA:
        case AVERROR_DECODER_NOT_FOUND:
        case AVERROR_DEMUXER_NOT_FOUND:
        case AVERROR_STREAM_NOT_FOUND:
        case AVERROR_EOF:
            return JobFailureKind::Damaged;
        case kErrorNoAudioInRange:
            return JobFailureKind::NoAudio;
        default:
            return JobFailureKind::Other;
    }
}

std::string FailureCodeText(std::int32_t failureCode) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(failureCode, text, sizeof text) < 0)
        return "error " + std::to_string(failureCode);
    return text;
}

}  // namespace tolvane
