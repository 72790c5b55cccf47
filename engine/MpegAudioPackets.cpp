#include "MpegAudioPackets.h"

#include <algorithm>
#include <limits>

namespace tolvane {

namespace {

constexpr int kBlockBytes = 1 << 20;
constexpr int kHeaderBytes = 4;
// Tags at the file's end (ID3v1, APE) are the demuxer's to drop.
constexpr std::int64_t kTailBytes = 8 * 1024;
// The demuxer marks the encoder's padding, at most 4095 + 529 samples, on the packets
// that end within that much of the stream's length: those are left to it.
constexpr std::int64_t kPaddingSamples = 8192;

}  // namespace

MpegAudioPackets::MpegAudioPackets(AVFormatContext& input, const MpegAudioLanding& landing)
    : input_(input), next_(landing), lengths_(landing.streamWord) {
    const std::int64_t size = avio_size(input.pb);
    lastByte_ = size > kTailBytes ? size - kTailBytes : 0;
    const AVStream& st = *input.streams[landing.stream];
    // The padding is marked by sample counts from timestamp zero, as the length is.
    lastTimestamp_ = std::numeric_limits<std::int64_t>::max();
    if (st.duration != AV_NOPTS_VALUE && st.duration > 0 && st.codecpar->sample_rate > 0)
        lastTimestamp_ =
            st.duration -
            av_rescale_q(kPaddingSamples, AVRational{1, st.codecpar->sample_rate}, st.time_base);
}

MpegAudioPackets::~MpegAudioPackets() = default;

bool MpegAudioPackets::HoldInBlock(std::int64_t bytes) {
    if (block_ && next_.pos >= blockStart_ && next_.pos + bytes <= blockStart_ + blockFilled_)
        return true;
    // The next block starts at this frame. Packets may still hold the last one; once
    // they are written it is filled again, its pages already in place.
    if (!block_ || !av_buffer_is_writable(block_.get()))
        block_.reset(av_buffer_alloc(kBlockBytes + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!block_ || avio_seek(input_.pb, next_.pos, SEEK_SET) != next_.pos)
        return false;
    const int read = avio_read(input_.pb, block_->data, kBlockBytes);
    blockStart_ = next_.pos;
    blockFilled_ = read > 0 ? read : 0;
    std::fill(block_->data + blockFilled_,
              block_->data + blockFilled_ + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    return next_.pos + bytes <= blockStart_ + blockFilled_;
}

int MpegAudioPackets::Read(AVPacket& packet) {
    if (handedOver_)
        return handOverError_ < 0 ? handOverError_ : av_read_frame(&input_, &packet);
    if (next_.pos + kHeaderBytes > lastByte_ ||
        next_.timestamp + next_.frameTicks > lastTimestamp_ || !HoldInBlock(kHeaderBytes))
        return HandOver(packet);
    const std::uint8_t* at = block_->data + (next_.pos - blockStart_);
    const std::uint32_t word = (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) |
                               (std::uint32_t{at[2]} << 8) | std::uint32_t{at[3]};
    const int bytes = lengths_.Of(word);
    if (bytes == 0 || next_.pos + bytes > lastByte_ || !HoldInBlock(bytes))
        return HandOver(packet);
    av_packet_unref(&packet);
    packet.buf = av_buffer_ref(block_.get());
    if (packet.buf == nullptr)
        return AVERROR(ENOMEM);
    packet.data = block_->data + (next_.pos - blockStart_);
    packet.size = bytes;
    packet.pts = packet.dts = next_.timestamp;
    packet.duration = next_.frameTicks;
    packet.pos = next_.pos;
    packet.flags = next_.flags;
    packet.stream_index = next_.stream;
    next_.pos += bytes;
    next_.timestamp += next_.frameTicks;
    return 0;
}

int MpegAudioPackets::HandOver(AVPacket& packet) {
    handedOver_ = true;
    block_.reset();
    if (!LandAtMpegAudioFrame(input_, next_, 0, false))
        handOverError_ = AVERROR(EIO);
    return handOverError_ < 0 ? handOverError_ : av_read_frame(&input_, &packet);
}

}  // namespace tolvane
