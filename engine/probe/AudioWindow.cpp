#include "engine/probe/AudioWindow.h"

#include "engine/ffmpeg/FfmpegSetup.h"

#include <algorithm>

namespace tolvane {

namespace {

constexpr AVRational kMicroseconds{1, 1000000};

}  // namespace

AudioWindowSource::AudioWindowSource(const std::string& path) : path_(path) {
    if (ff::OpenInput(path.c_str(), file_) < 0 ||
        avformat_find_stream_info(file_.get(), nullptr) < 0 || !OpenStream(*file_))
        return;
    const AVStream* stream = file_->streams[stream_];
    durationUs_ = stream->duration != AV_NOPTS_VALUE && stream->duration > 0
                      ? av_rescale_q(stream->duration, stream->time_base, kMicroseconds)
                  : file_->duration > 0 ? file_->duration
                                        : 0;
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    if (!packet_ || !frame_) {
        decoder_.reset();
        return;
    }
    // FFmpeg reads a chained file as its last link's length and cannot seek past the
    // first: its links are read one by one instead.
    const std::vector<OggLink> links = ChainedOggLinks(*file_, *stream);
    if (links.empty())
        return;
    std::int64_t startUs = 0;
    for (const OggLink& link : links) {
        links_.push_back({link, startUs});
        startUs += av_rescale(link.samples, 1000000, link.sampleRate);
    }
    if (OpenLink(0)) {
        durationUs_ = startUs;
        file_.reset();
    } else {
        links_.clear();  // read as FFmpeg reads it whole
        OpenStream(*file_);
    }
}

bool AudioWindowSource::OpenStream(AVFormatContext& input) {
    decoder_.reset();
    stream_ = av_find_best_stream(&input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream_ < 0)
        return false;
    // Only the audio stream is demuxed into packets worth reading.
    for (unsigned i = 0; i < input.nb_streams; ++i)
        if (static_cast<int>(i) != stream_)
            input.streams[i]->discard = AVDISCARD_ALL;
    ff::CodecContextPtr decoder = ff::OpenDecoder(*input.streams[stream_]);
    if (!decoder || decoder->sample_rate <= 0)
        return false;
    decoder_ = std::move(decoder);
    input_ = &input;
    fresh_ = true;
    return true;
}

bool AudioWindowSource::OpenLink(std::size_t index) {
    std::unique_ptr<OggLinkInput> input = OggLinkInput::Open(path_, links_[index].link);
    if (!input || !OpenStream(input->format())) {
        decoder_.reset();  // nothing more is read
        return false;
    }
    linkInput_ = std::move(input);
    link_ = index;
    // The link's first sample lands at its place on the timeline, as the first link's
    // does at the start of an ordinary file.
    const AVStream* stream = input_->streams[stream_];
    const std::int64_t startUs =
        stream->start_time != AV_NOPTS_VALUE
            ? av_rescale_q(stream->start_time, stream->time_base, kMicroseconds)
            : 0;
    offsetUs_ = links_[index].startUs - startUs;
    return true;
}

int AudioWindowSource::SampleRate() const {
    return decoder_ ? decoder_->sample_rate : 0;
}

AVCodecID AudioWindowSource::Codec() const {
    return decoder_ ? input_->streams[stream_]->codecpar->codec_id : AV_CODEC_ID_NONE;
}

void AudioWindowSource::SeekBefore(std::int64_t fromUs) {
    // Decoders that read from the packets before (MP3's bit reservoir, a long one at low
    // rates) give silence for the first packets after a seek: start early enough.
    constexpr std::int64_t kPrerollUs = 500000;
    const std::int64_t landingUs = std::max<std::int64_t>(fromUs - kPrerollUs, 0);
    // A file just opened is read from its start as it is: no seek to disturb it.
    if (landingUs == 0 && fresh_)
        return;
    const AVStream* stream = input_->streams[stream_];
    const std::int64_t target = av_rescale_q(landingUs, kMicroseconds, stream->time_base);
    // A failed seek (a stream without an index near the start) reads from where it is.
    if (av_seek_frame(input_, stream_, target, AVSEEK_FLAG_BACKWARD) < 0)
        av_seek_frame(input_, -1, 0, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(decoder_.get());
}

bool AudioWindowSource::Read(std::int64_t fromUs, std::int64_t toUs, const FrameSink& sink) {
    if (!decoder_)
        return false;
    if (!links_.empty()) {
        std::size_t index = 0;
        while (index + 1 < links_.size() && links_[index + 1].startUs <= fromUs)
            ++index;
        if (index != link_ && !OpenLink(index))
            return false;
    }
    SeekBefore(fromUs - offsetUs_);
    std::int64_t nextUs = -1;  // after the last frame, for frames without a time
    bool more = true;
    const auto drain = [&] {
        while (more && avcodec_receive_frame(decoder_.get(), frame_.get()) >= 0) {
            const AVStream* stream = input_->streams[stream_];
            const std::int64_t pts = frame_->best_effort_timestamp;
            const std::int64_t startUs =
                pts != AV_NOPTS_VALUE
                    ? av_rescale_q(pts, stream->time_base, kMicroseconds) + offsetUs_
                    : std::max<std::int64_t>(nextUs, 0);
            nextUs = startUs + std::int64_t(frame_->nb_samples) * 1000000 / decoder_->sample_rate;
            more = startUs < toUs && sink(*frame_, startUs);
            av_frame_unref(frame_.get());
        }
    };
    while (more) {
        while (more && av_read_frame(input_, packet_.get()) >= 0) {
            fresh_ = false;
            if (packet_->stream_index == stream_)
                avcodec_send_packet(decoder_.get(), packet_.get());  // a damaged packet is skipped
            av_packet_unref(packet_.get());
            drain();
        }
        if (!more)
            break;
        avcodec_send_packet(decoder_.get(), nullptr);
        drain();
        // A chained file's next link follows on with a decoder of its own.
        if (!more || links_.empty() || link_ + 1 >= links_.size() || !OpenLink(link_ + 1))
            break;
    }
    return true;
}

}  // namespace tolvane
