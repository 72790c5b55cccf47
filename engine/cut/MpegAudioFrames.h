#pragma once
// MPEG audio frames (layers I to III of MPEG-1, 2 and 2.5) found by walking their
// headers: a stream of such frames has no index, and the demuxer finds a time in it by
// reading every packet from the start. Reading only the four header bytes of each frame
// is many times cheaper, and counting the frames gives the exact timestamp.

#include <array>
#include <cstdint>
#include <optional>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tolvane {

struct MpegAudioHeader {
    int bytes = 0;    // the whole frame, header included
    int samples = 0;  // per channel
    int sampleRate = 0;
};

// Bits every frame of one stream shares: sync, version, layer and sample rate (what the
// demuxer's parser takes as one stream).
inline constexpr std::uint32_t kMpegAudioStreamBits =
    0xFFE00000u | (3u << 19) | (3u << 17) | (3u << 10);

// The header in a frame's first four bytes (big-endian). Nothing when they are no header,
// or the header of a free-format frame, whose length only the next header would tell.
std::optional<MpegAudioHeader> ParseMpegAudioHeader(std::uint32_t word);

// The frame lengths of one stream by a header's bit-rate index and padding bit: what a
// walk over many frames asks of each header.
class MpegAudioFrameLengths {
  public:
    // `streamWord`: a header of the stream.
    explicit MpegAudioFrameLengths(std::uint32_t streamWord);
    // The length of the frame whose header is `word`; 0 when it is no header of the stream.
    int Of(std::uint32_t word) const {
        return (word & kMpegAudioStreamBits) == streamBits_
                   ? lengths_[((word >> 11) & 0x1E) | ((word >> 9) & 1)]
                   : 0;
    }

  private:
    std::uint32_t streamBits_;
    std::array<int, 32> lengths_{};
};

struct MpegAudioFrame {
    std::int64_t pos = 0;  // byte offset of the frame's header
    int bytes = 0;
    bool nextHeaderFollows = false;  // a header of the same stream starts right after it
};

// Walks `count` frames from the frame at byte `pos` of `io` and returns the frame it
// arrives at. Nothing when the walk meets anything but back-to-back frames of one stream
// (lost sync, a changed layer or rate, a free-format frame) or the end of the data first.
// Moves the reading position of `io`.
std::optional<MpegAudioFrame> WalkMpegAudioFrames(AVIOContext& io, std::int64_t pos,
                                                  std::int64_t count);

// Where the demuxer was put: the next packet of `stream` is the frame at `pos`.
struct MpegAudioLanding {
    int stream = 0;
    std::int64_t pos = 0;
    std::int64_t timestamp = 0;    // the stream's time base
    std::int64_t frameTicks = 0;   // every frame's duration
    std::uint32_t streamWord = 0;  // a header of the stream (kMpegAudioStreamBits)
    int flags = 0;                 // of the demuxer's packets
};

// Positions `input` (the MPEG audio demuxer) so that the next packet of `stream` is the
// frame that holds `time` (the stream's time base) with the demuxer's own timestamp, by
// walking the frames from the first packet. Nothing, leaving the position to the
// caller's time seek, when the walk cannot tell the frame for sure.
std::optional<MpegAudioLanding> SeekToMpegAudioFrame(AVFormatContext& input, int stream,
                                                     std::int64_t time);

// For reading from the stream's start: puts the demuxer back at the first frame, which
// it gives with the encoder delay it read from the stream's header, and returns the
// second frame, from which the frames can be read straight from the file. Nothing, with
// the demuxer's position undefined, when the walk cannot tell the frames for sure.
std::optional<MpegAudioLanding> SeekPastFirstMpegAudioFrame(AVFormatContext& input, int stream);

// Puts the demuxer at the frame at `pos` with `timestamp`, which the caller has walked
// to: the demuxer's seek goes through its index, so with the frame listed (and the next
// one when `nextFollows`, so it is not the last entry) it lands there and counts on from
// that timestamp. `bytes` is the frame's length, 0 when unknown. False when the next
// packet is not that frame.
bool LandAtMpegAudioFrame(AVFormatContext& input, MpegAudioLanding& landing, int bytes,
                          bool nextFollows);

}  // namespace tolvane
