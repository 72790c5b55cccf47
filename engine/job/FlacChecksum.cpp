#include "engine/job/FlacChecksum.h"

extern "C" {
#include <libavutil/md5.h>
}

namespace tolvane {

namespace {

constexpr int kStreamInfoSize = 34;

// A decoder for the frames as written. The stream header is the source's until the job
// ends, and FFmpeg refuses frames longer than its largest block size, which a cut's
// joined-up first frame can be: this decoder is told the largest FLAC allows.
ff::CodecContextPtr OpenFrameDecoder(const AVStream& stream) {
    const AVCodec* flac = avcodec_find_decoder(AV_CODEC_ID_FLAC);
    ff::CodecContextPtr context(flac != nullptr ? avcodec_alloc_context3(flac) : nullptr);
    if (!context || avcodec_parameters_to_context(context.get(), stream.codecpar) < 0 ||
        context->extradata == nullptr || context->extradata_size < kStreamInfoSize)
        return nullptr;
    std::uint8_t* info = context->extradata;
    info[2] = info[3] = 0xFF;         // largest block: 65535 samples
    info[7] = info[8] = info[9] = 0;  // largest frame: unknown
    context->pkt_timebase = stream.time_base;
    if (avcodec_open2(context.get(), flac, nullptr) < 0)
        return nullptr;
    return context;
}

}  // namespace

FlacChecksum::FlacChecksum(const AVStream& stream)
    : bitsPerSample_(stream.codecpar->bits_per_raw_sample),
      decoder_(OpenFrameDecoder(stream)),
      md5_(av_md5_alloc()) {
    failed_ = !decoder_ || !decoded_ || !md5_ || bitsPerSample_ < 4 || bitsPerSample_ > 32;
    if (md5_)
        av_md5_init(md5_.get());
}

void FlacChecksum::Add(const AVPacket& frame) {
    if (failed_)
        return;
    // Decoding a frame gives exactly its samples: one frame in, one out.
    if (avcodec_send_packet(decoder_.get(), &frame) < 0 ||
        avcodec_receive_frame(decoder_.get(), decoded_.get()) < 0) {
        failed_ = true;
        return;
    }
    AddDecoded(*decoded_);
    av_frame_unref(decoded_.get());
}

void FlacChecksum::AddDecoded(const AVFrame& frame) {
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const int width = av_get_bytes_per_sample(format);
    if (width != 2 && width != 4) {
        failed_ = true;
        return;
    }
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int channels = frame.ch_layout.nb_channels;
    const int shift = width * 8 - bitsPerSample_;  // the decoder puts samples in the top bits
    const int outWidth = (bitsPerSample_ + 7) / 8;
    bytes_.resize(static_cast<std::size_t>(frame.nb_samples) * channels * outWidth);
    std::uint8_t* out = bytes_.data();
    for (int i = 0; i < frame.nb_samples; ++i) {
        for (int ch = 0; ch < channels; ++ch) {
            const std::size_t index =
                planar ? static_cast<std::size_t>(i) : static_cast<std::size_t>(i) * channels + ch;
            const std::uint8_t* plane = frame.extended_data[planar ? ch : 0];
            std::int32_t value = 0;
            if (width == 2) {
                value = reinterpret_cast<const std::int16_t*>(plane)[index];
            } else {
                value = reinterpret_cast<const std::int32_t*>(plane)[index];
            }
            value >>= shift;
            for (int b = 0; b < outWidth; ++b)
                *out++ = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * b));
        }
    }
    av_md5_update(md5_.get(), bytes_.data(), bytes_.size());
}

std::optional<std::array<std::uint8_t, 16>> FlacChecksum::Result() {
    if (failed_)
        return std::nullopt;
    std::array<std::uint8_t, 16> sum{};
    av_md5_final(md5_.get(), sum.data());
    failed_ = true;  // the sum is taken once
    return sum;
}

}  // namespace tolvane
