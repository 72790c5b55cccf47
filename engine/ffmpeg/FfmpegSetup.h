#pragma once
// Setting up the FFmpeg pieces the probe, the job worker and the preview player all
// need, the same way for each: a decoder for a stream and a resampler between two
// sample shapes. FFmpeg only, so the player can link it without the engine.

#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane::ff {

// An opened decoder for `stream`, with the stream's time base as its packet time base;
// empty on failure, with the FFmpeg error in *error (AVERROR_DECODER_NOT_FOUND when
// FFmpeg has no decoder for the codec).
CodecContextPtr OpenDecoder(const AVStream& stream, int* error = nullptr);

// One side of a resampler.
struct SampleShape {
    AVSampleFormat format = AV_SAMPLE_FMT_NONE;
    int rate = 0;
    const AVChannelLayout* layout = nullptr;
};

// An initialised resampler from `from` to `to`; empty on failure, with the FFmpeg
// error in *error.
ResamplerPtr MakeResampler(const SampleShape& from, const SampleShape& to, int* error = nullptr);

}  // namespace tolvane::ff
