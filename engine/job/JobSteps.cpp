#include "engine/job/JobSteps.h"

#include <sys/stat.h>

#include "engine/ffmpeg/FfmpegSetup.h"
#include "engine/ffmpeg/TimeUnits.h"

namespace tolvane {

static_assert(AVFMT_TS_DISCONT == 512);
static_assert(AVSEEK_FLAG_BYTE == 2);
static_assert(AVSEEK_FLAG_BACKWARD == 1);

bool RecordFailure(MediaJob& job, int code, bool onOutput, JobStep step) {
    if (job.failureCode.load() == 0) {
        job.failureOnOutput = onOutput;
        job.failureStep = step;
        job.failureCode = code < 0 ? code : AVERROR_UNKNOWN;
        av_log(nullptr, AV_LOG_ERROR, "The job failed while %s (%s side): %s\n",
               DescribeJobStep(step), onOutput ? "output" : "input",
               FailureCodeText(job.failureCode).c_str());
    }
    return false;
}

std::optional<FileStamp> StampOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileStamp{static_cast<std::uint64_t>(info.st_dev),
                     static_cast<std::uint64_t>(info.st_ino),
                     static_cast<std::uint64_t>(info.st_size),
                     std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec};
}

int OpenJobInput(const std::string& path, ff::InputFormatPtr& input) {
    if (path.empty())
        return AVERROR(ENOENT);
    int ret = ff::OpenInput(path.c_str(), input);
    if (ret < 0)
        return ret;
    ret = avformat_find_stream_info(input.get(), nullptr);
    return ret < 0 ? ret : 0;
}

bool OpenJobOutput(MediaJob& job, JobOutput& output) {
    if (job.outputNames.empty() || job.outputNames[0].empty())
        return RecordFailure(job, AVERROR(EINVAL), true, JobStep::CreatingOutput);
    const int ret = output.Open(job.outputNames[0]);
    // A join of whole files is a copy at the speed of the disk: its FLAC header leaves the
    // MD5 unset (all zero, as the format allows) rather than decode every frame for it.
    output.SumFlacSamples(!job.joinMode);
    return ret >= 0 || RecordFailure(job, ret, true, JobStep::CreatingOutput);
}

void PositionAtRangeStart(MediaJob& job, int k, AVFormatContext* input) {
    const double start = job.startSec[k];
    if (job.joinMode || !(start > 0))
        return;
    job.seekByBytes = (input->iformat->flags & AVFMT_TS_DISCONT) ? 1 : 0;
    if (job.seekByBytes) {
        const std::int64_t size = input->pb != nullptr ? avio_size(input->pb) : -1;
        if (input->duration > 0 && size > 0) {
            const double target =
                start * 1e6 / static_cast<double>(input->duration) * static_cast<double>(size);
            av_seek_frame(input, -1, SecondsToMicros(target / 1e6), AVSEEK_FLAG_BYTE);
            return;
        }
        // Without a duration a byte position cannot be worked out: seek by time.
        job.seekByBytes = 0;
    }
    // Reading starts at the last seek point at or before the start; nothing is trimmed.
    av_seek_frame(input, -1, SecondsToMicros(start + job.inputStartTime), AVSEEK_FLAG_BACKWARD);
}

void UpdateProgress(MediaJob& job, int k) {
    const double length = job.lengthSec[k];
    // A range without length has no measure of progress: it stays at 0 until done.
    if (!(length > 0)) {
        job.progressPercent = 0;
    } else {
        const double percent = job.audioTime.load() * 100.0 / length;
        job.progressPercent =
            percent >= 100.0 ? 100 : (percent > 0 ? static_cast<int>(percent) : 0);
    }
    if (job.progressUpdated)
        job.progressUpdated(job);
}

}  // namespace tolvane
