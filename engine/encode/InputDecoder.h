#pragma once

#include <cstdint>

#include "engine/encode/FrameEncoder.h"
#include "engine/encode/FrameQueue.h"
#include "engine/ffmpeg/FfmpegHolders.h"
#include "engine/job/JobFailure.h"

namespace tolvane {

// A failure met on the decoding side. The job is told of it only once everything
// decoded before it has been written, so a job records the same first failure
// whichever thread decoded.
struct DecodeFailure {
    int code = 0;
    bool onOutput = false;
    JobStep step = JobStep::None;

    // Keeps the first failure; returns false, so a failing step can end with it.
    bool Record(int failure, bool output, JobStep during) {
        if (code == 0) {
            code = failure < 0 ? failure : AVERROR_UNKNOWN;
            onOutput = output;
            step = during;
        }
        return false;
    }
};

// The decoding side of a re-encode job: a decoder and a resampler for each input, and
// a FIFO for the whole job that cuts the converted samples into the encoder's frames,
// numbered from the job's start. Every sample decoded reaches the sink: the decoder and
// the resampler are drained at the end of each input, and at the end of the job the
// FIFO's rest goes out as a last, shorter frame.
class InputDecoder {
  public:
    InputDecoder() = default;
    InputDecoder(const InputDecoder&) = delete;
    InputDecoder& operator=(const InputDecoder&) = delete;

    // Sets up the decoder of an input's `stream`.
    bool Open(AVStream* stream);
    // Takes the encoder's sample format and frame size, once per job.
    bool SetTarget(const FrameEncoder& encoder);
    // Decodes one packet and hands every full encoder frame it completes to `sink`.
    bool Feed(AVPacket* packet, FrameSink& sink);
    // Drains the input's decoder and resampler and releases them.
    bool EndInput(FrameSink& sink);
    // Hands the FIFO's rest to `sink`, the job's last frame.
    bool EndJob(FrameSink& sink);
    // The first failure met here; none when a sink stopped the decoding.
    const DecodeFailure& failure() const { return failure_; }

  private:
    bool InputFailure(int code, JobStep step) { return failure_.Record(code, false, step); }
    bool OutputFailure(int code, JobStep step) { return failure_.Record(code, true, step); }

    bool ReceiveFrames();
    bool TakeFrame(AVFrame* frame);
    bool PrepareResampler(const AVFrame* frame);
    bool Convert(const std::uint8_t** data, int samples);
    bool SendFullFrames();
    bool SendFromFifo(int samples);
    bool Send(AVFrame* frame);
    // Gives `frame` the target's format and room for `samples`.
    int AllocateTargetFrame(AVFrame* frame, int samples) const;

    DecodeFailure failure_;
    FrameSink* sink_ = nullptr;  // of the running call
    ff::CodecContextPtr decoder_;
    ff::ResamplerPtr resampler_;
    ff::FifoPtr fifo_;
    ff::FramePtr decoded_{av_frame_alloc()};
    ff::FramePtr converted_{av_frame_alloc()};
    ff::FramePtr encoderFrame_{av_frame_alloc()};
    // What the encoder takes.
    AVSampleFormat targetFormat_ = AV_SAMPLE_FMT_NONE;
    int targetRate_ = 0;
    ff::ChannelLayout targetLayout_;
    int frameSize_ = 0;
    bool padLastFrame_ = false;
    std::int64_t sampleCounter_ = 0;
    // Parameters the current resampler was made for.
    int resamplerRate_ = 0;
    int resamplerFormat_ = -1;
    ff::ChannelLayout resamplerLayout_;
    bool resamplerChosen_ = false;
};

}  // namespace tolvane
