#include "engine/cut/PcmCutEdges.h"

#include <algorithm>

namespace tolvane {

namespace {

constexpr AVRounding kNearest = static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX);

std::int64_t Timestamp(const AVPacket& packet) {
    return packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
}

}  // namespace

PcmCutEdges::PcmCutEdges(const CutSpan& span, const AVCodecParameters& source)
    : CutEdges(span), frameBytes_(FrameBytes(source)) {}

int PcmCutEdges::FrameBytes(const AVCodecParameters& par) {
    const bool pcmRange =
        par.codec_id >= AV_CODEC_ID_PCM_S16LE && par.codec_id < AV_CODEC_ID_ADPCM_IMA_QT;
    const int bits = pcmRange ? av_get_exact_bits_per_sample(par.codec_id) : 0;
    if (bits <= 0 || bits % 8 != 0 || par.ch_layout.nb_channels <= 0)
        return 0;
    return bits / 8 * par.ch_layout.nb_channels;
}

std::int64_t PcmCutEdges::PacketDuration(const AVPacket& packet) const {
    if (packet.duration > 0 || frameBytes_ <= 0 || span_.sampleRate <= 0)
        return packet.duration;
    return av_rescale_q(packet.size / frameBytes_, AVRational{1, span_.sampleRate}, span_.timeBase);
}

bool PcmCutEdges::Fit(AVPacket& packet, std::int64_t duration) {
    const std::int64_t ts = Timestamp(packet);
    if (frameBytes_ <= 0 || span_.sampleRate <= 0 || duration <= 0 || ts == AV_NOPTS_VALUE ||
        (ts >= span_.start && ts + duration <= span_.end))
        return true;
    packet.duration = duration;
    const AVRational sample{1, span_.sampleRate};
    const std::int64_t frames = packet.size / frameBytes_;
    const std::int64_t head =
        ts < span_.start
            ? std::min(frames, av_rescale_q_rnd(span_.start - ts, span_.timeBase, sample, kNearest))
            : 0;
    std::int64_t keepTo = frames;
    if (!span_.toFileEnd && ts + packet.duration > span_.end)
        keepTo = std::clamp<std::int64_t>(
            av_rescale_q_rnd(span_.end - ts, span_.timeBase, sample, kNearest), 0, frames);
    const std::int64_t kept = std::max<std::int64_t>(0, keepTo - head);
    packet.data += head * frameBytes_;
    packet.size = static_cast<int>(kept * frameBytes_);
    const std::int64_t shifted = ts + av_rescale_q(head, sample, span_.timeBase);
    packet.pts = shifted;
    packet.dts = shifted;
    packet.duration = av_rescale_q(kept, sample, span_.timeBase);
    return packet.size > 0;
}

}  // namespace tolvane
