#include <algorithm>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#include "engine/cut/CutRange.h"
#include "engine/probe/DecodableAudio.h"
#include "engine/ffmpeg/FfmpegHolders.h"
#include "engine/ffmpeg/FfmpegSetup.h"
#include "engine/cut/FlacCutEdges.h"
#include "engine/encode/FrameQueue.h"
#include "engine/job/JobFailure.h"
#include "engine/job/JobOutput.h"
#include "engine/job/MediaEngine.h"
#include "engine/ffmpeg/TimeUnits.h"

namespace tolvane {

static_assert(AVFMT_TS_DISCONT == 512);
static_assert(AVSEEK_FLAG_BYTE == 2);
static_assert(AVSEEK_FLAG_BACKWARD == 1);
static_assert((AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX) == 8197);

namespace {

enum class InputOutcome { Done, Cancelled, Failed };

// Frame size for encoders that take any size (PCM and the like).
constexpr int kVariableFrameSize = 4096;
// Encoder frames decoded ahead of the encoder (MP3: 0.4 s at 44.1 kHz): enough to keep
// both threads busy, little enough to keep the memory flat.
constexpr std::size_t kQueuedFrames = 16;

std::string InputName(const MediaJob& job, int k) {
    return static_cast<size_t>(k) < job.inputNames.size() ? job.inputNames[k] : std::string();
}

// Records the job's first failure: `code` is the FFmpeg error (anything not negative
// counts as unknown), and tells FFmpeg's log during what it happened. Returns false,
// so a failing step can end with it.
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

// Opens input k and reads its stream information; returns 0 or the FFmpeg error.
int OpenJobInput(const std::string& path, ff::InputFormatPtr& input) {
    if (path.empty())
        return AVERROR(ENOENT);
    int ret = ff::OpenInput(path.c_str(), input);
    if (ret < 0)
        return ret;
    ret = avformat_find_stream_info(input.get(), nullptr);
    return ret < 0 ? ret : 0;
}

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
    bool Failure(int code, JobStep step) { return RecordFailure(job_, code, true, step); }
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

bool FrameEncoder::Open() {
    if (!encoded_)
        return Failure(AVERROR(ENOMEM), JobStep::OpeningEncoder);
    const AVCodec* codec = avcodec_find_encoder(static_cast<AVCodecID>(job_.audioCodecId));
    if (codec == nullptr)
        return Failure(AVERROR_ENCODER_NOT_FOUND, JobStep::OpeningEncoder);
    if (job_.audioSampleRate <= 0 || job_.audioChannels <= 0)
        return Failure(AVERROR(EINVAL), JobStep::OpeningEncoder);
    encoder_.reset(avcodec_alloc_context3(codec));
    if (!encoder_)
        return Failure(AVERROR(ENOMEM), JobStep::OpeningEncoder);
    AVCodecContext* enc = encoder_.get();
    enc->codec_type = AVMEDIA_TYPE_AUDIO;
    enc->sample_rate = job_.audioSampleRate;
    enc->time_base = AVRational{1, job_.audioSampleRate};
    enc->bit_rate = job_.audioBitRate;
    av_channel_layout_default(&enc->ch_layout, job_.audioChannels);
    if (codec->id == AV_CODEC_ID_MP3 || codec->id == AV_CODEC_ID_AAC)
        enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
    else
        enc->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    if (output_.context()->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    enc->thread_count = 4;
    ff::Dictionary options;
    options.Set("preset", "veryfast");
    int ret = avcodec_open2(enc, codec, options.address());
    if (ret < 0)
        return Failure(ret, JobStep::OpeningEncoder);

    AVStream* stream = output_.AddStream();
    if (stream == nullptr)
        return Failure(AVERROR(ENOMEM), JobStep::AddingStream);
    ret = avcodec_parameters_from_context(stream->codecpar, enc);
    if (ret < 0)
        return Failure(ret, JobStep::AddingStream);
    stream->time_base = enc->time_base;
    ret = output_.WriteHeader();
    if (ret < 0)
        return Failure(ret, JobStep::WritingHeader);
    // The muxer may pick its own time base while writing the header.
    job_.outputTimeBaseNum = stream->time_base.num;
    job_.outputTimeBaseDen = stream->time_base.den;
    outputStream_ = output_.context()->streams[0];

    const bool anySize = (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    frameSize_ = enc->frame_size > 0 && !anySize ? enc->frame_size : kVariableFrameSize;
    padLastFrame_ = !anySize && !(codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
    open_ = true;
    return true;
}

int FrameEncoder::Take(AVFrame* frame) {
    const int ret = avcodec_send_frame(encoder_.get(), frame);
    if (ret < 0) {
        Failure(ret, JobStep::Encoding);
        return kTakerStopped;
    }
    return ReceivePackets() ? kTaken : kTakerStopped;
}

bool FrameEncoder::ReceivePackets() {
    AVPacket* packet = encoded_.get();
    const AVRational outBase = outputStream_->time_base;
    for (;;) {
        int ret = avcodec_receive_packet(encoder_.get(), packet);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return true;
        if (ret < 0)
            return Failure(ret, JobStep::Encoding);
        av_packet_rescale_ts(packet, encoder_->time_base, outBase);
        if (packet->duration <= 0)
            packet->duration = av_rescale_q(frameSize_, encoder_->time_base, outBase);
        packet->stream_index = outputStream_->index;
        // The encoder's own times are replaced by the running total of the whole job,
        // so the inputs follow each other without gaps or overlaps.
        packet->pts = packet->dts = written_;
        written_ += packet->duration;
        job_.audioTime = static_cast<double>(packet->pts) * av_q2d(outBase);
        ret = output_.Write(packet);
        if (ret < 0)
            return Failure(ret, JobStep::WritingPacket);
    }
}

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

bool InputDecoder::Open(AVStream* stream) {
    if (!decoded_ || !converted_ || !encoderFrame_)
        return InputFailure(AVERROR(ENOMEM), JobStep::OpeningDecoder);
    int ret = 0;
    decoder_ = ff::OpenDecoder(*stream, &ret);
    return decoder_ || InputFailure(ret, JobStep::OpeningDecoder);
}

bool InputDecoder::SetTarget(const FrameEncoder& encoder) {
    const AVCodecContext* enc = encoder.context();
    targetFormat_ = enc->sample_fmt;
    targetRate_ = enc->sample_rate;
    const int ret = targetLayout_.CopyFrom(enc->ch_layout);
    if (ret < 0)
        return OutputFailure(ret, JobStep::OpeningEncoder);
    frameSize_ = encoder.frameSize();
    padLastFrame_ = encoder.padLastFrame();
    fifo_.reset(av_audio_fifo_alloc(targetFormat_, targetLayout_->nb_channels, frameSize_ * 2));
    sampleCounter_ = 0;
    return fifo_ != nullptr || OutputFailure(AVERROR(ENOMEM), JobStep::OpeningEncoder);
}

bool InputDecoder::Feed(AVPacket* packet, FrameSink& sink) {
    sink_ = &sink;
    for (;;) {
        int ret = avcodec_send_packet(decoder_.get(), packet);
        if (ret == AVERROR(EAGAIN)) {
            // The decoder holds frames: take them, then offer the packet again.
            if (!ReceiveFrames())
                return false;
            continue;
        }
        // Other send errors are damaged packets: skipped, as players do.
        break;
    }
    return ReceiveFrames();
}

bool InputDecoder::ReceiveFrames() {
    for (;;) {
        int ret = avcodec_receive_frame(decoder_.get(), decoded_.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return true;
        // A damaged frame (FLAC reports it here, not when its packet is sent) is skipped
        // like a damaged packet: the decoder has dropped it and goes on with the next.
        if (ret == AVERROR_INVALIDDATA)
            continue;
        if (ret < 0)
            return InputFailure(ret, JobStep::Decoding);
        bool ok = TakeFrame(decoded_.get());
        av_frame_unref(decoded_.get());
        if (!ok)
            return false;
    }
}

bool InputDecoder::PrepareResampler(const AVFrame* frame) {
    ff::ChannelLayout inLayout;
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels == 0) {
        inLayout = ff::ChannelLayout::Default(frame->ch_layout.nb_channels);
    } else if (const int ret = inLayout.CopyFrom(frame->ch_layout); ret < 0) {
        return InputFailure(ret, JobStep::Converting);
    }
    if (inLayout->nb_channels <= 0 || !ff::IsUsableSampleRate(frame->sample_rate))
        return InputFailure(AVERROR_INVALIDDATA, JobStep::Converting);

    if (resamplerChosen_ && resamplerRate_ == frame->sample_rate &&
        resamplerFormat_ == frame->format &&
        av_channel_layout_compare(resamplerLayout_.get(), inLayout.get()) == 0)
        return true;
    // First frame, or the stream changed its parameters: drain the old resampler first.
    if (resampler_ && !Convert(nullptr, 0))
        return false;
    resampler_.reset();
    const bool same = frame->sample_rate == targetRate_ && frame->format == targetFormat_ &&
                      av_channel_layout_compare(inLayout.get(), targetLayout_.get()) == 0;
    if (!same) {
        int ret = 0;
        resampler_ = ff::MakeResampler(
            {static_cast<AVSampleFormat>(frame->format), frame->sample_rate, inLayout.get()},
            {targetFormat_, targetRate_, targetLayout_.get()}, &ret);
        if (!resampler_)
            return InputFailure(ret, JobStep::Converting);
    }
    resamplerLayout_ = std::move(inLayout);
    resamplerRate_ = frame->sample_rate;
    resamplerFormat_ = frame->format;
    resamplerChosen_ = true;
    return true;
}

bool InputDecoder::TakeFrame(AVFrame* frame) {
    if (frame->nb_samples <= 0)
        return true;
    if (!PrepareResampler(frame))
        return false;
    if (resampler_)
        return Convert(const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(frame->extended_data),
                            frame->nb_samples) < frame->nb_samples)
        return InputFailure(AVERROR(ENOMEM), JobStep::Converting);
    return SendFullFrames();
}

int InputDecoder::AllocateTargetFrame(AVFrame* frame, int samples) const {
    av_frame_unref(frame);
    frame->nb_samples = samples;
    frame->format = targetFormat_;
    frame->sample_rate = targetRate_;
    const int ret = av_channel_layout_copy(&frame->ch_layout, targetLayout_.get());
    return ret < 0 ? ret : av_frame_get_buffer(frame, 0);
}

// Converts `samples` input samples (none: drain the resampler) into the FIFO.
bool InputDecoder::Convert(const std::uint8_t** data, int samples) {
    for (;;) {
        const int capacity = swr_get_out_samples(resampler_.get(), samples);
        if (capacity < 0)
            return InputFailure(capacity, JobStep::Converting);
        if (capacity == 0 && data == nullptr)
            return true;
        if (converted_->nb_samples < capacity || !converted_->buf[0]) {
            const int ret = AllocateTargetFrame(converted_.get(), std::max(capacity, frameSize_));
            if (ret < 0)
                return InputFailure(ret, JobStep::Converting);
        }
        const int produced = swr_convert(resampler_.get(), converted_->extended_data,
                                         converted_->nb_samples, data, samples);
        if (produced < 0)
            return InputFailure(produced, JobStep::Converting);
        if (produced > 0 &&
            av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted_->extended_data),
                                produced) < produced)
            return InputFailure(AVERROR(ENOMEM), JobStep::Converting);
        if (!SendFullFrames())
            return false;
        // Input was consumed in one call; when draining, go on until nothing comes out.
        if (data != nullptr || produced == 0)
            return true;
    }
}

bool InputDecoder::SendFullFrames() {
    while (av_audio_fifo_size(fifo_.get()) >= frameSize_) {
        if (!SendFromFifo(frameSize_))
            return false;
    }
    return true;
}

bool InputDecoder::SendFromFifo(int samples) {
    AVFrame* frame = encoderFrame_.get();
    const int frameSamples = padLastFrame_ ? frameSize_ : samples;
    // A sink may have left the frame without buffers, or with ones still shared.
    if (frame->nb_samples != frameSamples || !frame->buf[0]) {
        if (const int ret = AllocateTargetFrame(frame, frameSamples); ret < 0)
            return OutputFailure(ret, JobStep::Encoding);
    } else if (const int ret = av_frame_make_writable(frame); ret < 0) {
        return OutputFailure(ret, JobStep::Encoding);
    }
    if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->extended_data), samples) <
        samples)
        return OutputFailure(AVERROR_BUG, JobStep::Encoding);
    if (samples < frameSamples)
        av_samples_set_silence(frame->extended_data, samples, frameSamples - samples,
                               targetLayout_->nb_channels, targetFormat_);
    frame->pts = sampleCounter_;
    sampleCounter_ += samples;
    return Send(frame);
}

