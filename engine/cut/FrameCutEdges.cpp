#include "engine/cut/FrameCutEdges.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace tolvane {

namespace {

// The longer of a Vorbis stream's two block sizes, from its identification header;
// 0 when it cannot be read.
int VorbisLongBlock(const AVCodecParameters& par) {
    if (par.extradata == nullptr || par.extradata_size < 30)
        return 0;
    const std::string_view data(reinterpret_cast<const char*>(par.extradata),
                                static_cast<std::size_t>(par.extradata_size));
    const std::size_t at = data.find("\x01vorbis");
    if (at == std::string_view::npos || at + 29 > data.size())
        return 0;
    const int exponent = (static_cast<unsigned char>(data[at + 28]) >> 4) & 0x0F;
    return exponent >= 6 && exponent <= 13 ? 1 << exponent : 0;
}

// What FFmpeg's raw DTS probe passes over, and the frames it wants after that.
constexpr std::int64_t kDtsProbeSkipBytes = 4096;
constexpr int kDtsProbeFrames = 4;

// Held back at the end of a Vorbis stream: more than a final granule position trims.
constexpr int kHeldSamples = 16384;

// Samples of a WMA (version 1 or 2) frame at `rate`.
int WmaFrameSamples(int rate) {
    if (rate <= 16000)
        return 512;
    return rate <= 22050 ? 1024 : 2048;
}

}  // namespace

FrameCutEdges::FrameCutEdges(const CutSpan& span, const AVCodecParameters& source,
                             bool endByDuration)
    : CutEdges(span), endByDuration_(endByDuration && span.sampleRate > 0) {
    if (span.sampleRate <= 0)
        return;
    // A Vorbis decoder gives nothing for the first packet it reads (it only primes the
    // overlap): the packet before the start's is copied for that.
    if (source.codec_id == AV_CODEC_ID_VORBIS) {
        const int block = VorbisLongBlock(source);
        lead_ = ToTicks(block > 0 ? block / 2 : 1024);
    }
    // A WMA decoder's output lags its packets' times by most of a frame: the packet
    // after the end's is copied to play the end at all.
    if (source.codec_id == AV_CODEC_ID_WMAV1 || source.codec_id == AV_CODEC_ID_WMAV2)
        tail_ = ToTicks(WmaFrameSamples(span.sampleRate));
    // A file of raw MPEG audio is only recognised by two frames in a row.
    if (source.codec_id == AV_CODEC_ID_MP1 || source.codec_id == AV_CODEC_ID_MP2 ||
        source.codec_id == AV_CODEC_ID_MP3)
        minimumPackets_ = 2;
    // Nor is raw AC-3 by FFmpeg's content probe with fewer than four frames: the
    // frames after the end make up the rest.
    if (source.codec_id == AV_CODEC_ID_AC3 || source.codec_id == AV_CODEC_ID_EAC3)
        minimumPackets_ = 4;
    if (source.codec_id == AV_CODEC_ID_DTS)
        minimumFramesAfterSkip_ = kDtsProbeFrames;
}

void FrameCutEdges::Adjust(AVPacket& packet, bool first) {
    if (first)
        firstDuration_ = std::max<std::int64_t>(packet.duration, 0);
    if (bytesTaken_ >= kDtsProbeSkipBytes)
        ++framesAfterProbeSkip_;
    bytesTaken_ += packet.size;
    // From the file's start the decoders count the granules from the source's own
    // first packet: whole packets are kept there, except in a link of a chained file,
    // whose end the next link must follow at the sample.
    if (endByDuration_ && (!span_.fromFileStart || span_.ownLink))
        TrimDurationAtEnd(packet);
}

std::int64_t FrameCutEdges::Origin() const {
    // A Vorbis decoder plays nothing of a stream's first packet: a link of a chained
    // file counts its granule positions from that packet's end, as its readers do.
    if (endByDuration_ && span_.ownLink && firstTimestamp_ != AV_NOPTS_VALUE)
        return firstTimestamp_ + firstDuration_;
    return CutEdges::Origin();
}

int FrameCutEdges::Emit(AVPacket& packet, CutPacketSink& sink) {
    if (!endByDuration_)
        return CutEdges::Emit(packet, sink);
    // The demuxer gives the source's last packet a wrapped duration when the source's
    // final granule ends the audio before that packet starts: its true value is
    // negative, and the end lies in a packet before.
    const std::int64_t wrapped = packet.duration;
    if (wrapped > INT32_MAX && wrapped <= UINT32_MAX && packet.pts != AV_NOPTS_VALUE) {
        const std::int64_t end = packet.pts + static_cast<std::int32_t>(wrapped);
        while (held_.size() > 1 && held_.back()->pts >= end)
            held_.pop_back();  // nothing of it is played
        if (held_.empty())
            return 0;
        AVPacket& last = *held_.back();
        if (end > last.pts && end < last.pts + last.duration)
            last.duration = end - last.pts;
        return 0;
    }
    ff::PacketPtr copy(av_packet_alloc());
    if (!copy)
        return AVERROR(ENOMEM);
    if (const int ret = av_packet_ref(copy.get(), &packet); ret < 0)
        return ret;
    held_.push_back(std::move(copy));
    // The final granule trims less than two long blocks.
    return WriteHeld(sink, ToTicks(kHeldSamples));
}

int FrameCutEdges::WriteHeld(CutPacketSink& sink, std::int64_t keep) {
    std::int64_t covered = 0;
    for (const ff::PacketPtr& p : held_)
        covered += std::max<std::int64_t>(p->duration, 0);
    while (!held_.empty() && covered - std::max<std::int64_t>(held_.front()->duration, 0) >= keep) {
        covered -= std::max<std::int64_t>(held_.front()->duration, 0);
        if (!sink.Write(*held_.front()))
            return kSinkStopped;
        held_.pop_front();
    }
    return 0;
}

int FrameCutEdges::Finish(CutPacketSink& sink, AVCodecParameters& par) {
    (void)par;
    return WriteHeld(sink, 0);
}

}  // namespace tolvane
