#pragma once
// Decodes a stretch of a file's audio after a seek: the peak windows and the quiet-point
// search read a few seconds around a time without decoding the file from its start, and
// the peak reader reads the whole file through it. A chained Ogg file is read link by
// link, each as a file of its own, on one timeline.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/ffmpeg/FfmpegHolders.h"
#include "engine/probe/OggLinkInput.h"

namespace tolvane {

class AudioWindowSource {
  public:
    // Opens `path`'s best audio stream; Ready() tells whether that worked.
    explicit AudioWindowSource(const std::string& path);

    bool Ready() const { return decoder_ != nullptr; }
    int SampleRate() const;
    // The stream's codec, e.g. to tell PCM and FLAC from the others.
    AVCodecID Codec() const;
    // The file's length in microseconds as its container states it (a chained file's:
    // its links' together); 0 when unknown.
    std::int64_t DurationUs() const { return durationUs_; }

    // Called with each decoded frame and the time of its first sample, in microseconds;
    // returns false to stop.
    using FrameSink = std::function<bool(const AVFrame& frame, std::int64_t startUs)>;
    // Times are the stream's own (a decoder's delay shows as a later first sample).
    // Seeks to well before `fromUs` and hands over frames until one starts at or past
    // `toUs` (or the sink stops). False when no audio stream could be opened.
    bool Read(std::int64_t fromUs, std::int64_t toUs, const FrameSink& sink);

  private:
    // One link of a chained file and where it starts on the file's timeline.
    struct ChainLink {
        OggLink link;
        std::int64_t startUs = 0;
    };

    // Takes `input`'s best audio stream and a decoder for it.
    bool OpenStream(AVFormatContext& input);
    bool OpenLink(std::size_t index);
    // Seeks the current input to well before `fromUs` of its own times.
    void SeekBefore(std::int64_t fromUs);

    std::string path_;
    ff::InputFormatPtr file_;       // the file, unless it is chained
    std::vector<ChainLink> links_;  // a chained file's links, else empty
    std::size_t link_ = 0;
    std::unique_ptr<OggLinkInput> linkInput_;
    AVFormatContext* input_ = nullptr;  // what is read: file_ or the current link
    // Added to the current input's times: a link's place on the file's timeline.
    std::int64_t offsetUs_ = 0;
    bool fresh_ = true;  // nothing read since the input was opened
    std::int64_t durationUs_ = 0;
    ff::CodecContextPtr decoder_;
    ff::PacketPtr packet_;
    ff::FramePtr frame_;
    int stream_ = -1;
};

}  // namespace tolvane