bool InputDecoder::Send(AVFrame* frame) {
    const int ret = sink_->Take(frame);
    if (ret < 0)
        return OutputFailure(ret, JobStep::Encoding);
    return ret == FrameSink::kTaken;
}

bool InputDecoder::EndInput(FrameSink& sink) {
    sink_ = &sink;
    const int ret = avcodec_send_packet(decoder_.get(), nullptr);
    if (ret < 0)
        return InputFailure(ret, JobStep::Decoding);
    if (!ReceiveFrames())
        return false;
    if (resampler_ && !Convert(nullptr, 0))
        return false;
    decoder_.reset();
    resampler_.reset();
    resamplerChosen_ = false;
    return true;
}

bool InputDecoder::EndJob(FrameSink& sink) {
    sink_ = &sink;
    const int rest = fifo_ ? av_audio_fifo_size(fifo_.get()) : 0;
    return rest <= 0 || SendFromFifo(rest);
}

// Runs one job on the calling thread.
class JobRun {
  public:
    explicit JobRun(MediaJob& job) : job_(job) {}
    void Execute();

  private:
    InputOutcome RunInput(int k);
    InputOutcome RunCopy(int k, AVFormatContext* input);
    InputOutcome RunReencode(int k, AVFormatContext* input);
    // Reads input k's packets of stream `audio` until its end or a cancel and decodes
    // them into `sink`.
    InputOutcome DecodeInput(int k, AVFormatContext* input, int audio, FrameSink& sink);
    // Decodes input k on a second thread while this one encodes and writes.
    InputOutcome DecodeBesideEncoder(int k, AVFormatContext* input, int audio);
    // Tells the job of the decoding side's failure, once all before it is written.
    void HandOverDecodeFailure();
    bool OpenOutput();
    // Completes what the job wrote: encoder drained, trailer, file closed.
    bool FinishOutput();
    // FinishOutput, and then a job whose output no decoder can play has failed.
    bool FinishPlayableOutput();
    // A cancelled job keeps what it wrote as a finished file. An output without a single
    // packet, or one too short to be read back (an MP3 of one frame), is removed instead.
    bool EndCancelledOutput();
    void PositionAtRangeStart(int k, AVFormatContext* input);
    // Writes the header of a copy's output, once a cut's edges have set their streams.
    bool WriteCopyHeader(const AVFormatContext* input, const std::vector<int>& outputIndex,
                         const std::optional<CutRange>& range);
    void UpdateProgress(int k);
    bool Cancelled() const { return job_.cancelRequested.load(); }

