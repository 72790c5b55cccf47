#pragma once
// RAII holders for the FFmpeg objects the engine makes, so every path, early failures
// included, releases what it made.

#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
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
struct DictionaryDeleter {
    void operator()(AVDictionary* d) const { av_dict_free(&d); }
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

using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatDeleter>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoDeleter>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerDeleter>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;
using MemoryPtr = std::unique_ptr<std::uint8_t, MemoryDeleter>;

// Opens a file for reading; returns the FFmpeg result and leaves `out` empty on failure.
// The path is always a local file: without the "file:" prefix FFmpeg would read a name
// such as "pipe:0.mp3" or "concat:a.mp3|b.mp3" as a protocol and its arguments, and the
// whitelist keeps a playlist inside the file from reaching the network. `format`, when
// given, is used instead of probing the content.
inline int OpenInput(const char* path, InputFormatPtr& out, const AVInputFormat* format = nullptr) {
    AVFormatContext* raw = nullptr;
    const std::string url = std::string("file:") + path;
    AVDictionary* rawOptions = nullptr;
    av_dict_set(&rawOptions, "protocol_whitelist", "file", 0);
    std::unique_ptr<AVDictionary*, void (*)(AVDictionary**)> options(&rawOptions, av_dict_free);
    int ret = avformat_open_input(&raw, url.c_str(), format, &rawOptions);
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
