#include "engine/cut/MpegAudioFrames.h"

#include <cstring>
#include <vector>

#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane {

namespace {

// kbit/s by [low sampling frequency (MPEG-2 and 2.5)][layer - 1][bit-rate index].
constexpr int kBitRates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
constexpr int kSampleRates[3] = {44100, 48000, 32000};
constexpr int kHeaderBytes = 4;
// The headers are read from blocks this large: the frames in between are never copied
// anywhere else.
constexpr int kReadBlock = 256 * 1024;
// Packets read to meet the stream's first: attached pictures come before it.
constexpr int kPacketsToFirst = 8;

// The header bytes of the frames of one stream, read block by block.
class HeaderReader {
  public:
    explicit HeaderReader(AVIOContext& io) : io_(io), block_(kReadBlock) {}

    // The four bytes at `pos`; nothing at the end of the data or on a read failure.
    std::optional<std::uint32_t> WordAt(std::int64_t pos) {
        if (pos < start_ || pos + kHeaderBytes > start_ + filled_) {
            if (!Fill(pos))
                return std::nullopt;
        }
        const std::uint8_t* p = block_.data() + (pos - start_);
        return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
               (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
    }

  private:
    bool Fill(std::int64_t pos) {
        if (avio_seek(&io_, pos, SEEK_SET) != pos)
            return false;
        const int read = avio_read(&io_, block_.data(), kReadBlock);
        start_ = pos;
        filled_ = read > 0 ? read : 0;
        return filled_ >= kHeaderBytes;
    }

    AVIOContext& io_;
    std::vector<std::uint8_t> block_;
    std::int64_t start_ = 0;
    int filled_ = 0;
};

std::int64_t Timestamp(const AVPacket& packet) {
    return packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
}

// The next packet of `stream`: where it lies and its timestamp.
struct Landing {
    std::int64_t pos = -1;
    std::int64_t timestamp = AV_NOPTS_VALUE;
    int size = 0;
    int flags = 0;
};
std::optional<Landing> NextPacketOf(AVFormatContext& input, int stream) {
    ff::PacketPtr packet(av_packet_alloc());
    for (int i = 0; packet && i < kPacketsToFirst; ++i) {
        if (av_read_frame(&input, packet.get()) < 0)
            return std::nullopt;
        const Landing landing{packet->pos, Timestamp(*packet), packet->size, packet->flags};
        const bool ours = packet->stream_index == stream;
        av_packet_unref(packet.get());
        if (ours)
            return landing;
    }
    return std::nullopt;
}

}  // namespace

std::optional<MpegAudioHeader> ParseMpegAudioHeader(std::uint32_t word) {
    const unsigned version = (word >> 19) & 3;    // 0: MPEG-2.5, 1: reserved, 2: MPEG-2, 3: MPEG-1
    const unsigned layerBits = (word >> 17) & 3;  // 3: layer I, 2: layer II, 1: layer III
    const unsigned bitRateIndex = (word >> 12) & 15;
    const unsigned rateIndex = (word >> 10) & 3;
    if ((word & 0xFFE00000u) != 0xFFE00000u || version == 1 || layerBits == 0 ||
        bitRateIndex == 0 || bitRateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    const int layer = 4 - static_cast<int>(layerBits);
    const int lowRate = version == 3 ? 0 : 1;
    const int padding = static_cast<int>((word >> 9) & 1);
    MpegAudioHeader header;
    header.sampleRate = kSampleRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const int kbps = kBitRates[lowRate][layer - 1][bitRateIndex];
    switch (layer) {
        case 1:
            header.bytes = (kbps * 12000 / header.sampleRate + padding) * 4;
            header.samples = 384;
            break;
        case 2:
            header.bytes = kbps * 144000 / header.sampleRate + padding;
            header.samples = 1152;
            break;
        default:
            header.bytes = kbps * 144000 / (header.sampleRate << lowRate) + padding;
            header.samples = lowRate ? 576 : 1152;
            break;
    }
    return header;
}

MpegAudioFrameLengths::MpegAudioFrameLengths(std::uint32_t streamWord)
    : streamBits_(streamWord & kMpegAudioStreamBits) {
    for (std::uint32_t bitRate = 0; bitRate < 16; ++bitRate) {
        for (std::uint32_t padding = 0; padding < 2; ++padding) {
            const std::optional<MpegAudioHeader> header =
                ParseMpegAudioHeader(streamBits_ | (bitRate << 12) | (padding << 9));
            lengths_[bitRate << 1 | padding] = header ? header->bytes : 0;
        }
    }
}

std::optional<MpegAudioFrame> WalkMpegAudioFrames(AVIOContext& io, std::int64_t pos,
                                                  std::int64_t count) {
    HeaderReader reader(io);
    const std::optional<std::uint32_t> first = reader.WordAt(pos);
    if (!first)
        return std::nullopt;
    const MpegAudioFrameLengths lengths(*first);
    int bytes = lengths.Of(*first);
    for (std::int64_t i = 0; bytes > 0; ++i) {
        const std::int64_t next = pos + bytes;
        const std::optional<std::uint32_t> word = reader.WordAt(next);
        const int nextBytes = word ? lengths.Of(*word) : 0;
        if (i == count)
            return MpegAudioFrame{pos, bytes, nextBytes > 0};
        pos = next;
        bytes = nextBytes;
    }
    return std::nullopt;
}

bool LandAtMpegAudioFrame(AVFormatContext& input, MpegAudioLanding& landing, int bytes,
                          bool nextFollows) {
    AVStream* st = input.streams[landing.stream];
    if (av_add_index_entry(st, landing.pos, landing.timestamp, bytes, 0, AVINDEX_KEYFRAME) < 0)
        return false;
    if (nextFollows)
        av_add_index_entry(st, landing.pos + bytes, landing.timestamp + landing.frameTicks, 0, 0,
                           AVINDEX_KEYFRAME);
    auto seek = [&] {
        return av_seek_frame(&input, landing.stream, landing.timestamp, AVSEEK_FLAG_BACKWARD) >= 0;
    };
    if (!seek())
        return false;
    const std::optional<Landing> landed = NextPacketOf(input, landing.stream);
    if (!landed || landed->pos != landing.pos || landed->timestamp != landing.timestamp ||
        (bytes > 0 && landed->size != bytes))
        return false;
    landing.flags = landed->flags;
    return seek();
}

namespace {

// The stream's first frame as the demuxer gives it, checked against the frame header
// there: the frame every later frame's place and timestamp are counted from.
struct FirstMpegAudioFrame {
    Landing packet;
    MpegAudioLanding base;  // pos and timestamp: the first frame's
};
std::optional<FirstMpegAudioFrame> ReadFirstMpegAudioFrame(AVFormatContext& input, int stream) {
    if (std::strcmp(input.iformat->name, "mp3") != 0 || input.pb == nullptr || stream < 0 ||
        static_cast<unsigned>(stream) >= input.nb_streams)
        return std::nullopt;
    AVStream* st = input.streams[stream];
    const std::optional<Landing> first = NextPacketOf(input, stream);
    // From a first timestamp of zero on, the demuxer marks no later packet as the start.
    if (!first || first->pos < 0 || first->timestamp == AV_NOPTS_VALUE || first->timestamp < 0 ||
        avio_seek(input.pb, first->pos, SEEK_SET) != first->pos)
        return std::nullopt;
    // The walk has to agree with the demuxer on the first frame.
    const std::uint32_t word = avio_rb32(input.pb);
    const std::optional<MpegAudioHeader> header = ParseMpegAudioHeader(word);
    if (!header || header->bytes != first->size || header->sampleRate != st->codecpar->sample_rate)
        return std::nullopt;
    // Every frame of the stream lasts as long as the first: the demuxer's timestamps are
    // the first one's plus whole frames, when a frame is a whole number of ticks.
    const std::int64_t tickDen = std::int64_t{header->sampleRate} * st->time_base.num;
    const std::int64_t frameTicksScaled = std::int64_t{header->samples} * st->time_base.den;
    if (tickDen <= 0 || frameTicksScaled % tickDen != 0)
        return std::nullopt;
    FirstMpegAudioFrame frame{*first, {}};
    frame.base.stream = stream;
    frame.base.pos = first->pos;
    frame.base.timestamp = first->timestamp;
    frame.base.frameTicks = frameTicksScaled / tickDen;
    frame.base.streamWord = word;
    return frame;
}

// Puts the demuxer at frame `index` (counted from the first) by walking to it.
std::optional<MpegAudioLanding> LandAtMpegAudioFrameIndex(AVFormatContext& input,
                                                          const MpegAudioLanding& first,
                                                          std::int64_t index) {
    const std::optional<MpegAudioFrame> frame = WalkMpegAudioFrames(*input.pb, first.pos, index);
    if (!frame)
        return std::nullopt;
    MpegAudioLanding landing = first;
    landing.pos = frame->pos;
    landing.timestamp = first.timestamp + index * first.frameTicks;
    if (!LandAtMpegAudioFrame(input, landing, frame->bytes, frame->nextHeaderFollows))
        return std::nullopt;
    return landing;
}

}  // namespace

std::optional<MpegAudioLanding> SeekToMpegAudioFrame(AVFormatContext& input, int stream,
                                                     std::int64_t time) {
    const std::optional<FirstMpegAudioFrame> first = ReadFirstMpegAudioFrame(input, stream);
    if (!first || time < first->base.timestamp + first->base.frameTicks)
        return std::nullopt;  // in the first frame: the time seek reads nothing to get there
    const std::int64_t index = (time - first->base.timestamp) / first->base.frameTicks;
    return LandAtMpegAudioFrameIndex(input, first->base, index);
}

std::optional<MpegAudioLanding> SeekPastFirstMpegAudioFrame(AVFormatContext& input, int stream) {
    const std::optional<FirstMpegAudioFrame> first = ReadFirstMpegAudioFrame(input, stream);
    if (!first)
        return std::nullopt;
    const std::optional<MpegAudioLanding> second = LandAtMpegAudioFrameIndex(input, first->base, 1);
    MpegAudioLanding start = first->base;
    if (!second || !LandAtMpegAudioFrame(input, start, first->packet.size, true))
        return std::nullopt;
    return second;
}

}  // namespace tolvane
