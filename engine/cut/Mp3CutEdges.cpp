#include "engine/cut/Mp3CutEdges.h"

#include <algorithm>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane {

namespace {

// Decoders drop the encoder delay plus their own delay of 529 samples; the delay field
// of the Info header has 12 bits.
constexpr int kDecoderDelay = 529;
constexpr int kMaxEncoderDelay = 4095;
constexpr int kMpeg1FrameSamples = 1152;

bool HasStartSkip(const AVPacket& packet) {
    std::size_t size = 0;
    const std::uint8_t* data = av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    return data != nullptr && size >= 4 && AV_RL32(data) > 0;
}

// Frames of a stream read before a frame to be sure of the main data it reads back:
// its reach (9 bits of side information at MPEG-1, 8 at MPEG-2 and 2.5) over the
// payload of the smallest frame (the lowest bit rate, with a CRC), and the frames up
// to two granules before the start.
int ReservoirFrames(const AVCodecParameters& source) {
    if (source.sample_rate <= 0)
        return 0;
    const bool mpeg1 = source.sample_rate >= 32000;
    const bool mono = source.ch_layout.nb_channels == 1;
    const int sideBytes = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const int lowestKbps = mpeg1 ? 32 : 8;
    const int bytesFactor = mpeg1 ? 144 : 72;  // frame bytes = factor * bit rate / rate
    const int smallest = bytesFactor * lowestKbps * 1000 / source.sample_rate;
    const int payload = smallest - 6 - sideBytes;
    const int reach = mpeg1 ? 511 : 255;
    return payload > 0 ? (reach + payload - 1) / payload + 3 : 0;
}

}  // namespace

Mp3CutEdges::Mp3CutEdges(const CutSpan& span, const AVCodecParameters& source)
    : CutEdges(span),
      frameSamples_(source.frame_size > 0 ? source.frame_size : kMpeg1FrameSamples),
      reservoirFrames_(ReservoirFrames(source)),
      cutsLead_(!span.fromFileStart && !span.afterAnother),
      holding_(cutsLead_) {}

std::int64_t Mp3CutEdges::Lead() const {
    return std::max(LeadAfterAnother(), ToTicks(std::int64_t{reservoirFrames_} * frameSamples_));
}

std::int64_t Mp3CutEdges::LeadAfterAnother() const {
    // As many frames as the delay field can drop: a frame's main data may start up to
    // 511 bytes back, and its first granule overlaps the frame before. Kept frames end
    // after start - Lead, so the first starts less than Lead + one frame before it.
    return ToTicks(kMaxEncoderDelay + kDecoderDelay - frameSamples_);
}

std::int64_t Mp3CutEdges::Origin() const {
    if (cutsLead_)
        return origin_;
    const std::int64_t origin = CutEdges::Origin();
    if (origin == AV_NOPTS_VALUE || firstFrame_.empty())
        return origin;
    return firstTimestamp_ - ToTicks(frameSamples_);
}

void Mp3CutEdges::Adjust(AVPacket& packet, bool first) {
    // The muxer writes the first packet's start skip less 529 as the encoder delay, and
    // the last packet's end skip plus 529 as the padding.
    // A source with an Info header is dropped from its start by its own delay; one
    // without gets a silent frame for the delay to drop. After another input the decoder
    // runs on: nothing goes before the first frame.
    if (first && span_.fromFileStart && !span_.afterAnother && !HasStartSkip(packet)) {
        firstFrame_ = SilentMp3Frame(packet.data, packet.size);
        if (!firstFrame_.empty()) {
            firstFrameSkip_ = static_cast<std::uint32_t>(frameSamples_);
            av_packet_shrink_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, 0);
        }
    }
    if (TrimDurationAtEnd(packet)) {
        const std::int64_t kept = ToSamples(packet.duration);
        SetSkipSamplesAtEnd(
            packet, static_cast<std::uint32_t>(std::max<std::int64_t>(0, frameSamples_ - kept)));
    }
    // The muxer takes the delay from a later packet's start skip as well while the delay
    // so far is 0, and 0 less 529 would wrap: later packets say 529 (a delay of 0). The
    // first packet of a cut after the file's start gets its own in PlanStart().
    const bool writtenFirst = first && !cutsLead_ && firstFrame_.empty();
    std::size_t size = 0;
    std::uint8_t* data = av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (data != nullptr && size >= 4 && !writtenFirst &&
        AV_RL32(data) < static_cast<std::uint32_t>(kDecoderDelay))
        AV_WL32(data, kDecoderDelay);
}

