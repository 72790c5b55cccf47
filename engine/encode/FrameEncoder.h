#pragma once

#include <cstdint>

#include "engine/encode/FrameQueue.h"
#include "engine/ffmpeg/FfmpegHolders.h"
#include "engine/job/JobFailure.h"
#include "engine/job/JobOutput.h"
#include "engine/job/MediaJob.h"

namespace tolvane {

// The encoding side of a re-encode job. One encoder lives for the whole job, so the
// inputs follow each other sample for sample, without the encoder's start delay and
// end padding between them; its packets go out on one running timeline.
class FrameEncoder final : public FrameSink {
  public:
    FrameEncoder(MediaJob& job, JobOutput& output) : job_(job), output_(output) {}
    FrameEncoder(const FrameEncoder&) = delete;
    FrameEncoder& operator=(const FrameEncoder&) = delete;

    bool IsOpen() const { return open_; }
    // Makes the encoder with the job's parameters, the output stream and the container
    // header; failures are recorded.
    bool Open();
    const AVCodecContext* context() const { return encoder_.get(); }
    int frameSize() const { return frameSize_; }
    // The encoder takes whole frames only: a last, shorter frame is padded with silence.
    bool padLastFrame() const { return padLastFrame_; }
    // Encodes a frame and writes the packets it completes; failures are recorded.
    int Take(AVFrame* frame) override;
    // Drains the encoder into the output.
    bool Drain() { return Take(nullptr) == kTaken; }

  private:
    bool Failure(int code, JobStep step);
    bool ReceivePackets();

    MediaJob& job_;
    JobOutput& output_;
    ff::CodecContextPtr encoder_;
    ff::PacketPtr encoded_{av_packet_alloc()};
    AVStream* outputStream_ = nullptr;
    int frameSize_ = 0;
    bool padLastFrame_ = false;
    bool open_ = false;
    // Output time written so far, in the output stream's time base.
    std::int64_t written_ = 0;
};

}  // namespace tolvane
