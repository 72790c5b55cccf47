#pragma once
// The packets of an MPEG audio stream, read straight from large blocks of the file once
// SeekToMpegAudioFrame has placed the demuxer: the same bytes, timestamps, duration,
// flags and position the demuxer gives, without its small reads, its parser and a copy
// of every frame. Near the stream's end, where the demuxer marks the encoder's padding,
// and at anything but back-to-back frames of the stream, the demuxer takes over again.

#include <cstdint>
#include <memory>

#include "engine/cut/FileBlock.h"
#include "engine/cut/MpegAudioFrames.h"

namespace tolvane {

class MpegAudioPackets {
  public:
    MpegAudioPackets(AVFormatContext& input, const MpegAudioLanding& landing);
    ~MpegAudioPackets();
    MpegAudioPackets(const MpegAudioPackets&) = delete;
    MpegAudioPackets& operator=(const MpegAudioPackets&) = delete;

    // As av_read_frame.
    int Read(AVPacket& packet);
    // Puts the demuxer at the frame the next Read would give, for a caller that reads on
    // with the demuxer; false when it cannot be put there.
    bool ReturnToDemuxer();

  private:
    // Hands reading back to the demuxer at the next frame.
    int HandOver(AVPacket& packet);

    AVFormatContext& input_;
    MpegAudioLanding next_;  // the frame the next packet holds
    const MpegAudioFrameLengths lengths_;
    FileBlock block_;
    // The demuxer takes over for frames that end past these.
    std::int64_t lastByte_ = 0;
    std::int64_t lastTimestamp_ = 0;
    bool handedOver_ = false;
    int handOverError_ = 0;
};

}  // namespace tolvane
