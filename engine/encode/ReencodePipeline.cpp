#include "engine/encode/ReencodePipeline.h"

#include <system_error>
#include <thread>

#include "engine/encode/FrameQueue.h"
#include "engine/ffmpeg/FfmpegSetup.h"

namespace tolvane {

namespace {

// Encoder frames decoded ahead of the encoder (MP3: 0.4 s at 44.1 kHz): enough to keep
// both threads busy, little enough to keep the memory flat.
constexpr std::size_t kQueuedFrames = 16;

}  // namespace

InputOutcome ReencodePipeline::Run(int k, AVFormatContext* input, AVPacket* packet) {
    packet_ = packet;
    // Only the first audio stream of an input is used.
    AVStream* audio = nullptr;
    for (unsigned i = 0; i < input->nb_streams && audio == nullptr; ++i) {
        AVStream* stream = input->streams[i];
        if (!ff::IsSkippedCodec(stream->codecpar) && ff::HasAudioParameters(stream->codecpar))
            audio = stream;
    }
    if (audio == nullptr) {
        RecordFailure(job_, AVERROR_STREAM_NOT_FOUND, false, JobStep::FindingAudio);
        return InputOutcome::Failed;
    }
    if (k == 0 && !OpenJobOutput(job_, output_))
        return InputOutcome::Failed;

    if (!decoder_.Open(audio) ||
        (!encoder_.IsOpen() && (!encoder_.Open() || !decoder_.SetTarget(encoder_)))) {
        HandOverDecodeFailure();
        return InputOutcome::Failed;
    }
    PositionAtRangeStart(job_, k, input);
    const InputOutcome outcome = job_.reencodeOnOneThread
                                     ? DecodeInput(k, input, audio->index, encoder_)
                                     : DecodeBesideEncoder(k, input, audio->index);
    if (outcome == InputOutcome::Failed)
        HandOverDecodeFailure();
    return outcome;
}

InputOutcome ReencodePipeline::DecodeInput(int k, AVFormatContext* input, int audio,
                                           FrameSink& sink) {
    AVPacket* packet = packet_;
    bool cancelled = false;
    for (;;) {
        if (CancelRequested(job_)) {
            cancelled = true;  // still drained below, so the output ends cleanly
            break;
        }
        if (av_read_frame(input, packet) < 0)
            break;
        if (packet->stream_index != audio) {
            av_packet_unref(packet);
            continue;
        }
        UpdateProgress(job_, k);
        const bool ok = decoder_.Feed(packet, sink);
        av_packet_unref(packet);
        if (!ok)
            return InputOutcome::Failed;
    }
    if (!decoder_.EndInput(sink))
        return InputOutcome::Failed;
    return cancelled ? InputOutcome::Cancelled : InputOutcome::Done;
}

InputOutcome ReencodePipeline::DecodeBesideEncoder(int k, AVFormatContext* input, int audio) {
    FrameQueue queue(kQueuedFrames);
    InputOutcome decoded = InputOutcome::Failed;
    std::thread decoding;
    try {
        decoding = std::thread([&] {
            decoded = DecodeInput(k, input, audio, queue);
            queue.Close();
        });
    } catch (const std::system_error&) {
        // No second thread to be had: decode on this one.
        return DecodeInput(k, input, audio, encoder_);
    }
    bool written = true;
    while (ff::FramePtr frame = queue.Pop()) {
        if (encoder_.Take(frame.get()) != FrameSink::kTaken) {
            written = false;
            queue.Stop();  // wakes the decoding thread when it waits for room
            break;
        }
        queue.Recycle(std::move(frame));
    }
    decoding.join();
    return written ? decoded : InputOutcome::Failed;
}

void ReencodePipeline::HandOverDecodeFailure() {
    const DecodeFailure& failure = decoder_.failure();
    if (failure.code != 0)
        RecordFailure(job_, failure.code, failure.onOutput, failure.step);
}

bool ReencodePipeline::Finish() {
    if (!encoder_.IsOpen() || (decoder_.EndJob(encoder_) && encoder_.Drain()))
        return true;
    HandOverDecodeFailure();
    return false;
}

}  // namespace tolvane
