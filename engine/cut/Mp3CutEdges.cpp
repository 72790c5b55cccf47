#include "engine/cut/Mp3CutEdges.h"

#include <algorithm>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "engine/cut/MpegAudioFrames.h"
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

}  // namespace

std::uint16_t MpegAudioFrameCrc(const std::uint8_t* header, const std::uint8_t* side,
                                int sideBytes) {
    std::uint16_t crc = 0xFFFF;
    auto add = [&crc](std::uint8_t byte) {
        crc ^= static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x8005)
                                 : static_cast<std::uint16_t>(crc << 1);
    };
    add(header[2]);
    add(header[3]);
    for (int i = 0; i < sideBytes; ++i)
        add(side[i]);
    return crc;
}

std::vector<std::uint8_t> SilentMp3Frame(const std::uint8_t* frame, int size) {
    if (frame == nullptr || size < 4)
        return {};
    const std::uint32_t word = AV_RB32(frame);
    const std::optional<MpegAudioHeader> header = ParseMpegAudioHeader(word);
    if (!header || ((word >> 17) & 3) != 1 || header->bytes > size)
        return {};
    const bool mpeg1 = ((word >> 19) & 3) == 3;
    const bool mono = ((word >> 6) & 3) == 3;
    const bool crc = ((word >> 16) & 1) == 0;
    const int sideBytes = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    std::vector<std::uint8_t> silent(static_cast<std::size_t>(header->bytes), 0);
    std::copy(frame, frame + 4, silent.begin());
    if (crc) {
        const std::uint16_t sum = MpegAudioFrameCrc(silent.data(), silent.data() + 6, sideBytes);
        silent[4] = static_cast<std::uint8_t>(sum >> 8);
        silent[5] = static_cast<std::uint8_t>(sum);
    }
    return silent;
}

Mp3CutEdges::Mp3CutEdges(const CutSpan& span, const AVCodecParameters& source)
    : CutEdges(span),
      frameSamples_(source.frame_size > 0 ? source.frame_size : kMpeg1FrameSamples) {}

std::int64_t Mp3CutEdges::Lead() const {
    // As many frames as the delay field can drop: a frame's main data may start up to
    // 511 bytes back, and its first granule overlaps the frame before. Kept frames end
    // after start - Lead, so the first starts less than Lead + one frame before it.
    return ToTicks(kMaxEncoderDelay + kDecoderDelay - frameSamples_);
}

std::int64_t Mp3CutEdges::Origin() const {
    const std::int64_t origin = CutEdges::Origin();
    if (origin == AV_NOPTS_VALUE || silentFrame_.empty())
        return origin;
    return firstTimestamp_ - ToTicks(frameSamples_);
}

void Mp3CutEdges::Adjust(AVPacket& packet, bool first) {
    // The muxer writes the first packet's start skip less 529 as the encoder delay, and
    // the last packet's end skip plus 529 as the padding.
    // After another input the decoder runs on: nothing goes before the first frame.
    if (first && !span_.afterAnother) {
        const std::int64_t before = SamplesBeforeStart();
        // A source with an Info header is dropped from its start by its own delay.
        const bool ownDelay = span_.fromFileStart && HasStartSkip(packet);
        if (!ownDelay && before < kDecoderDelay)
            silentFrame_ = SilentMp3Frame(packet.data, packet.size);
        if (!silentFrame_.empty()) {
            silentFrameSkip_ = static_cast<std::uint32_t>(frameSamples_ + before);
            av_packet_shrink_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, 0);
        } else if (!span_.fromFileStart) {
            SetSkipSamplesAtStart(packet,
                                  static_cast<std::uint32_t>(std::clamp<std::int64_t>(
                                      before, kDecoderDelay, kMaxEncoderDelay + kDecoderDelay)));
        }
    }
    if (TrimDurationAtEnd(packet)) {
        const std::int64_t kept = ToSamples(packet.duration);
        SetSkipSamplesAtEnd(
            packet, static_cast<std::uint32_t>(std::max<std::int64_t>(0, frameSamples_ - kept)));
    }
    // The muxer takes the delay from a later packet's start skip as well while the delay
    // so far is 0, and 0 less 529 would wrap: later packets say 529 (a delay of 0).
    std::size_t size = 0;
    std::uint8_t* data = av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (data != nullptr && size >= 4 && (!first || !silentFrame_.empty()) &&
        AV_RL32(data) < static_cast<std::uint32_t>(kDecoderDelay))
        AV_WL32(data, kDecoderDelay);
}

int Mp3CutEdges::Emit(AVPacket& packet, CutPacketSink& sink) {
    if (span_.afterAnother && !span_.fromFileStart && packet.pts != AV_NOPTS_VALUE &&
        packet.pts < span_.start) {
        sink.ReadBefore(packet);  // main data for the seam, not played
        return 0;
    }
    if (!emitted_ && !silentFrame_.empty()) {
        ff::PacketPtr silent(av_packet_alloc());
        if (!silent || av_new_packet(silent.get(), static_cast<int>(silentFrame_.size())) < 0)
            return AVERROR(ENOMEM);
        std::copy(silentFrame_.begin(), silentFrame_.end(), silent->data);
        const std::int64_t ticks = ToTicks(frameSamples_);
        silent->pts = silent->dts =
            packet.pts != AV_NOPTS_VALUE ? packet.pts - ticks : AV_NOPTS_VALUE;
        silent->duration = ticks;
        silent->stream_index = packet.stream_index;
        silent->flags = packet.flags;
        SetSkipSamplesAtStart(*silent, silentFrameSkip_);
        if (!sink.Write(*silent))
            return kSinkStopped;
    }
    emitted_ = true;
    return CutEdges::Emit(packet, sink);
}

}  // namespace tolvane
