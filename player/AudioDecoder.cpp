#include "AudioDecoder.h"

#include "engine/ffmpeg/FfmpegSetup.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/opt.h>
}

namespace tolvane::player {

namespace {

constexpr double kPrerollSeconds = 0.2;

ff::ChannelLayout UsableLayout(const AVChannelLayout& layout) {
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&layout) == 0) {
        return ff::ChannelLayout::Default(layout.nb_channels);
    }
    ff::ChannelLayout result;
    result.CopyFrom(layout);
    return result;
}

}  // namespace

bool AudioDecoder::Open(const std::string& path) {
    // Regular local files only: opening a FIFO would block until a writer comes, and a
    // playlist must not make the preview reach the network.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    path_ = path;
    links_.clear();
    link_ = 0;
    linkInput_.reset();
    linkStartSeconds_ = 0;
    if (ff::OpenInput(path.c_str(), format_) < 0) {
        return false;
    }
    if (avformat_find_stream_info(format_.get(), nullptr) < 0 || !OpenStream(*format_)) {
        return false;
    }
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        const AVStream* other = format_->streams[i];
        if (other->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            (other->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0) {
            hasVideo_ = true;
        }
    }
    const AVStream* stream = format_->streams[streamIndex_];
    if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0) {
        durationSeconds_ = static_cast<double>(format_->duration) / AV_TIME_BASE;
    } else if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        durationSeconds_ = stream->duration * av_q2d(timeBase_);
    }
    // FFmpeg reads a chained file as its last link's length and cannot seek past the
    // first: its links are read one by one instead, each as a file of its own.
    const std::vector<OggLink> links = ChainedOggLinks(*format_, *stream);
    if (!links.empty()) {
        double start = 0;
        for (const OggLink& link : links) {
            links_.push_back({link, start});
            start += static_cast<double>(link.samples) / link.sampleRate;
        }
        if (OpenLink(0)) {
            durationSeconds_ = start;
            format_.reset();
        } else {
            links_.clear();  // played as FFmpeg reads it whole
            if (!OpenStream(*format_)) {
                return false;
            }
        }
    }
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    return frame_ && packet_;
}

