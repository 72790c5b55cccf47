#include "engine/encode/InputDecoder.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#include "engine/ffmpeg/FfmpegSetup.h"

namespace tolvane {

namespace {

// A float source may hold NaN, infinities or absurd peaks (a damaged or hand-made file);
// the MP3 encoder aborts the whole process on them. Values that are no number become
// silence, peaks are held at a headroom no real recording exceeds, which keeps the
// encoder's sums finite.
constexpr float kFloatSampleLimit = 8.0F;

template <typename Sample>
void TameSamples(Sample* samples, int count) {
    for (int i = 0; i < count; ++i) {
        Sample& value = samples[i];
        if (!std::isfinite(value))
            value = 0;
        else
            value = std::clamp<Sample>(value, -kFloatSampleLimit, kFloatSampleLimit);
    }
}

void TameFloatSamples(AVFrame* frame, int samples, int channels) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int planes = planar ? channels : 1;
    const int perPlane = planar ? samples : samples * channels;
    for (int plane = 0; plane < planes; ++plane) {
        if (format == AV_SAMPLE_FMT_FLT || format == AV_SAMPLE_FMT_FLTP)
            TameSamples(reinterpret_cast<float*>(frame->extended_data[plane]), perPlane);
        else if (format == AV_SAMPLE_FMT_DBL || format == AV_SAMPLE_FMT_DBLP)
            TameSamples(reinterpret_cast<double*>(frame->extended_data[plane]), perPlane);
    }
}

}  // namespace

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
    TameFloatSamples(frame, samples, targetLayout_->nb_channels);
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

}  // namespace tolvane
