#pragma once
// MP3: frames before the start are copied for the bit reservoir and the filterbank's
// overlap, and the Info header's encoder delay and padding tell decoders to drop what
// lies before the start and after the end.
//
// A cut after the file's start writes a carrier frame, then the frames from two
// granules before the one that holds the start: nothing earlier reaches the start's
// samples but the main data those frames read from before themselves (up to 511
// bytes), which the carrier holds. It decodes to silence, so a player that ignores the
// Info header hears at most one frame of audio before the start, never a garbled one.
// Where the carrier cannot be made (a free-format stream, main data that was not read),
// the frames that the Info header's delay can drop are copied instead.
//
// The delay drops at least the decoder's own 529 samples. Where fewer lie between the
// first frame and the start (a source without an Info header cut from its start, or
// near it), a silent frame goes first, and the delay drops it as well.

#include <cstdint>
#include <vector>

#include "engine/cut/CutEdges.h"
#include "engine/cut/Mp3FrameLayout.h"
#include "engine/cut/Mp3LeadFrames.h"

namespace tolvane {

class Mp3CutEdges final : public CutEdges {
  public:
    Mp3CutEdges(const CutSpan& span, const AVCodecParameters& source);
    std::int64_t Lead() const override;
    // After another input the frames before the start are read for their main data
    // only (the sink's ReadBefore()): the seam (engine/copy/Mp3Seam.h) puts what the
    // first frame reads of it before that frame.
    std::int64_t LeadAfterAnother() const override;
    int Emit(AVPacket& packet, CutPacketSink& sink) override;
    std::int64_t Origin() const override;

  private:
    void Adjust(AVPacket& packet, bool first) override;
    // Decides, on the frame that holds the start, which held frames are written and
    // what goes before them.
    void PlanStart(AVPacket& start);
    // Writes a frame, with the frame that goes before the first one.
    int Write(AVPacket& packet, CutPacketSink& sink);

    const int frameSamples_;
    // Frames read before the start so that the main data of the smallest frames of the
    // stream is at hand.
    int reservoirFrames_ = 0;
    // A cut after the file's start holds the frames before the start until it knows
    // which to write.
    const bool cutsLead_;
    bool holding_;
    Mp3LeadFrames lead_;
    // The frame that goes before the first packet (silent, or the carrier); empty when
    // none does.
    std::vector<std::uint8_t> firstFrame_;
    std::uint32_t firstFrameSkip_ = 0;
    std::int64_t origin_ = AV_NOPTS_VALUE;
    bool emitted_ = false;
};

}  // namespace tolvane