bool AudioDecoder::OpenStream(AVFormatContext& input) {
    codec_.reset();
    input_ = nullptr;
    const AVCodec* decoder = nullptr;
    streamIndex_ = av_find_best_stream(&input, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (streamIndex_ < 0 || decoder == nullptr) {
        return false;
    }
    const AVStream* stream = input.streams[streamIndex_];
    // Random bytes may pass as an MP3 stream without a rate or channels, and a damaged
    // header may claim a rate no device plays.
    if (!ff::HasAudioParameters(stream->codecpar)) {
        return false;
    }
    codec_ = ff::OpenDecoder(*stream);
    if (!codec_) {
        return false;
    }
    timeBase_ = stream->time_base;
    startSeconds_ =
        stream->start_time != AV_NOPTS_VALUE ? stream->start_time * av_q2d(timeBase_) : 0.0;
    input_ = &input;
    return true;
}

bool AudioDecoder::OpenLink(size_t index) {
    std::unique_ptr<OggLinkInput> input = OggLinkInput::Open(path_, links_[index].link);
    if (!input || !OpenStream(input->format())) {
        codec_.reset();  // nothing more is read
        input_ = nullptr;
        return false;
    }
    linkInput_ = std::move(input);
    link_ = index;
    linkStartSeconds_ = links_[index].startSeconds;
    return true;
}

double AudioDecoder::FrameSeconds(const AVFrame& frame) const {
    if (frame.best_effort_timestamp == AV_NOPTS_VALUE) {
        return std::nan("");
    }
    return frame.best_effort_timestamp * av_q2d(timeBase_) - startSeconds_ + linkStartSeconds_;
}

bool AudioDecoder::ConfigureOutput(int rate, int channels) {
    if (!codec_ || rate <= 0 || channels <= 0) {
        return false;
    }
    outRate_ = rate;
    outChannels_ = channels;
    resampler_.reset();
    resamplerFormat_ = -1;
    // Build it now for the decoder's announced format, so a refusal shows at Open.
    AVFrame probe{};
    probe.format = codec_->sample_fmt;
    probe.sample_rate = codec_->sample_rate;
    probe.ch_layout = codec_->ch_layout;
    return BuildResampler(probe);
}

bool AudioDecoder::BuildResampler(const AVFrame& frame) {
    const ff::ChannelLayout inLayout = UsableLayout(frame.ch_layout);
    const ff::ChannelLayout outLayout = ff::ChannelLayout::Default(outChannels_);
    ff::ResamplerPtr resampler = ff::MakeResampler(
        {static_cast<AVSampleFormat>(frame.format), frame.sample_rate, inLayout.get()},
        {AV_SAMPLE_FMT_FLT, outRate_, outLayout.get()});
    if (!resampler) {
        resampler_.reset();
        return false;
    }
    resampler_ = std::move(resampler);
    resamplerFormat_ = frame.format;
    resamplerRate_ = frame.sample_rate;
    resamplerChannels_ = frame.ch_layout.nb_channels;
    return true;
}

void AudioDecoder::Seek(double seconds) {
    if (input_ == nullptr) {
        return;
    }
    seconds = std::max(0.0, seconds);
    if (!links_.empty()) {
        size_t index = 0;
        while (index + 1 < links_.size() && links_[index + 1].startSeconds <= seconds) {
            ++index;
        }
        if (index != link_ && !OpenLink(index)) {
            return;
        }
    }
    // Land a little early: overlapping codecs (MP3, AAC) need a few frames before
    // their output is clean, and those are decoded and dropped before the target.
    const double landing = std::max(0.0, seconds - linkStartSeconds_ - kPrerollSeconds);
    const auto target = static_cast<int64_t>((landing + startSeconds_) / av_q2d(timeBase_));
    if (av_seek_frame(input_, streamIndex_, target, AVSEEK_FLAG_BACKWARD) < 0) {
        av_seek_frame(input_, -1, 0, AVSEEK_FLAG_BACKWARD);
    }
    avcodec_flush_buffers(codec_.get());
    if (resampler_) {
        swr_init(resampler_.get());  // drops samples of the old position still inside
    }
    nextFrame_ = std::llround(seconds * outRate_);
    pendingSilence_ = 0;
    held_.clear();
    skipping_ = true;
    seekTarget_ = seconds;
    draining_ = false;
    drained_ = false;
}

int AudioDecoder::Convert(const AVFrame& frame, std::vector<float>& samples) {
    if (frame.format != resamplerFormat_ || frame.sample_rate != resamplerRate_ ||
        frame.ch_layout.nb_channels != resamplerChannels_) {
        if (!BuildResampler(frame)) {
            return 0;
        }
    }
    int skip = 0;
    if (skipping_) {
        skipping_ = false;
        const double frameStart = FrameSeconds(frame);
        if (!std::isnan(frameStart) && frame.sample_rate > 0) {
            const double frameEnd =
                frameStart + static_cast<double>(frame.nb_samples) / frame.sample_rate;
            if (frameEnd <= seekTarget_) {
                skipping_ = true;  // wholly before the target
                return 0;
            }
            skip = std::clamp(
                static_cast<int>(std::lround((seekTarget_ - frameStart) * frame.sample_rate)), 0,
                frame.nb_samples);
        }
    }
    const int inputSamples = frame.nb_samples - skip;
    const uint8_t* planes[AV_NUM_DATA_POINTERS] = {};
    const int bytesPerSample = av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame.format));
    const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame.format));
    const int planeCount = planar ? frame.ch_layout.nb_channels : 1;
    const int step = planar ? bytesPerSample : bytesPerSample * frame.ch_layout.nb_channels;
    for (int i = 0; i < planeCount && i < AV_NUM_DATA_POINTERS; ++i) {
        planes[i] = frame.extended_data[i] + static_cast<ptrdiff_t>(skip) * step;
    }
    const int capacity = swr_get_out_samples(resampler_.get(), inputSamples);
    if (capacity <= 0) {
        return 0;
    }
    samples.resize(static_cast<size_t>(capacity) * outChannels_);
    auto* out = reinterpret_cast<uint8_t*>(samples.data());
    const int produced = swr_convert(resampler_.get(), &out, capacity, planes, inputSamples);
    if (produced <= 0) {
        return 0;
    }
    samples.resize(static_cast<size_t>(produced) * outChannels_);
    return produced;
}

