#pragma once
// MP3: frames before the start are copied for the bit reservoir and the filterbank's
// overlap, and the Info header's encoder delay and padding tell decoders to drop what
// lies before the start and after the end.
//
// The delay drops at least the decoder's own 529 samples. Where fewer lie between the
// first frame and the start (a source without an Info header cut from its start, or
// near it), a silent frame goes first, and the delay drops it as well.

#include <cstdint>
#include <vector>

#include "engine/cut/CutEdges.h"

namespace tolvane {

class Mp3CutEdges final : public CutEdges {
  public:
    Mp3CutEdges(const CutSpan& span, const AVCodecParameters& source);
    std::int64_t Lead() const override;
    // After another input the frames before the start are read for their main data
    // only (the sink's ReadBefore()): the seam (engine/copy/Mp3Seam.h) puts what the
    // first frame reads of it before that frame.
    std::int64_t LeadAfterAnother() const override { return Lead(); }
    int Emit(AVPacket& packet, CutPacketSink& sink) override;
    std::int64_t Origin() const override;

  private:
    void Adjust(AVPacket& packet, bool first) override;

    int frameSamples_;
    // The silent frame that goes before the first packet; empty when none does.
    std::vector<std::uint8_t> silentFrame_;
    std::uint32_t silentFrameSkip_ = 0;
    bool emitted_ = false;
};

// A frame of the stream whose first frame is `frame` that decodes to silence and leaves
// nothing in the bit reservoir: the same header, all side information and main data
// zero (and a CRC that matches, in a stream with CRCs). Empty when `frame` is no
// layer III frame.
std::vector<std::uint8_t> SilentMp3Frame(const std::uint8_t* frame, int size);

// CRC-16 of MPEG audio (polynomial 0x8005, starting at 0xFFFF) over the header's last
// two bytes and the side information.
std::uint16_t MpegAudioFrameCrc(const std::uint8_t* header, const std::uint8_t* side,
                                int sideBytes);

}  // namespace tolvane
