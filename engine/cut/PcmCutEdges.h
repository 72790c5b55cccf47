#pragma once
// Raw PCM: any packet can be split between two sample frames, so a cut keeps exactly the
// samples of its stretch.

#include "engine/cut/CutEdges.h"

namespace tolvane {

class PcmCutEdges final : public CutEdges {
  public:
    PcmCutEdges(const CutSpan& span, const AVCodecParameters& source);
    bool TrimsToSample() const override { return true; }
    // Bytes per sample frame when every packet of the stream is plain interleaved PCM;
    // 0 for anything else.
    static int FrameBytes(const AVCodecParameters& par);
    // Worked out from the packet's size where it carries no duration.
    std::int64_t PacketDuration(const AVPacket& packet) const override;

  private:
    bool Fit(AVPacket& packet, std::int64_t duration) override;

    int frameBytes_;
};

}  // namespace tolvane
