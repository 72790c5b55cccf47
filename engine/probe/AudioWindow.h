#pragma once
// Decodes a stretch of a file's audio after a seek: the peak windows and the quiet-point
// search read a few seconds around a time without decoding the file from its start.

#include <cstdint>
#include <functional>
#include <string>

#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane {

class AudioWindowSource {
  public:
    // Opens `path`'s best audio stream; Ready() tells whether that worked.
    explicit AudioWindowSource(const std::string& path);

    bool Ready() const { return decoder_ != nullptr; }
    int SampleRate() const;
    // The stream's codec, e.g. to tell PCM and FLAC from the others.
    AVCodecID Codec() const;

    // Called with each decoded frame and the time of its first sample, in microseconds;
    // returns false to stop.
    using FrameSink = std::function<bool(const AVFrame& frame, std::int64_t startUs)>;
    // Times are the stream's own (a decoder's delay shows as a later first sample).
    // Seeks to well before `fromUs` and hands over frames until one starts at or past
    // `toUs` (or the sink stops). False when no audio stream could be opened.
    bool Read(std::int64_t fromUs, std::int64_t toUs, const FrameSink& sink);

  private:
    ff::InputFormatPtr input_;
    ff::CodecContextPtr decoder_;
    ff::PacketPtr packet_;
    ff::FramePtr frame_;
    int stream_ = -1;
};

}  // namespace tolvane
