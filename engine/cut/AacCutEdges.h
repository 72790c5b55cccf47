#pragma once
// AAC in MP4: frames before the start are copied for the decoder's overlap, and the
// output's timeline puts zero at the start, so the muxer's edit list makes decoders
// drop what lies before it; the last frame's duration ends the edit at the end.

#include "engine/cut/CutEdges.h"

namespace tolvane {

class AacCutEdges final : public CutEdges {
  public:
    using CutEdges::CutEdges;
    std::int64_t Lead() const override;
    std::int64_t Origin() const override;
    bool CanEnd() const override;

  private:
    void Adjust(AVPacket& packet, bool first) override;
};

}  // namespace tolvane