void Mp3CutEdges::PlanStart(AVPacket& start) {
    std::deque<ff::PacketPtr>& held = lead_.held();
    // MPEG-1 frames hold two granules, MPEG-2 and 2.5 frames one.
    const std::size_t reaching = frameSamples_ == kMpeg1FrameSamples ? 1 : 2;
    const std::size_t from = held.size() > reaching ? held.size() - reaching : 0;
    AVPacket& first = from < held.size() ? *held[from] : start;
    // A first frame after the start, or a gap in the times that no delay can drop,
    // takes the plain lead below.
    const std::int64_t skip = first.pts != AV_NOPTS_VALUE
                                  ? frameSamples_ + ToSamples(span_.start - first.pts)
                                  : std::int64_t{-1};
    std::vector<std::uint8_t> carrier;
    if (skip >= frameSamples_ && skip <= kMaxEncoderDelay + kDecoderDelay)
        carrier = lead_.CarrierBefore(from, start);
    if (!carrier.empty()) {
        held.erase(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(from));
        firstFrame_ = std::move(carrier);
        firstFrameSkip_ = static_cast<std::uint32_t>(skip);
        return;
    }
    // Without a carrier every held frame is written, as many as the delay can drop.
    AVPacket& oldest = held.empty() ? start : *held.front();
    const std::int64_t before = oldest.pts != AV_NOPTS_VALUE
                                    ? std::max<std::int64_t>(0, ToSamples(span_.start - oldest.pts))
                                    : 0;
    if (before < kDecoderDelay)
        firstFrame_ = SilentMp3Frame(oldest.data, oldest.size);
    if (!firstFrame_.empty())
        firstFrameSkip_ = static_cast<std::uint32_t>(frameSamples_ + before);
    else
        SetSkipSamplesAtStart(oldest,
                              static_cast<std::uint32_t>(std::clamp<std::int64_t>(
                                  before, kDecoderDelay, kMaxEncoderDelay + kDecoderDelay)));
}

int Mp3CutEdges::Emit(AVPacket& packet, CutPacketSink& sink) {
    if (span_.afterAnother && !span_.fromFileStart && packet.pts != AV_NOPTS_VALUE &&
        packet.pts < span_.start) {
        sink.ReadBefore(packet);  // main data for the seam, not played
        return 0;
    }
    if (holding_) {
        if (packet.pts != AV_NOPTS_VALUE && packet.duration > 0 &&
            packet.pts + packet.duration <= span_.start) {
            // Written only without a carrier: the frames the delay can drop.
            return lead_.Add(packet,
                             packet.pts + packet.duration > span_.start - LeadAfterAnother());
        }
        holding_ = false;
        PlanStart(packet);
        for (ff::PacketPtr& frame : lead_.held()) {
            if (const int ret = Write(*frame, sink); ret < 0)
                return ret;
        }
        lead_.held().clear();
    }
    return Write(packet, sink);
}

int Mp3CutEdges::Write(AVPacket& packet, CutPacketSink& sink) {
    if (!emitted_) {
        emitted_ = true;
        const std::int64_t ticks = firstFrame_.empty() ? 0 : ToTicks(frameSamples_);
        origin_ = packet.pts != AV_NOPTS_VALUE ? packet.pts - ticks : AV_NOPTS_VALUE;
        if (!firstFrame_.empty()) {
            ff::PacketPtr frame(av_packet_alloc());
            if (!frame || av_new_packet(frame.get(), static_cast<int>(firstFrame_.size())) < 0)
                return AVERROR(ENOMEM);
            std::copy(firstFrame_.begin(), firstFrame_.end(), frame->data);
            frame->pts = frame->dts = origin_;
            frame->duration = ticks;
            frame->stream_index = packet.stream_index;
            frame->flags = packet.flags;
            SetSkipSamplesAtStart(*frame, firstFrameSkip_);
            if (!sink.Write(*frame))
                return kSinkStopped;
        }
    }
    return CutEdges::Emit(packet, sink);
}

}  // namespace tolvane
