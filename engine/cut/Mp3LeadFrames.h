#pragma once
// The MP3 frames a cut reads before its start, held until the frame that holds the start
// arrives, and the main data they carry: the first frames written may read up to 511
// bytes of it (the bit reservoir), from frames that are not written.

#include <cstdint>
#include <deque>
#include <vector>

#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane {

class Mp3LeadFrames {
  public:
    // Reads a frame's main data; `hold`: the frame itself is held as well. 0 or an
    // FFmpeg error.
    int Add(const AVPacket& frame, bool hold);
    // The held frames, in order.
    std::deque<ff::PacketPtr>& held() { return held_; }
    // The frame that goes before held frame `index` (or before `next`, the frame after
    // the held ones, for index == held().size()) so that it decodes as in the source:
    // silent, carrying at its end the main data that frame reads from before itself.
    // Empty when those bytes were not read (or a frame is no layer III frame).
    std::vector<std::uint8_t> CarrierBefore(std::size_t index, const AVPacket& next) const;

  private:
    std::deque<ff::PacketPtr> held_;
    // The payloads of the frames read, in order, since the last that was no frame.
    std::vector<std::uint8_t> mainData_;
};

}  // namespace tolvane
