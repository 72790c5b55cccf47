// The run of a job: its inputs in order, their status, the end of the output, and the
// job's first failure. The packets themselves go through the copy pipeline or the
// re-encode pipeline.

#include <algorithm>
#include <memory>
#include <string>

#include "engine/copy/CopyPipeline.h"
#include "engine/encode/ReencodePipeline.h"
#include "engine/ffmpeg/FfmpegHolders.h"
#include "engine/job/JobOutput.h"
#include "engine/job/JobSteps.h"
#include "engine/job/MediaEngine.h"
#include "engine/probe/DecodableAudio.h"

namespace tolvane {

namespace {

std::string InputName(const MediaJob& job, int k) {
    return static_cast<size_t>(k) < job.inputNames.size() ? job.inputNames[k] : std::string();
}

// Runs one job on the calling thread.
class JobRun {
  public:
    // `openInput`: input 0, already opened by the caller (who keeps it); null opens
    // the job's inputs by name.
    explicit JobRun(MediaJob& job, AVFormatContext* openInput = nullptr)
        : job_(job), openInput_(openInput) {}
    void Execute();

  private:
    InputOutcome RunInput(int k);
    // Opens input k (unless the caller did) and runs it through the job's pipeline.
    InputOutcome ReadInput(int k, const std::string& name);
    // Completes what the job wrote: encoder drained, trailer, file closed.
    bool FinishOutput();
    // FinishOutput, and then a job whose output no decoder can play has failed.
    bool FinishPlayableOutput();
    // A cancelled job keeps what it wrote as a finished file. An output without a single
    // packet, or one too short to be read back (an MP3 of one frame), is removed instead.
    bool EndCancelledOutput();
    bool Cancelled() const { return CancelRequested(job_); }

