#pragma once
// One decoded sample of a frame as a value in [-1, 1], whatever the decoder's sample
// format: for readers that look at a few seconds of audio, where a switch per sample
// costs nothing worth a faster path.

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

namespace tolvane {

inline float FrameSample(const AVFrame& frame, int channel, int index) {
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int channels = frame.ch_layout.nb_channels;
    const std::uint8_t* plane = frame.extended_data[planar ? channel : 0];
    const long at = planar ? index : static_cast<long>(index) * channels + channel;
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_FLT:
            return reinterpret_cast<const float*>(plane)[at];
        case AV_SAMPLE_FMT_DBL:
            return static_cast<float>(reinterpret_cast<const double*>(plane)[at]);
        case AV_SAMPLE_FMT_S16:
            return reinterpret_cast<const std::int16_t*>(plane)[at] / 32768.0f;
        case AV_SAMPLE_FMT_S32:
            return static_cast<float>(reinterpret_cast<const std::int32_t*>(plane)[at] /
                                      2147483648.0);
        case AV_SAMPLE_FMT_U8:
            return (plane[at] - 128.0f) / 128.0f;
        default:
            return 0.0f;  // 64-bit integers: no decoder of a format we read makes them
    }
}

// The mean of the frame's channels at one sample.
inline float FrameMonoSample(const AVFrame& frame, int index) {
    const int channels = frame.ch_layout.nb_channels;
    if (channels <= 0)
        return 0.0f;
    float sum = 0.0f;
    for (int c = 0; c < channels; ++c)
        sum += FrameSample(frame, c, index);
    return sum / static_cast<float>(channels);
}

}  // namespace tolvane