    MediaJob& job_;
    JobOutput output_;
    ff::PacketPtr packet_{av_packet_alloc()};
    // Copy mode across inputs: end of the written timeline per output stream.
    std::vector<std::int64_t> copyEnd_;
    // Re-encode mode: both sides live for the whole job.
    std::unique_ptr<FrameEncoder> encoder_;
    std::unique_ptr<InputDecoder> decoder_;
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
    if (encoder_ && encoder_->IsOpen() && !(decoder_->EndJob(*encoder_) && encoder_->Drain())) {
        HandOverDecodeFailure();
        output_.Discard();
        return false;
    }
    encoder_.reset();
    decoder_.reset();
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
    if (!output_.HasPackets()) {
        encoder_.reset();
        decoder_.reset();
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

bool JobRun::OpenOutput() {
    if (job_.outputNames.empty() || job_.outputNames[0].empty())
        return RecordFailure(job_, AVERROR(EINVAL), true, JobStep::CreatingOutput);
    const int ret = output_.Open(job_.outputNames[0]);
    return ret >= 0 || RecordFailure(job_, ret, true, JobStep::CreatingOutput);
}

InputOutcome JobRun::RunInput(int k) {
    if (!packet_) {
        RecordFailure(job_, AVERROR(ENOMEM), false, JobStep::OpeningInput);
        return InputOutcome::Failed;
    }
    const std::string name = InputName(job_, k);
    ff::InputFormatPtr input;
    if (const int ret = OpenJobInput(name, input); ret < 0) {
        RecordFailure(job_, ret, false, JobStep::OpeningInput);
        return InputOutcome::Failed;
    }
    av_dump_format(input.get(), k, name.c_str(), 0);
    job_.inputStartTime =
        input->start_time != AV_NOPTS_VALUE ? static_cast<double>(input->start_time) / 1e6 : 0.0;
    if (job_.joinMode)
        job_.lengthSec[k] = static_cast<double>(job_.totalLengthSec);
    return job_.reencode ? RunReencode(k, input.get()) : RunCopy(k, input.get());
}

void JobRun::PositionAtRangeStart(int k, AVFormatContext* input) {
    const double start = job_.startSec[k];
    if (job_.joinMode || !(start > 0))
        return;
    job_.seekByBytes = (input->iformat->flags & AVFMT_TS_DISCONT) ? 1 : 0;
    if (job_.seekByBytes) {
        const std::int64_t size = input->pb != nullptr ? avio_size(input->pb) : -1;
        if (input->duration > 0 && size > 0) {
            const double target =
                start * 1e6 / static_cast<double>(input->duration) * static_cast<double>(size);
            av_seek_frame(input, -1, SecondsToMicros(target / 1e6), AVSEEK_FLAG_BYTE);
            return;
        }
        // Without a duration a byte position cannot be worked out: seek by time.
        job_.seekByBytes = 0;
    }
    // Reading starts at the last seek point at or before the start; nothing is trimmed.
    av_seek_frame(input, -1, SecondsToMicros(start + job_.inputStartTime), AVSEEK_FLAG_BACKWARD);
}

void JobRun::UpdateProgress(int k) {
    const double length = job_.lengthSec[k];
    // A range without length has no measure of progress: it stays at 0 until done.
    if (!(length > 0)) {
        job_.progressPercent = 0;
    } else {
        const double percent = job_.audioTime.load() * 100.0 / length;
        job_.progressPercent =
            percent >= 100.0 ? 100 : (percent > 0 ? static_cast<int>(percent) : 0);
    }
    if (job_.progressUpdated)
        job_.progressUpdated(job_);
}

bool JobRun::WriteCopyHeader(const AVFormatContext* input, const std::vector<int>& outputIndex,
                             const std::optional<CutRange>& range) {
    for (unsigned i = 0; range && i < input->nb_streams; ++i) {
        if (outputIndex[i] >= 0)
            range->PrepareOutput(static_cast<int>(i),
                                 *output_.context()->streams[outputIndex[i]]->codecpar);
    }
    if (const int ret = output_.WriteHeader(); ret < 0)
        return RecordFailure(job_, ret, true, JobStep::WritingHeader);
    const AVRational base = output_.context()->streams[0]->time_base;
    job_.outputTimeBaseNum = base.num;
    job_.outputTimeBaseDen = base.den;
    return true;
}

InputOutcome JobRun::RunCopy(int k, AVFormatContext* input) {
    // Every described audio stream, in input order, goes to the next output stream.
    std::vector<int> outputIndex(input->nb_streams, -1);
    int next = 0;
    if (k == 0 && !OpenOutput())
        return InputOutcome::Failed;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        if (ff::IsSkippedCodec(stream->codecpar) || !ff::HasAudioParameters(stream->codecpar))
            continue;
        if (k == 0) {
            AVStream* out = output_.AddStream();
            const int ret = out == nullptr
                                ? AVERROR(ENOMEM)
                                : avcodec_parameters_copy(out->codecpar, stream->codecpar);
            if (ret < 0) {
                RecordFailure(job_, ret, true, JobStep::AddingStream);
                return InputOutcome::Failed;
            }
            out->codecpar->codec_tag = 0;
            out->time_base = stream->time_base;
        } else if (static_cast<unsigned>(next) >= output_.context()->nb_streams) {
            continue;  // later inputs reuse the first input's streams
        }
        outputIndex[i] = next++;
    }
    if (next == 0) {
        RecordFailure(job_, AVERROR_STREAM_NOT_FOUND, false,
                      JobStep::FindingAudio);  // nothing to copy
        return InputOutcome::Failed;
    }
    if (k == 0)
        copyEnd_.assign(output_.context()->nb_streams, 0);
    // A cut keeps the packets that hold its stretch, found by timestamps; a copy join
    // takes whole inputs.
    std::optional<CutRange> range;
    if (!job_.joinMode) {
        range.emplace(*input, job_.startSec[k], job_.endSec[k], output_.context()->oformat);
        job_.seekByBytes = 0;
        if (!range->Position(*input))
            PositionAtRangeStart(k, input);  // no time seek: the byte estimate
    }

    AVPacket* packet = packet_.get();
    const std::size_t outputs = output_.context()->nb_streams;
    std::vector<bool> firstPacket(outputs, true);
    std::vector<std::int64_t> cutOffset(outputs, 0);
    // FLAC streams of a cut get sample-exact, renumbered frames.
    std::vector<std::unique_ptr<FlacCutEdges>> flacEdges(input->nb_streams);
    for (unsigned i = 0; range && i < input->nb_streams; ++i) {
        if (outputIndex[i] >= 0)
            flacEdges[i] = FlacCutEdges::ForStream(*input, static_cast<int>(i),
                                                   range->StretchOf(static_cast<int>(i)));
    }
    // Rescales a kept packet of input stream `source` to its output stream and writes it.
    auto writeCopied = [&](AVPacket* packet, int source) {
        const int target = outputIndex[source];
        const AVStream* out = output_.context()->streams[target];
        const AVRational from = input->streams[source]->time_base;
        const auto rounding = static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX);
        packet->pts = av_rescale_q_rnd(packet->pts, from, out->time_base, rounding);
        packet->dts = av_rescale_q_rnd(packet->dts, from, out->time_base, rounding);
        packet->duration = av_rescale_q(packet->duration, from, out->time_base);
        packet->pos = -1;
        if (!range)  // a cut's edges keep what holds of the skip-samples data
            av_packet_shrink_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, 0);
        if (firstPacket[target]) {
            firstPacket[target] = false;
            const std::int64_t first = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            // FLAC edges number their own packets from the cut's first sample.
            const std::int64_t origin =
                range && !flacEdges[source] ? range->Origin(source) : AV_NOPTS_VALUE;
            // A later input of a copy join continues where the previous one ended.
            if (k > 0 && first != AV_NOPTS_VALUE)
                cutOffset[target] = first - copyEnd_[target];
            else if (origin != AV_NOPTS_VALUE)
                cutOffset[target] = av_rescale_q_rnd(origin, from, out->time_base, rounding);
            else if (first != AV_NOPTS_VALUE && first > 0)
                cutOffset[target] = first;
        }
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts -= cutOffset[target];
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts -= cutOffset[target];
        if (packet->pts != AV_NOPTS_VALUE) {
            job_.audioTime = static_cast<double>(packet->pts) * av_q2d(out->time_base);
            copyEnd_[target] = std::max(copyEnd_[target], packet->pts + packet->duration);
        }
        packet->stream_index = target;
        const int ret = output_.Write(packet);
        return ret >= 0 || RecordFailure(job_, ret, true, JobStep::WritingPacket);
    };
    std::vector<ff::PacketPtr> edgePackets;
    auto writeEdgePackets = [&](int code, int source) {
        bool ok = code >= 0 || RecordFailure(job_, code, true, JobStep::CuttingEdges);
        for (ff::PacketPtr& edge : edgePackets)
            ok = ok && writeCopied(edge.get(), source);
        edgePackets.clear();
        return ok;
    };
    auto finishEdges = [&] {
        for (unsigned i = 0; i < flacEdges.size(); ++i) {
            AVCodecParameters* par =
                flacEdges[i] ? output_.context()->streams[outputIndex[i]]->codecpar : nullptr;
            if (par != nullptr &&
                !writeEdgePackets(flacEdges[i]->Finish(edgePackets, *par), static_cast<int>(i)))
                return false;
        }
        return true;
    };
    for (;;) {
        if (Cancelled())
            return finishEdges() ? InputOutcome::Cancelled : InputOutcome::Failed;
        if ((range ? range->Read(*input, *packet) : av_read_frame(input, packet)) < 0)
            break;  // end of file (or unreadable rest)
        const int source = packet->stream_index;
        if (source < 0 || static_cast<unsigned>(source) >= input->nb_streams ||
            outputIndex[source] < 0) {
            av_packet_unref(packet);
            continue;
        }
        UpdateProgress(k);
        if (range && range->Admit(*packet) != CutRange::Verdict::Write) {
            av_packet_unref(packet);
            if (range->AllDone())
                break;  // every stream has passed the end of the stretch
            continue;
        }
        // The header waits for the first packet: the edges of a cut set parameters
        // only the first packet decides.
        if (!output_.HeaderWritten() && !WriteCopyHeader(input, outputIndex, range)) {
            av_packet_unref(packet);
            return InputOutcome::Failed;
        }
        if (flacEdges[source]) {
            if (!writeEdgePackets(flacEdges[source]->Take(*packet, edgePackets), source))
                return InputOutcome::Failed;
            av_packet_unref(packet);
            continue;
        }
        if (!writeCopied(packet, source))
            return InputOutcome::Failed;
    }
    if (!finishEdges())
        return InputOutcome::Failed;
    if (range && (!output_.HasPackets() || !range->ReachedStart())) {
        // The stretch lies before the first packet, past the last, or nowhere.
        RecordFailure(job_, kErrorNoAudioInRange, false, JobStep::ReadingRange);
        return InputOutcome::Failed;
    }
    return InputOutcome::Done;
}

