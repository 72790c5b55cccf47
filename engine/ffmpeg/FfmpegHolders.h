#pragma once
// RAII holders for the FFmpeg objects the engine makes, so every path, early failures
// included, releases what it made.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/vorbis_parser.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libswresample/swresample.h>
}

namespace tolvane::ff {

struct InputFormatDeleter {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
// An output context whose pb is owned elsewhere (custom I/O) or closed before release.
struct OutputFormatDeleter {
    void operator()(AVFormatContext* c) const { avformat_free_context(c); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FifoDeleter {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct ResamplerDeleter {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
// A custom I/O context together with its (possibly reallocated) buffer.
struct IoContextDeleter {
    void operator()(AVIOContext* io) const {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct MemoryDeleter {
    void operator()(void* p) const { av_free(p); }
};
// One reference to a reference-counted buffer.
struct BufferDeleter {
    void operator()(AVBufferRef* b) const { av_buffer_unref(&b); }
};

// Reads Vorbis packets' block sizes.
struct VorbisParserDeleter {
    void operator()(AVVorbisParseContext* p) const { av_vorbis_parse_free(&p); }
};

using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatDeleter>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoDeleter>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerDeleter>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;
using MemoryPtr = std::unique_ptr<std::uint8_t, MemoryDeleter>;
using BufferPtr = std::unique_ptr<AVBufferRef, BufferDeleter>;
using VorbisParserPtr = std::unique_ptr<AVVorbisParseContext, VorbisParserDeleter>;

// Options for an FFmpeg call. The calls take the address of the pointer, since they
// may replace the dictionary (avformat_open_input leaves the options it did not use).
class Dictionary {
  public:
    Dictionary() = default;
    ~Dictionary() { av_dict_free(&dictionary_); }
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;

    int Set(const char* key, const char* value) { return av_dict_set(&dictionary_, key, value, 0); }
    AVDictionary** address() { return &dictionary_; }

  private:
    AVDictionary* dictionary_ = nullptr;
};

// A channel layout that owns what a custom-order layout allocates.
class ChannelLayout {
  public:
    ChannelLayout() = default;
    ~ChannelLayout() { av_channel_layout_uninit(&layout_); }
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;
    ChannelLayout(ChannelLayout&& other) noexcept : layout_(std::exchange(other.layout_, {})) {}
    ChannelLayout& operator=(ChannelLayout&& other) noexcept {
        if (this != &other) {
            av_channel_layout_uninit(&layout_);
            layout_ = std::exchange(other.layout_, {});
        }
        return *this;
    }

    // FFmpeg's default layout for `channels` (an unspecified order when it has none).
    static ChannelLayout Default(int channels) {
        ChannelLayout layout;
        av_channel_layout_default(&layout.layout_, channels);
        return layout;
    }
    // A copy of `source`; returns the FFmpeg result.
    int CopyFrom(const AVChannelLayout& source) {
        return av_channel_layout_copy(&layout_, &source);
    }

    const AVChannelLayout* get() const { return &layout_; }
    const AVChannelLayout& operator*() const { return layout_; }
    const AVChannelLayout* operator->() const { return &layout_; }

  private:
    AVChannelLayout layout_{};
};

// Opens a file for reading; returns the FFmpeg result and leaves `out` empty on failure.
// The path is always a local file: without the "file:" prefix FFmpeg would read a name
// such as "pipe:0.mp3" or "concat:a.mp3|b.mp3" as a protocol and its arguments, and the
// whitelist keeps a playlist inside the file from reaching the network. `format`, when
// given, is used instead of probing the content.
inline int OpenInput(const char* path, InputFormatPtr& out, const AVInputFormat* format = nullptr) {
    AVFormatContext* raw = nullptr;
    const std::string url = std::string("file:") + path;
    Dictionary options;
    options.Set("protocol_whitelist", "file");
    int ret = avformat_open_input(&raw, url.c_str(), format, options.address());
    if (ret < 0)
        return ret;  // FFmpeg frees the context itself on failure
    out.reset(raw);
    return 0;
}

// Codecs that are never treated as media streams: cover pictures and DVD navigation.
inline bool IsSkippedCodec(const AVCodecParameters* par) {
    return par->codec_id == AV_CODEC_ID_MJPEG || par->codec_id == AV_CODEC_ID_PNG ||
           par->codec_id == AV_CODEC_ID_DVD_NAV || par->codec_type == AVMEDIA_TYPE_SUBTITLE;
}

// Highest sample rate taken as audio. A damaged header can claim a billion Hz, and
// resampling that to an encoder's rate takes the resampler minutes, out of reach of a
// cancel request.
inline constexpr int kMaxSampleRate = 768000;

inline bool IsUsableSampleRate(int rate) {
    return rate > 0 && rate <= kMaxSampleRate;
}

// An audio stream FFmpeg could describe: random bytes opened as MP3 have neither.
inline bool HasAudioParameters(const AVCodecParameters* par) {
    return par->codec_type == AVMEDIA_TYPE_AUDIO && IsUsableSampleRate(par->sample_rate) &&
           par->ch_layout.nb_channels > 0;
}

}  // namespace tolvane::ff
