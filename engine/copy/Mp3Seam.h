#pragma once
// The seam of two MP3 inputs joined by copying their frames. A layer III frame may take
// the first part of its main data from the frames before it (the bit reservoir, up to
// 511 bytes back); the first frames after a seam would read the previous input's bytes
// there and decode garbled.
//
// The seam holds back the last frame written, and when an input's first frame reads
// from before itself, that held frame is written again at the highest bit rate of its
// stream, its own main data as it was and the source's bytes the next frames read at
// its end (the frames the cut's lead read before the start, which the edges hand over
// without writing them). Where the bytes are not at hand or do not fit, each frame that
// would read before the seam is muted instead: its side information is zeroed, so it
// decodes to silence, while its main data stays for the frames after it.

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/cut/Mp3FrameLayout.h"
#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane {

class Mp3Seam {
  public:
    // What the seams of a job did, for the log and the tests.
    struct Counts {
        int seams = 0;    // inputs that followed another
        int bridged = 0;  // seams whose first frames read the source's own bytes
        int muted = 0;    // frames muted after seams
    };

    // A new input follows: its frames read before it are handed to AddReservoir(), then
    // its first frame to Take().
    void StartInput();
    // Main data of a frame the input holds before its first written frame.
    void AddReservoir(const AVPacket& frame);
    // Takes the next frame to be written (output time base, ready to be muxed) and gives
    // in `ready` the frame to write now, if any. 0 or an FFmpeg error.
    int Take(AVPacket& frame, ff::PacketPtr& ready);
    // The frame still held; null when none is.
    ff::PacketPtr Flush() { return std::move(held_); }
    const Counts& counts() const { return counts_; }

  private:
    // Decides on the first frame after a seam: bridges it or starts muting.
    void OpenSeam(const AVPacket& frame);
    // Rewrites the held frame with `bytes` at its end; false when they do not fit.
    bool Bridge(const std::vector<std::uint8_t>& bytes);

    ff::PacketPtr held_;
    std::vector<std::uint8_t> reservoir_;
    bool seamPending_ = false;
    // After a seam: payload bytes written since it, and how many bytes right before it
    // are the source's own; -1 when no seam is being watched.
    std::int64_t sinceSeam_ = -1;
    std::int64_t validBefore_ = 0;
    Counts counts_;
};

}  // namespace tolvane
