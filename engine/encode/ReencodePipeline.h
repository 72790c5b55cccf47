#pragma once
// Re-encode mode: each input's first audio stream is decoded, resampled and encoded
// into the job's one output with the job's parameters, the inputs following each other
// sample for sample. The decoding runs on a second thread beside the encoding.

#include "engine/encode/FrameEncoder.h"
#include "engine/encode/InputDecoder.h"
#include "engine/job/JobOutput.h"
#include "engine/job/JobSteps.h"
#include "engine/job/MediaJob.h"

namespace tolvane {

class ReencodePipeline {
  public:
    ReencodePipeline(MediaJob& job, JobOutput& output)
        : job_(job), output_(output), encoder_(job, output) {}
    ReencodePipeline(const ReencodePipeline&) = delete;
    ReencodePipeline& operator=(const ReencodePipeline&) = delete;

    // Decodes input k into the encoder (the output is created with input 0), reading
    // into `packet`.
    InputOutcome Run(int k, AVFormatContext* input, AVPacket* packet);
    // At the job's end: the last, shorter frame and the encoder's rest go out. False on
    // a failure (recorded).
    bool Finish();

  private:
    // Reads input k's packets of stream `audio` until its end or a cancel and decodes
    // them into `sink`.
    InputOutcome DecodeInput(int k, AVFormatContext* input, int audio, FrameSink& sink);
    // Decodes input k on a second thread while this one encodes and writes.
    InputOutcome DecodeBesideEncoder(int k, AVFormatContext* input, int audio);
    // Tells the job of the decoding side's failure, once all before it is written.
    void HandOverDecodeFailure();

    MediaJob& job_;
    JobOutput& output_;
    AVPacket* packet_ = nullptr;
    // Both sides live for the whole job.
    FrameEncoder encoder_;
    InputDecoder decoder_;
};

}  // namespace tolvane
