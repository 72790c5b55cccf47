#include "engine/cut/Mp3CutEdges.h"

#include <algorithm>

namespace tolvane {

namespace {

// Decoders drop the encoder delay plus their own delay of 529 samples; the delay field
// of the Info header has 12 bits.
constexpr int kDecoderDelay = 529;
constexpr int kMaxEncoderDelay = 4095;
constexpr int kMpeg1FrameSamples = 1152;

}  // namespace

Mp3CutEdges::Mp3CutEdges(const CutSpan& span, const AVCodecParameters& source)
    : CutEdges(span),
      frameSamples_(source.frame_size > 0 ? source.frame_size : kMpeg1FrameSamples) {}

std::int64_t Mp3CutEdges::Lead() const {
    // As many frames as the delay field can drop: a frame's main data may start up to
    // 511 bytes back, and its first granule overlaps the frame before. Kept frames end
    // after start - Lead, so the first starts less than Lead + one frame before it.
    return ToTicks(kMaxEncoderDelay + kDecoderDelay - frameSamples_);
}

void Mp3CutEdges::Adjust(AVPacket& packet, bool first) {
    // The muxer writes the first packet's start skip less 529 as the encoder delay, and
    // the last packet's end skip plus 529 as the padding.
    if (first && !span_.fromFileStart) {
        SetSkipSamplesAtStart(
            packet, static_cast<std::uint32_t>(std::clamp<std::int64_t>(
                        SamplesBeforeStart(), kDecoderDelay, kMaxEncoderDelay + kDecoderDelay)));
    }
    if (TrimDurationAtEnd(packet)) {
        const std::int64_t kept = ToSamples(packet.duration);
        SetSkipSamplesAtEnd(
            packet, static_cast<std::uint32_t>(std::max<std::int64_t>(0, frameSamples_ - kept)));
    }
}

}  // namespace tolvane
