#include "engine/cut/AacCutEdges.h"

namespace tolvane {

namespace {

// Two frames: the frame before the start's frame overlaps it, and the one before that
// settles the decoder's window shape.
constexpr int kLeadSamples = 2048;

}  // namespace

std::int64_t AacCutEdges::Lead() const {
    return ToTicks(kLeadSamples);
}

std::int64_t AacCutEdges::Origin() const {
    if (span_.fromFileStart || firstTimestamp_ == AV_NOPTS_VALUE)
        return CutEdges::Origin();
    // The frames before the start get negative times: the muxer writes an edit list
    // that begins at the start.
    return span_.start;
}

bool AacCutEdges::CanEnd() const {
    // FFmpeg's MP4 reader drops every frame when the last one holds the start of the
    // edit: a stretch inside one frame gets the next frame as well.
    return span_.fromFileStart || lastTimestamp_ > span_.start;
}

void AacCutEdges::Adjust(AVPacket& packet, bool first) {
    (void)first;
    TrimDurationAtEnd(packet);
}

}  // namespace tolvane