    MediaJob& job_;
    AVFormatContext* openInput_;
    JobOutput output_;
    ff::PacketPtr packet_{av_packet_alloc()};
    // The job's pipeline, made with its first input.
    std::unique_ptr<CopyPipeline> copy_;
    std::unique_ptr<ReencodePipeline> reencode_;
};

void JobRun::Execute() {
    const int count = job_.fileCount;
    for (int k = 0; k < count; ++k) {
        job_.currentIndex = k;
        if (Cancelled()) {
            // Cancelled between inputs: what was written stays a valid, finished file.
            if (!EndCancelledOutput() && k > 0)
                job_.fileStatus[k - 1] = kInputFailed;
            return;
        }
        const InputOutcome outcome = RunInput(k);
        if (outcome == InputOutcome::Failed) {
            RecordFailure(job_, AVERROR_UNKNOWN, false,
                          JobStep::Running);  // kept if a step recorded its own
            output_.Discard();
            job_.fileStatus[k] = kInputFailed;
            return;
        }
        const bool last = k == count - 1;
        if (outcome == InputOutcome::Cancelled || last) {
            // The status of the last input and the final currentIndex are only shown
            // once the file is complete, so the poller never reports success too early.
            const bool ended =
                outcome == InputOutcome::Cancelled ? EndCancelledOutput() : FinishPlayableOutput();
            if (!ended) {
                job_.fileStatus[k] = kInputFailed;
                return;
            }
            if (outcome == InputOutcome::Done)
                job_.fileStatus[k] = kInputDone;
            job_.currentIndex = k + 1;
            return;
        }
        job_.fileStatus[k] = kInputDone;
    }
    job_.currentIndex = count;
}

bool JobRun::FinishOutput() {
    if (reencode_ && !reencode_->Finish()) {
        output_.Discard();
        return false;
    }
    reencode_.reset();
    if (!job_.outputNames.empty() && !output_.path().empty())
        job_.outputNames[0] = output_.path();  // when another job took the name first
    const int ret = output_.Finish();
    return ret >= 0 || RecordFailure(job_, ret, true, JobStep::FinishingOutput);
}

bool JobRun::FinishPlayableOutput() {
    const std::string path = output_.path();
    const std::string format = output_.context()->oformat->name;
    if (!FinishOutput())
        return false;
    if (HoldsDecodableAudio(path, format.c_str()))
        return true;
    output_.Discard();  // removes the file this job created
    return RecordFailure(job_, kErrorNoAudioInRange, false, JobStep::CheckingOutput);
}

bool JobRun::EndCancelledOutput() {
    if (copy_ && !copy_->Flush()) {
        output_.Discard();
        return false;
    }
    if (!output_.HasPackets()) {
        reencode_.reset();
        output_.Discard();
        job_.cancelledOutput = kCancelledOutputEmpty;
        return true;
    }
    const std::string path = output_.path();
    if (!FinishOutput())
        return false;
    ff::InputFormatPtr check;
    if (OpenJobInput(path, check) < 0) {
        output_.Discard();  // removes the file this job created
        job_.cancelledOutput = kCancelledOutputUnreadable;
    }
    return true;
}

InputOutcome JobRun::RunInput(int k) {
    if (!packet_) {
        RecordFailure(job_, AVERROR(ENOMEM), false, JobStep::OpeningInput);
        return InputOutcome::Failed;
    }
    const std::string name = InputName(job_, k);
    const std::optional<FileStamp> stamp = StampOf(name);
    const InputOutcome outcome = ReadInput(k, name);
    // A file cut short or grown meanwhile gave the demuxer an end (or a middle) that is
    // not the file's: the output is no stretch of it.
    if (outcome == InputOutcome::Done && stamp && StampOf(name) != stamp) {
        RecordFailure(job_, kErrorSourceChanged, false, JobStep::Running);
        return InputOutcome::Failed;
    }
    return outcome;
}

InputOutcome JobRun::ReadInput(int k, const std::string& name) {
    ff::InputFormatPtr opened;
    AVFormatContext* input = openInput_;
    if (input == nullptr) {
        if (const int ret = OpenJobInput(name, opened); ret < 0) {
            RecordFailure(job_, ret, false, JobStep::OpeningInput);
            return InputOutcome::Failed;
        }
        input = opened.get();
        av_dump_format(input, k, name.c_str(), 0);
    }
    job_.inputStartTime =
        input->start_time != AV_NOPTS_VALUE ? static_cast<double>(input->start_time) / 1e6 : 0.0;
    if (job_.joinMode)
        job_.lengthSec[k] = static_cast<double>(job_.totalLengthSec);
    if (job_.reencode) {
        if (!reencode_)
            reencode_ = std::make_unique<ReencodePipeline>(job_, output_);
        return reencode_->Run(k, input, packet_.get());
    }
    if (!copy_)
        copy_ = std::make_unique<CopyPipeline>(job_, output_);
    return copy_->Run(k, input, packet_.get());
}

// Sets the job's run-time fields to their start values; false when there is nothing
// to run.
bool ResetJobForRun(MediaJob& job) {
    const int count = job.fileCount;
    for (int i = 0; i < std::min(std::max(count, 0), kJobStatusSlots); ++i)
        job.fileStatus[i] = kInputPending;
    job.audioTime = 0.0;
    job.progressPercent = 0;
    job.currentIndex = 0;
    job.failureCode = 0;
    job.failureOnOutput = false;
    job.failureStep = JobStep::None;
    job.cancelledOutput = kCancelledOutputKept;
    if (count < 1)
        return false;
    if (count > kMaxJobInputs) {
        // The record cannot describe more inputs; MediaJobRunner refuses such jobs.
        RecordFailure(job, AVERROR(E2BIG), false, JobStep::Starting);
        job.fileStatus[0] = kInputFailed;
        return false;
    }
    return true;
}

}  // namespace

void MediaJobWorker(MediaJob& job) {
    if (ResetJobForRun(job))
        JobRun(job).Execute();
}

void RunCopyCutOnInput(MediaJob& job, AVFormatContext& input) {
    job.fileCount = 1;
    job.joinMode = false;
    job.reencode = false;
    if (ResetJobForRun(job))
        JobRun(job, &input).Execute();
}

}  // namespace tolvane
