#include "engine/ffmpeg/FfmpegSetup.h"

namespace tolvane::ff {

namespace {

template <typename Holder>
Holder Failed(int code, int* error) {
    if (error != nullptr)
        *error = code;
    return Holder();
}

}  // namespace

CodecContextPtr OpenDecoder(const AVStream& stream, int* error) {
    const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
    if (decoder == nullptr)
        return Failed<CodecContextPtr>(AVERROR_DECODER_NOT_FOUND, error);
    CodecContextPtr context(avcodec_alloc_context3(decoder));
    if (!context)
        return Failed<CodecContextPtr>(AVERROR(ENOMEM), error);
    int ret = avcodec_parameters_to_context(context.get(), stream.codecpar);
    if (ret < 0)
        return Failed<CodecContextPtr>(ret, error);
    context->pkt_timebase = stream.time_base;
    ret = avcodec_open2(context.get(), decoder, nullptr);
    if (ret < 0)
        return Failed<CodecContextPtr>(ret, error);
    return context;
}

ResamplerPtr MakeResampler(const SampleShape& from, const SampleShape& to, int* error) {
    SwrContext* raw = nullptr;
    // FFmpeg 5.1 takes the layouts as non-const but only reads them (later releases
    // declare them const).
    int ret = swr_alloc_set_opts2(&raw, const_cast<AVChannelLayout*>(to.layout), to.format, to.rate,
                                  const_cast<AVChannelLayout*>(from.layout), from.format, from.rate,
                                  0, nullptr);
    ResamplerPtr resampler(raw);
    if (ret >= 0 && !resampler)
        ret = AVERROR(ENOMEM);
    if (ret >= 0)
        ret = swr_init(resampler.get());
    if (ret < 0)
        return Failed<ResamplerPtr>(ret, error);
    return resampler;
}

}  // namespace tolvane::ff
