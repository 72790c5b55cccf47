#pragma once
// Opus in Ogg: 80 ms before the start are copied for the decoder to converge, the
// header's pre-skip drops them, and the last packet's shortened duration gives the
// final page the granule position that ends the stream at the end.

#include "engine/cut/CutEdges.h"

namespace tolvane {

class OpusCutEdges final : public CutEdges {
  public:
    using CutEdges::CutEdges;
    std::int64_t Lead() const override;
    void PrepareOutput(AVCodecParameters& par) const override;
    std::int64_t Origin() const override;

  private:
    void Adjust(AVPacket& packet, bool first) override;
};

}  // namespace tolvane
