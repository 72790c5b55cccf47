#include "engine/cut/SyncFramePackets.h"

#include <string_view>

#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane {

namespace {

constexpr int kBlockBytes = 1 << 20;
// Packets read to meet the stream's first.
constexpr int kPacketsToFirst = 8;
constexpr int kAc3BlockSamples = 256;
constexpr int kDtsBlockSamples = 32;

struct FirstPacket {
    std::int64_t pos = -1;
    std::int64_t timestamp = AV_NOPTS_VALUE;
    int size = 0;
    int flags = 0;
};

std::optional<FirstPacket> NextPacketOf(AVFormatContext& input, int stream) {
    ff::PacketPtr packet(av_packet_alloc());
    for (int i = 0; packet && i < kPacketsToFirst; ++i) {
        if (av_read_frame(&input, packet.get()) < 0)
            return std::nullopt;
        const FirstPacket first{packet->pos,
                                packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts,
                                packet->size, packet->flags};
        const bool ours = packet->stream_index == stream;
        av_packet_unref(packet.get());
        if (ours)
            return first;
    }
    return std::nullopt;
}

}  // namespace

SyncFramePackets::SyncFramePackets(AVFormatContext& input, int stream)
    : stream_(stream), block_(*input.pb, kBlockBytes) {}

SyncFramePackets::~SyncFramePackets() = default;

std::unique_ptr<SyncFramePackets> SyncFramePackets::ForStream(AVFormatContext& input, int stream,
                                                              std::int64_t time) {
    const std::string_view name = input.iformat->name;
    if ((name != "ac3" && name != "eac3" && name != "dts") || input.pb == nullptr ||
        !(input.pb->seekable & AVIO_SEEKABLE_NORMAL) || stream < 0 ||
        static_cast<unsigned>(stream) >= input.nb_streams)
        return nullptr;
    const AVStream& st = *input.streams[stream];
    const AVCodecParameters& par = *st.codecpar;
    SyncFrameKind kind = SyncFrameKind::Ac3;
    if (par.codec_id == AV_CODEC_ID_EAC3)
        kind = SyncFrameKind::Eac3;
    else if (par.codec_id == AV_CODEC_ID_DTS)
        kind = SyncFrameKind::Dts;
    else if (par.codec_id != AV_CODEC_ID_AC3)
        return nullptr;
    // Where the time base holds a frame's duration the demuxer's stamps are exact. The
    // demuxer may not tell the frame's samples: every frame is whole blocks of the codec.
    const std::int64_t samples = par.frame_size > 0           ? par.frame_size
                                 : kind == SyncFrameKind::Dts ? kDtsBlockSamples
                                                              : kAc3BlockSamples;
    if (par.sample_rate <= 0 || st.time_base.num <= 0 ||
        samples * st.time_base.den % (std::int64_t{par.sample_rate} * st.time_base.num) == 0)
        return nullptr;
    const std::optional<FirstPacket> first = NextPacketOf(input, stream);
    if (!first || first->pos < 0 || first->timestamp == AV_NOPTS_VALUE)
        return nullptr;
    std::unique_ptr<SyncFramePackets> packets(new SyncFramePackets(input, stream));
    packets->sampleRate_ = par.sample_rate;
    packets->kind_ = kind;
    packets->timeBase_ = st.time_base;
    packets->firstTimestamp_ = first->timestamp;
    packets->flags_ = first->flags;
    packets->nextPos_ = first->pos;
    // The walk has to agree with the demuxer on the first packet.
    const std::optional<Span> span = packets->PacketAt(first->pos);
    if (span && span->bytes == first->size && packets->WalkTo(time))
        return packets;
    packets.reset();
    av_seek_frame(&input, stream, first->timestamp, AVSEEK_FLAG_BACKWARD);
    return nullptr;
}

std::optional<SyncFramePackets::Span> SyncFramePackets::PacketAt(std::int64_t pos) {
    if (!block_.Hold(pos, kSyncFrameHeaderBytes))
        return std::nullopt;
    const std::optional<SyncFrameHeader> header = ParseSyncFrameHeader(block_.At(pos));
    if (!header || header->dependent || header->substream != 0 || header->kind != kind_ ||
        header->sampleRate != sampleRate_)
        return std::nullopt;
    Span span{header->bytes, header->samples};
    // The frame with the next header, when the file has one.
    if (!block_.Hold(pos, span.bytes + kSyncFrameHeaderBytes))
        return block_.Hold(pos, span.bytes) ? std::optional(span) : std::nullopt;
    for (;;) {
        const std::optional<SyncFrameHeader> next =
            ParseSyncFrameHeader(block_.At(pos + span.bytes));
        if (!next || !next->dependent)
            break;
        if (!block_.Hold(pos, span.bytes + next->bytes))
            return std::nullopt;
        span.bytes += next->bytes;
        if (!block_.Hold(pos, span.bytes + kSyncFrameHeaderBytes))
            break;
    }
    return block_.Hold(pos, span.bytes) ? std::optional(span) : std::nullopt;
}

std::optional<SyncFramePackets::Span> SyncFramePackets::Current() {
    if (std::optional<Span> span = PacketAt(nextPos_))
        return span;
    // A frame is taken where another follows it, or the file ends after it, so that two
    // bytes of sync in damaged data are not taken for one.
    for (std::int64_t pos = nextPos_ + 1; block_.Hold(pos, kSyncFrameHeaderBytes); ++pos) {
        const std::optional<Span> span = PacketAt(pos);
        if (span && (PacketAt(pos + span->bytes) || !block_.Hold(pos + span->bytes, 1))) {
            nextPos_ = pos;
            return PacketAt(pos);
        }
    }
    return std::nullopt;
}

bool SyncFramePackets::WalkTo(std::int64_t time) {
    for (;;) {
        const std::optional<Span> span = Current();
        if (!span)
            return false;
        if (TimestampOf(nextSample_ + span->samples) > time)
            return true;
        nextPos_ += span->bytes;
        nextSample_ += span->samples;
    }
}

std::int64_t SyncFramePackets::TimestampOf(std::int64_t sample) const {
    return firstTimestamp_ +
           av_rescale_q_rnd(sample, AVRational{1, sampleRate_}, timeBase_, AV_ROUND_NEAR_INF);
}

int SyncFramePackets::Read(AVPacket& packet) {
    const std::optional<Span> span = Current();
    if (!span)
        return AVERROR_EOF;
    if (const int ret = block_.Lend(nextPos_, span->bytes, packet); ret < 0)
        return ret;
    packet.pts = packet.dts = TimestampOf(nextSample_);
    packet.duration = TimestampOf(nextSample_ + span->samples) - packet.pts;
    packet.pos = nextPos_;
    packet.flags = flags_;
    packet.stream_index = stream_;
    nextPos_ += span->bytes;
    nextSample_ += span->samples;
    return 0;
}

}  // namespace tolvane
