#include "engine/cut/OpusCutEdges.h"

#include <algorithm>

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace tolvane {

namespace {

// The pre-roll the format's authors recommend, at Opus's 48 kHz.
constexpr int kLeadSamples = 3840;
// OpusHead: "OpusHead", version, channels, then the 16-bit pre-skip.
constexpr int kPreSkipOffset = 10;
constexpr int kMaxPreSkip = 0xFFFF;

}  // namespace

std::int64_t OpusCutEdges::Lead() const {
    return ToTicks(kLeadSamples);
}

void OpusCutEdges::PrepareOutput(AVCodecParameters& par) const {
    if (span_.fromFileStart || par.extradata == nullptr || par.extradata_size < kPreSkipOffset + 2)
        return;
    const auto preSkip =
        static_cast<unsigned>(std::clamp<std::int64_t>(SamplesBeforeStart(), 0, kMaxPreSkip));
    AV_WL16(par.extradata + kPreSkipOffset, preSkip);
    par.initial_padding = 0;  // see Origin()
}

std::int64_t OpusCutEdges::Origin() const {
    // Past the file's start the output's times start at its first packet, even one of
    // the source's own pre-skip (before zero): the granule positions the muxer derives
    // from them then count the new pre-skip.
    return span_.fromFileStart ? CutEdges::Origin() : firstTimestamp_;
}

void OpusCutEdges::Adjust(AVPacket& packet, bool first) {
    (void)first;
    TrimDurationAtEnd(packet);
}

}  // namespace tolvane