int64_t AudioDecoder::StampedOutputFrame(const AVFrame& frame) const {
    const double seconds = FrameSeconds(frame);
    // No timestamp (NaN), or a hostile one: it must not overflow the frame count, and no
    // file runs for a year.
    if (!std::isfinite(seconds) || std::abs(seconds) > 3.2e7) {
        return AV_NOPTS_VALUE;
    }
    // A frame that starts before the seek target is trimmed to it.
    return std::llround(std::max(seconds, skipping_ ? seekTarget_ : seconds) * outRate_);
}

int64_t AudioDecoder::MaxGapFrames() const {
    // Never more silence than the rest of the file, whatever a timestamp claims.
    const double rest =
        std::max(0.0, durationSeconds_ - static_cast<double>(nextFrame_) / outRate_);
    return std::llround(std::min(rest, kMaxGapSeconds) * outRate_);
}

int AudioDecoder::NextAfterGap(std::vector<float>& samples, int64_t& startFrame) {
    int frames = 0;
    if (pendingSilence_ > 0) {
        frames = static_cast<int>(std::min<int64_t>(pendingSilence_, kSilenceChunkFrames));
        pendingSilence_ -= frames;
        samples.assign(static_cast<size_t>(frames) * outChannels_, 0.0f);
    } else {
        samples.swap(held_);
        held_.clear();
        frames = static_cast<int>(samples.size() / static_cast<size_t>(outChannels_));
    }
    startFrame = nextFrame_;
    nextFrame_ += frames;
    return frames;
}

int AudioDecoder::Drain(std::vector<float>& samples) {
    drained_ = true;
    if (!resampler_) {
        return 0;
    }
    const int capacity = swr_get_out_samples(resampler_.get(), 0);
    if (capacity <= 0) {
        return 0;
    }
    samples.resize(static_cast<size_t>(capacity) * outChannels_);
    auto* out = reinterpret_cast<uint8_t*>(samples.data());
    const int produced = swr_convert(resampler_.get(), &out, capacity, nullptr, 0);
    samples.resize(static_cast<size_t>(std::max(produced, 0)) * outChannels_);
    return std::max(produced, 0);
}

int AudioDecoder::Next(std::vector<float>& samples, int64_t& startFrame) {
    if (!codec_ || !resampler_ || drained_) {
        return 0;
    }
    if (pendingSilence_ > 0 || !held_.empty()) {
        return NextAfterGap(samples, startFrame);
    }
    while (true) {
        const int received = avcodec_receive_frame(codec_.get(), frame_.get());
        if (received == 0) {
            const int64_t stamped = StampedOutputFrame(*frame_);
            const int produced = Convert(*frame_, samples);
            av_frame_unref(frame_.get());
            if (produced <= 0) {
                continue;
            }
            const int64_t gap = stamped == AV_NOPTS_VALUE ? 0 : stamped - nextFrame_;
            if (gap > std::max<int64_t>(outRate_ / 20, 1)) {
                // Frames were lost (a damaged stretch): their time is played as silence,
                // so what is heard keeps to the file's own timeline.
                pendingSilence_ = std::min<int64_t>(gap, MaxGapFrames());
                held_.swap(samples);
                return NextAfterGap(samples, startFrame);
            }
            startFrame = nextFrame_;
            nextFrame_ += produced;
            return produced;
        }
        // At the end, or a decoder that fails while draining has nothing more to give.
        if (received == AVERROR_EOF || draining_) {
            // A chained file's next link follows with a decoder of its own; the
            // resampler runs on, so nothing is lost or doubled at the seam.
            if (HasNextLink() && OpenLink(link_ + 1)) {
                draining_ = false;
                continue;
            }
            const int produced = Drain(samples);
            startFrame = nextFrame_;
            nextFrame_ += produced;
            return produced;
        }
        // Needs input (or the last packet was bad): feed the next packet of our stream.
        const int read = av_read_frame(input_, packet_.get());
        if (read < 0) {
            draining_ = true;
            avcodec_send_packet(codec_.get(), nullptr);
            continue;
        }
        if (packet_->stream_index == streamIndex_) {
            avcodec_send_packet(codec_.get(), packet_.get());  // a corrupt packet is skipped
        }
        av_packet_unref(packet_.get());
    }
}

}  // namespace tolvane::player
