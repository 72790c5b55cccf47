#include "engine/probe/AudioWindow.h"

#include "engine/ffmpeg/FfmpegSetup.h"

#include <algorithm>

namespace tolvane {

AudioWindowSource::AudioWindowSource(const std::string& path) {
    if (ff::OpenInput(path.c_str(), input_) < 0 ||
        avformat_find_stream_info(input_.get(), nullptr) < 0)
        return;
    stream_ = av_find_best_stream(input_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream_ < 0)
        return;
    for (unsigned i = 0; i < input_->nb_streams; ++i)
        if (static_cast<int>(i) != stream_)
            input_->streams[i]->discard = AVDISCARD_ALL;
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    if (!packet_ || !frame_)
        return;
    ff::CodecContextPtr decoder = ff::OpenDecoder(*input_->streams[stream_]);
    if (decoder && decoder->sample_rate > 0)
        decoder_ = std::move(decoder);
}

int AudioWindowSource::SampleRate() const {
    return decoder_ ? decoder_->sample_rate : 0;
}

AVCodecID AudioWindowSource::Codec() const {
    return decoder_ ? input_->streams[stream_]->codecpar->codec_id : AV_CODEC_ID_NONE;
}

bool AudioWindowSource::Read(std::int64_t fromUs, std::int64_t toUs, const FrameSink& sink) {
    if (!decoder_)
        return false;
    const AVStream* stream = input_->streams[stream_];
    // Decoders that read from the packets before (MP3's bit reservoir, a long one at low
    // rates) give silence for the first packets after a seek: start early enough.
    constexpr std::int64_t kPrerollUs = 500000;
    const std::int64_t target = av_rescale_q(std::max<std::int64_t>(fromUs - kPrerollUs, 0),
                                             AVRational{1, 1000000}, stream->time_base);
    // A failed seek (a stream without an index near the start) reads from where it is.
    if (av_seek_frame(input_.get(), stream_, target, AVSEEK_FLAG_BACKWARD) < 0)
        av_seek_frame(input_.get(), -1, 0, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(decoder_.get());
    const int rate = decoder_->sample_rate;
    std::int64_t nextUs = -1;  // after the last frame, for frames without a time
    bool more = true;
    const auto drain = [&] {
        while (more && avcodec_receive_frame(decoder_.get(), frame_.get()) >= 0) {
            const std::int64_t pts = frame_->best_effort_timestamp;
            const std::int64_t startUs =
                pts != AV_NOPTS_VALUE ? av_rescale_q(pts, stream->time_base, AVRational{1, 1000000})
                                      : std::max<std::int64_t>(nextUs, 0);
            nextUs = startUs + std::int64_t(frame_->nb_samples) * 1000000 / rate;
            more = startUs < toUs && sink(*frame_, startUs);
            av_frame_unref(frame_.get());
        }
    };
    while (more && av_read_frame(input_.get(), packet_.get()) >= 0) {
        if (packet_->stream_index == stream_)
            avcodec_send_packet(decoder_.get(), packet_.get());  // a damaged packet is skipped
        av_packet_unref(packet_.get());
        drain();
    }
    if (more) {
        avcodec_send_packet(decoder_.get(), nullptr);
        drain();
    }
    return true;
}

}  // namespace tolvane