InputOutcome JobRun::RunReencode(int k, AVFormatContext* input) {
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
    if (k == 0 && !OpenOutput())
        return InputOutcome::Failed;

    if (!encoder_) {
        encoder_ = std::make_unique<FrameEncoder>(job_, output_);
        decoder_ = std::make_unique<InputDecoder>();
    }
    if (!decoder_->Open(audio) ||
        (!encoder_->IsOpen() && (!encoder_->Open() || !decoder_->SetTarget(*encoder_)))) {
        HandOverDecodeFailure();
        return InputOutcome::Failed;
    }
    PositionAtRangeStart(k, input);
    const InputOutcome outcome = job_.reencodeOnOneThread
                                     ? DecodeInput(k, input, audio->index, *encoder_)
                                     : DecodeBesideEncoder(k, input, audio->index);
    if (outcome == InputOutcome::Failed)
        HandOverDecodeFailure();
    return outcome;
}

InputOutcome JobRun::DecodeInput(int k, AVFormatContext* input, int audio, FrameSink& sink) {
    AVPacket* packet = packet_.get();
    bool cancelled = false;
    for (;;) {
        if (Cancelled()) {
            cancelled = true;  // still drained below, so the output ends cleanly
            break;
        }
        if (av_read_frame(input, packet) < 0)
            break;
        if (packet->stream_index != audio) {
            av_packet_unref(packet);
            continue;
        }
        UpdateProgress(k);
        const bool ok = decoder_->Feed(packet, sink);
        av_packet_unref(packet);
        if (!ok)
            return InputOutcome::Failed;
    }
    if (!decoder_->EndInput(sink))
        return InputOutcome::Failed;
    return cancelled ? InputOutcome::Cancelled : InputOutcome::Done;
}

InputOutcome JobRun::DecodeBesideEncoder(int k, AVFormatContext* input, int audio) {
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
        return DecodeInput(k, input, audio, *encoder_);
    }
    bool written = true;
    while (ff::FramePtr frame = queue.Pop()) {
        if (encoder_->Take(frame.get()) != FrameSink::kTaken) {
            written = false;
            queue.Stop();  // wakes the decoding thread when it waits for room
            break;
        }
        queue.Recycle(std::move(frame));
    }
    decoding.join();
    return written ? decoded : InputOutcome::Failed;
}

void JobRun::HandOverDecodeFailure() {
    const DecodeFailure& failure = decoder_->failure();
    if (failure.code != 0)
        RecordFailure(job_, failure.code, failure.onOutput, failure.step);
}

}  // namespace

void MediaJobWorker(MediaJob& job) {
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
        return;
    if (count > kMaxJobInputs) {
        // The record cannot describe more inputs; MediaJobRunner refuses such jobs.
        RecordFailure(job, AVERROR(E2BIG), false, JobStep::Starting);
        job.fileStatus[0] = kInputFailed;
        return;
    }
    JobRun(job).Execute();
}

}  // namespace tolvane
