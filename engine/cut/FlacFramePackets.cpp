#include "engine/cut/FlacFramePackets.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>

namespace tolvane {

namespace {

constexpr int kBlockBytes = 1 << 20;
// The demuxer's parser holds some frames ahead of the packet it hands out: its packet
// is looked for this far back from where the demuxer has read to.
constexpr std::int64_t kLookBackBytes = 3 * (kBlockBytes / 4);
// Sync and codes (4), the longest coded number (7), block size and rate bytes (2 + 2)
// and the CRC-8.
constexpr std::size_t kMaxHeaderBytes = 16;
// A frame holds at least one subframe header byte and the CRC-16 after its header.
constexpr std::size_t kMinBodyBytes = 3;

// The channel count and sample size codes of a header's fourth byte: the channel code
// also tells how a stereo pair is coded, which changes from frame to frame.
std::uint8_t ChannelsAndDepth(std::uint8_t byte) {
    const unsigned code = byte >> 4;
    const unsigned channels = code <= 7 ? code + 1 : 2;
    return static_cast<std::uint8_t>(channels << 4 | (byte & 0x0F));
}

// The number the frame after `header` carries; nothing when it cannot be coded.
std::optional<std::uint64_t> NumberAfter(const FlacFrameHeader& header) {
    const std::uint64_t step = header.variableBlockSize() ? header.blockSize() : 1;
    if (header.number() > FlacFrameHeader::kMaxNumber - step)
        return std::nullopt;
    return header.number() + step;
}

}  // namespace

std::unique_ptr<FlacFramePackets> FlacFramePackets::ForStream(AVFormatContext& input, int stream) {
    if (input.iformat == nullptr || std::string_view(input.iformat->name) != "flac" ||
        input.pb == nullptr || !(input.pb->seekable & AVIO_SEEKABLE_NORMAL) || stream < 0 ||
        static_cast<unsigned>(stream) >= input.nb_streams)
        return nullptr;
    const AVStream& st = *input.streams[stream];
    // Timestamps count samples, so a frame's duration is its block size.
    if (st.codecpar->codec_id != AV_CODEC_ID_FLAC || st.codecpar->sample_rate <= 0 ||
        av_cmp_q(st.time_base, AVRational{1, st.codecpar->sample_rate}) != 0)
        return nullptr;
    return std::unique_ptr<FlacFramePackets>(new FlacFramePackets(input, stream));
}

FlacFramePackets::FlacFramePackets(AVFormatContext& input, int stream)
    : input_(input), stream_(stream), block_(*input.pb, kBlockBytes) {}

FlacFramePackets::~FlacFramePackets() = default;

int FlacFramePackets::Read(AVPacket& packet) {
    if (source_ == Source::HandedOver)
        return av_read_frame(&input_, &packet);
    if (source_ == Source::Demuxer) {
        const int ret = av_read_frame(&input_, &packet);
        if (ret < 0 || packet.stream_index != stream_)
            return ret;
        const std::optional<FlacFrameHeader> header = FlacFrameHeader::Parse(
            std::span<const std::uint8_t>(packet.data, static_cast<std::size_t>(packet.size)));
        const std::optional<std::uint64_t> following = header ? NumberAfter(*header) : std::nullopt;
        if (packet.pts == AV_NOPTS_VALUE || !following ||
            packet.duration != static_cast<std::int64_t>(header->blockSize())) {
            source_ = Source::HandedOver;  // the demuxer reads on where it is
            return 0;
        }
        strategyByte_ = packet.data[1];
        rateCode_ = packet.data[2] & 0x0F;
        channelsAndDepth_ = ChannelsAndDepth(packet.data[3]);
        nextTimestamp_ = packet.pts + packet.duration;
        nextNumber_ = *following;
        source_ = Source::Blocks;
        if (!TakeOver(packet))
            nextPos_ = -1;  // the demuxer's position is lost: the next read hands over
        return 0;
    }
    if (nextPos_ < 0 || !block_.Hold(nextPos_, kMaxHeaderBytes))
        return HandOver(packet);
    Frame frame = FindFrame();
    if (frame.bytes == 0 && block_.start() != nextPos_ && block_.Fill(nextPos_))
        frame = FindFrame();  // the frame runs past the block
    if (frame.bytes == 0)
        return HandOver(packet);
    if (const int ret = block_.Lend(nextPos_, frame.bytes, packet); ret < 0)
        return ret;
    packet.pts = packet.dts = nextTimestamp_;
    packet.duration = frame.header.blockSize();
    packet.pos = nextPos_;
    packet.flags = AV_PKT_FLAG_KEY;
    packet.stream_index = stream_;
    nextPos_ += frame.bytes;
    nextTimestamp_ += frame.header.blockSize();
    nextNumber_ = frame.following;
    ++framesFromBlocks_;
    return 0;
}

bool FlacFramePackets::TakeOver(const AVPacket& packet) {
    const std::int64_t readTo = avio_tell(input_.pb);
    if (readTo < 0 || !block_.Fill(std::max<std::int64_t>(0, readTo - kLookBackBytes)))
        return false;
    // The header alone is unique in the file (it holds the frame's number); the whole
    // packet is compared to be sure.
    const std::uint8_t* data = block_.At(block_.start());
    const auto filled = static_cast<std::size_t>(block_.end() - block_.start());
    const std::size_t size = static_cast<std::size_t>(packet.size);
    const std::size_t probe = std::min(size, kMaxHeaderBytes);
    for (std::size_t from = 0; from + size <= filled;) {
        const void* found = memmem(data + from, filled - from, packet.data, probe);
        if (found == nullptr)
            return false;
        const std::size_t offset =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
        if (offset + size > filled)
            return false;
        if (std::memcmp(data + offset, packet.data, size) == 0) {
            nextPos_ = block_.start() + static_cast<std::int64_t>(offset + size);
            return true;
        }
        from = offset + 1;
    }
    return false;
}

FlacFramePackets::Frame FlacFramePackets::FindFrame() const {
    const std::uint8_t* start = block_.At(nextPos_);
    const auto available = static_cast<std::size_t>(block_.end() - nextPos_);
    // The frame itself must be the one expected: the demuxer's last packet or the
    // previous search only told where it starts.
    const std::optional<FlacFrameHeader> header = HeaderNumbered(start, nextNumber_);
    const std::optional<std::uint64_t> following = header ? NumberAfter(*header) : std::nullopt;
    // A header found must be complete in the block to be checked.
    if (!following || available < header->size() + kMinBodyBytes + kMaxHeaderBytes)
        return {};
    const std::uint8_t* const last = start + available - kMaxHeaderBytes;
    for (const std::uint8_t* at = start + header->size() + kMinBodyBytes; at <= last; ++at) {
        at = static_cast<const std::uint8_t*>(
            std::memchr(at, 0xFF, static_cast<std::size_t>(last - at) + 1));
        if (at == nullptr)
            return {};
        if (HeaderNumbered(at, *following))
            return Frame{static_cast<int>(at - start), *header, *following};
    }
    return {};
}

std::optional<FlacFrameHeader> FlacFramePackets::HeaderNumbered(const std::uint8_t* at,
                                                                std::uint64_t number) const {
    if (at[1] != strategyByte_ || (at[2] & 0x0F) != rateCode_ ||
        ChannelsAndDepth(at[3]) != channelsAndDepth_)
        return std::nullopt;
    std::optional<FlacFrameHeader> header =
        FlacFrameHeader::Parse(std::span<const std::uint8_t>(at, kMaxHeaderBytes));
    if (!header || header->number() != number)
        return std::nullopt;
    return header;
}

int FlacFramePackets::HandOver(AVPacket& packet) {
    source_ = Source::HandedOver;
    block_.Release();
    if (av_seek_frame(&input_, stream_, nextTimestamp_, AVSEEK_FLAG_BACKWARD) < 0)
        return AVERROR(EIO);
    // The seek lands on a frame at or before the next one: the frames before it were
    // read already, and other streams' packets (a cover picture) were handed out before.
    for (;;) {
        const int ret = av_read_frame(&input_, &packet);
        if (ret < 0)
            return ret;
        if (packet.stream_index == stream_ &&
            (packet.pts == AV_NOPTS_VALUE ||
             packet.pts + std::max<std::int64_t>(packet.duration, 1) > nextTimestamp_))
            return 0;
        av_packet_unref(&packet);
    }
}

}  // namespace tolvane
