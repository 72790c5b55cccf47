#include "engine/encode/FrameEncoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include "engine/job/JobSteps.h"

namespace tolvane {

namespace {

// Frame size for encoders that take any size (PCM and the like).
constexpr int kVariableFrameSize = 4096;

}  // namespace

bool FrameEncoder::Failure(int code, JobStep step) {
    return RecordFailure(job_, code, true, step);
}

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

}  // namespace tolvane
