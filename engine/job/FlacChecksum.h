#pragma once
// The MD5 a FLAC stream header carries: of the decoded samples, interleaved, each as a
// little-endian signed integer of (depth + 7) / 8 bytes. A copied stream cannot keep
// its source's (it holds other samples), so the frames written are decoded as they go
// and their samples summed up; `flac -t` and other checkers can then verify the output.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/ffmpeg/FfmpegHolders.h"

struct AVMD5;

namespace tolvane {

class FlacChecksum {
  public:
    // For the FLAC `stream` of an output; without a decoder the sum is unknown.
    explicit FlacChecksum(const AVStream& stream);

    // Adds the samples of one frame as written.
    void Add(const AVPacket& frame);
    // The sum of every frame added; empty when one of them did not decode.
    std::optional<std::array<std::uint8_t, 16>> Result();

  private:
    void AddDecoded(const AVFrame& frame);

    int bitsPerSample_ = 0;
    bool failed_ = false;
    ff::CodecContextPtr decoder_;
    ff::FramePtr decoded_{av_frame_alloc()};
    std::unique_ptr<AVMD5, ff::MemoryDeleter> md5_;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace tolvane
