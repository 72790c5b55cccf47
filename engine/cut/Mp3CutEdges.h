#pragma once
// MP3: frames before the start are copied for the bit reservoir and the filterbank's
// overlap, and the Info header's encoder delay and padding tell decoders to drop what
// lies before the start and after the end.

#include "engine/cut/CutEdges.h"

namespace tolvane {

class Mp3CutEdges final : public CutEdges {
  public:
    Mp3CutEdges(const CutSpan& span, const AVCodecParameters& source);
    std::int64_t Lead() const override;

  private:
    void Adjust(AVPacket& packet, bool first) override;

    int frameSamples_;
};

}  // namespace tolvane
