#include "engine/cut/CutEdges.h"

#include <algorithm>
#include <string_view>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "engine/cut/AacCutEdges.h"
#include "engine/cut/FlacCutEdges.h"
#include "engine/cut/FrameCutEdges.h"
#include "engine/cut/Mp3CutEdges.h"
#include "engine/cut/OpusCutEdges.h"
#include "engine/cut/PcmCutEdges.h"

namespace tolvane {

namespace {

constexpr int kSkipSamplesSize = 10;

bool NameHas(const AVOutputFormat* output, std::string_view name) {
    return output != nullptr && output->name != nullptr &&
           std::string_view(output->name).find(name) != std::string_view::npos;
}

std::int64_t Timestamp(const AVPacket& packet) {
    return packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
}

}  // namespace

bool CutEdges::Keep(AVPacket& packet, std::int64_t duration) {
    if (!Fit(packet, duration))
        return false;
    const bool first = firstTimestamp_ == AV_NOPTS_VALUE;
    if (first)
        firstTimestamp_ = Timestamp(packet);
    ++packetsTaken_;
    if (Timestamp(packet) != AV_NOPTS_VALUE)
        lastTimestamp_ = Timestamp(packet);
    KeepTrueSkipSamples(packet);
    Adjust(packet, first);
    return true;
}

int CutEdges::Emit(AVPacket& packet, CutPacketSink& sink) {
    return sink.Write(packet) ? 0 : kSinkStopped;
}

void CutEdges::KeepTrueSkipSamples(AVPacket& packet) const {
    std::size_t size = 0;
    std::uint8_t* data = av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (data == nullptr || size < kSkipSamplesSize)
        return;
    // The demuxer's skip-samples data tells where the source's own audio starts and
    // ends: right for the output only at the file's own start and end.
    const std::uint32_t start = span_.fromFileStart && !span_.afterAnother ? AV_RL32(data) : 0;
    const std::uint32_t end = span_.toFileEnd && !span_.beforeAnother ? AV_RL32(data + 4) : 0;
    if (start == 0 && end == 0) {
        av_packet_shrink_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, 0);
        return;
    }
    AV_WL32(data, start);
    AV_WL32(data + 4, end);
}

std::int64_t CutEdges::Origin() const {
    if (firstTimestamp_ == AV_NOPTS_VALUE)
        return AV_NOPTS_VALUE;
    // A stream that begins before zero (an encoder's priming) keeps its own times.
    return firstTimestamp_ > 0 ? firstTimestamp_ : 0;
}

std::int64_t CutEdges::ToSamples(std::int64_t ticks) const {
    return av_rescale_q(ticks, span_.timeBase, AVRational{1, span_.sampleRate});
}

std::int64_t CutEdges::ToTicks(std::int64_t samples) const {
    return av_rescale_q(samples, AVRational{1, span_.sampleRate}, span_.timeBase);
}

std::int64_t CutEdges::SamplesBeforeStart() const {
    if (span_.fromFileStart || firstTimestamp_ == AV_NOPTS_VALUE || firstTimestamp_ >= span_.start)
        return 0;
    return ToSamples(span_.start - firstTimestamp_);
}

bool CutEdges::TrimDurationAtEnd(AVPacket& packet) const {
    const std::int64_t ts = Timestamp(packet);
    // Before another input's audio a packet plays whole: only a stream's end trims.
    if (span_.toFileEnd || span_.beforeAnother || ts == AV_NOPTS_VALUE || packet.duration <= 0 ||
        ts + packet.duration <= span_.end || ts >= span_.end)
        return false;
    packet.duration = span_.end - ts;
    return true;
}

namespace {

// The packet's skip-samples data, made (all zero) when it has none; null without memory.
std::uint8_t* SkipSamplesData(AVPacket& packet) {
    std::size_t size = 0;
    std::uint8_t* data = av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (data != nullptr && size >= kSkipSamplesSize)
        return data;
    data = av_packet_new_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, kSkipSamplesSize);
    if (data != nullptr)
        std::fill(data, data + kSkipSamplesSize, 0);
    return data;
}

}  // namespace

void SetSkipSamplesAtStart(AVPacket& packet, std::uint32_t start) {
    if (std::uint8_t* data = SkipSamplesData(packet))
        AV_WL32(data, start);
}

void SetSkipSamplesAtEnd(AVPacket& packet, std::uint32_t end) {
    if (std::uint8_t* data = SkipSamplesData(packet))
        AV_WL32(data + 4, end);
}

std::unique_ptr<CutEdges> MakeCutEdges(const AVFormatContext& input, int stream,
                                       const AVOutputFormat* output, const CutSpan& span) {
    const AVCodecParameters& source = *input.streams[stream]->codecpar;
    if (PcmCutEdges::FrameBytes(source) > 0)
        return std::make_unique<PcmCutEdges>(span, source);
    if (std::unique_ptr<FlacCutEdges> flac = FlacCutEdges::ForStream(input, stream, span))
        return flac;
    if (span.sampleRate > 0) {
        if (source.codec_id == AV_CODEC_ID_MP3 && NameHas(output, "mp3"))
            return std::make_unique<Mp3CutEdges>(span, source);
        if (source.codec_id == AV_CODEC_ID_AAC &&
            (NameHas(output, "mp4") || NameHas(output, "mov") || NameHas(output, "ipod")))
            return std::make_unique<AacCutEdges>(span);
        if (source.codec_id == AV_CODEC_ID_OPUS &&
            (NameHas(output, "ogg") || NameHas(output, "opus")))
            return std::make_unique<OpusCutEdges>(span);
    }
    // The Ogg muxer writes the last packet's end as the final granule position, which
    // Vorbis decoders honour.
    const bool endByDuration =
        source.codec_id == AV_CODEC_ID_VORBIS && NameHas(output, "ogg") && !span.beforeAnother;
    return std::make_unique<FrameCutEdges>(span, source, endByDuration);
}

}  // namespace tolvane
