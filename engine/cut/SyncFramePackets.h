#pragma once
// The packets of a raw AC-3, E-AC-3 or DTS file timed by counting its frames: read
// straight from large blocks of the file, the same bytes the demuxer gives, but each
// stamped with the time of its first sample rather than the demuxer's sum of
// rounded-down frame durations (see SyncFrames.h). Bytes between frames that start no
// frame of the stream are skipped, as the demuxer's parser skips them; a frame cut off
// by the file's end is left out.

#include <cstdint>
#include <memory>
#include <optional>

#include "engine/cut/FileBlock.h"
#include "engine/cut/SyncFrames.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace tolvane {

class SyncFramePackets {
  public:
    // For `stream` of `input` when it is the stream of a raw AC-3, E-AC-3 or DTS file
    // whose time base cannot hold a frame's duration, counted from the file's first
    // packet: the next packet read is the one that holds `time` (the stream's time
    // base), or the first one when `time` lies before it. Null otherwise, the demuxer
    // where it was.
    static std::unique_ptr<SyncFramePackets> ForStream(AVFormatContext& input, int stream,
                                                       std::int64_t time);
    ~SyncFramePackets();
    SyncFramePackets(const SyncFramePackets&) = delete;
    SyncFramePackets& operator=(const SyncFramePackets&) = delete;

    // As av_read_frame.
    int Read(AVPacket& packet);

  private:
    SyncFramePackets(AVFormatContext& input, int stream);
    struct Span {
        int bytes = 0;    // the frame and the dependent frames after it
        int samples = 0;  // per channel
    };
    // The packet whose first frame starts at `pos`; the block holds it. Nothing where no
    // frame of the stream starts.
    std::optional<Span> PacketAt(std::int64_t pos);
    // The packet at nextPos_, after moving nextPos_ over bytes that start no frame of
    // the stream; nothing at the end of the data.
    std::optional<Span> Current();
    // Moves on to the packet that holds `time`; false when the data ends before.
    bool WalkTo(std::int64_t time);
    std::int64_t TimestampOf(std::int64_t sample) const;

    const int stream_;
    FileBlock block_;
    int sampleRate_ = 0;
    SyncFrameKind kind_ = SyncFrameKind::Ac3;
    AVRational timeBase_{1, 1};
    std::int64_t firstTimestamp_ = 0;
    int flags_ = 0;
    // The packet read next, and the stream's sample it starts at.
    std::int64_t nextPos_ = 0;
    std::int64_t nextSample_ = 0;
};

}  // namespace tolvane
