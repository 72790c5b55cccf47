#pragma once
// The frames of a native FLAC file, read straight from large blocks of the file once the
// demuxer has handed over its first packet: the same bytes, timestamps and durations its
// parser gives, without the parser's search through every byte and its copy of every
// frame. A frame ends where the next frame of the stream begins: a header with the sync
// code, the stream's blocking strategy, rate, channel and sample size codes, a good CRC-8
// and the next number in sequence. Where that header is not found (the last frame, a
// damaged stretch, frames larger than a block) the demuxer takes over again.

#include <cstdint>
#include <memory>
#include <optional>

#include "engine/cut/FileBlock.h"
#include "engine/cut/FlacFrameHeader.h"

namespace tolvane {

class FlacFramePackets {
  public:
    // For `stream` of `input`; null unless it is the stream of a native FLAC file that
    // can be read at any byte. The demuxer must be placed where reading is to start.
    static std::unique_ptr<FlacFramePackets> ForStream(AVFormatContext& input, int stream);
    ~FlacFramePackets();
    FlacFramePackets(const FlacFramePackets&) = delete;
    FlacFramePackets& operator=(const FlacFramePackets&) = delete;

    // As av_read_frame.
    int Read(AVPacket& packet);
    // Frames handed out from the file's blocks rather than by the demuxer.
    std::int64_t framesFromBlocks() const { return framesFromBlocks_; }

  private:
    FlacFramePackets(AVFormatContext& input, int stream);
    enum class Source { Demuxer, Blocks, HandedOver };

    // Finds the demuxer's `packet` in the file; reading goes on from the frame after it.
    bool TakeOver(const AVPacket& packet);
    struct Frame {
        int bytes = 0;  // 0: its end is not in the block
        FlacFrameHeader header;
        std::uint64_t following = 0;  // the number of the frame after it
    };
    // The frame at nextPos_, ended where the next frame's header starts in the block.
    Frame FindFrame() const;
    // The header at `at` (the block holds its longest size) when it is a header of the
    // stream that carries `number`.
    std::optional<FlacFrameHeader> HeaderNumbered(const std::uint8_t* at,
                                                  std::uint64_t number) const;
    // Hands reading back to the demuxer at the next frame.
    int HandOver(AVPacket& packet);

    AVFormatContext& input_;
    const int stream_;
    Source source_ = Source::Demuxer;
    FileBlock block_;
    // The frame the next packet holds.
    std::int64_t nextPos_ = 0;
    std::int64_t nextTimestamp_ = 0;
    std::uint64_t nextNumber_ = 0;
    // Of the stream's headers: the second byte (sync and strategy), the rate code, and
    // the channel count and sample size code, which stay the same in every frame.
    std::uint8_t strategyByte_ = 0;
    std::uint8_t rateCode_ = 0;
    std::uint8_t channelsAndDepth_ = 0;
    std::int64_t framesFromBlocks_ = 0;
};

}  // namespace tolvane
