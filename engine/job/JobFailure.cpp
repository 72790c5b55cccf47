#include "engine/job/JobFailure.h"

#include "engine/job/MediaJob.h"

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
        case kErrorSourceChanged:
            return JobFailureKind::SourceChanged;
        case kErrorNoAudioInRange:
            return JobFailureKind::NoAudio;
        default:
            return JobFailureKind::Other;
    }
}

const char* DescribeJobStep(JobStep step) {
    switch (step) {
        case JobStep::None:
            return "doing nothing";
        case JobStep::Starting:
            return "starting the job";
        case JobStep::OpeningInput:
            return "opening the input";
        case JobStep::FindingAudio:
            return "looking for the audio streams";
        case JobStep::CreatingOutput:
            return "creating the output";
        case JobStep::AddingStream:
            return "adding an output stream";
        case JobStep::OpeningDecoder:
            return "opening the decoder";
        case JobStep::Decoding:
            return "decoding";
        case JobStep::Converting:
            return "converting the samples";
        case JobStep::OpeningEncoder:
            return "opening the encoder";
        case JobStep::WritingHeader:
            return "writing the header";
        case JobStep::Encoding:
            return "encoding";
        case JobStep::WritingPacket:
            return "writing a packet";
        case JobStep::CuttingEdges:
            return "cutting the edges";
        case JobStep::ReadingRange:
            return "reading the range";
        case JobStep::FinishingOutput:
            return "finishing the output";
        case JobStep::CheckingOutput:
            return "checking the output";
        case JobStep::Running:
            return "running the job";
    }
    return "an unknown step";
}

std::string FailureCodeText(std::int32_t failureCode) {
    if (failureCode == kErrorChainedInput)
        return "a chained Ogg file (several streams one after another, as a join writes "
               "them): without re-encoding its streams can only go into an Ogg file";
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(failureCode, text, sizeof text) < 0)
        return "error " + std::to_string(failureCode);
    return text;
}

}  // namespace tolvane
