#pragma once
// Formats that cannot say where their audio starts or ends: the cut keeps the packets
// that hold the stretch, plus what the decoder needs to output the stretch's first and
// last samples at all.

#include "engine/cut/CutEdges.h"

namespace tolvane {

class FrameCutEdges final : public CutEdges {
  public:
    FrameCutEdges(const CutSpan& span, const AVCodecParameters& source);
    std::int64_t Lead() const override { return lead_; }
    std::int64_t Tail() const override { return tail_; }
    bool CanEnd() const override { return packetsTaken_ >= minimumPackets_; }

  private:
    std::int64_t lead_ = 0;
    std::int64_t tail_ = 0;
    int minimumPackets_ = 1;
};

}  // namespace tolvane
