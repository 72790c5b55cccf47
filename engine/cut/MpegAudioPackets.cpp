#include "engine/cut/MpegAudioPackets.h"

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
    : input_(input), next_(landing), lengths_(landing.streamWord), block_(*input.pb, kBlockBytes) {
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

int MpegAudioPackets::Read(AVPacket& packet) {
    if (handedOver_)
        return handOverError_ < 0 ? handOverError_ : av_read_frame(&input_, &packet);
    if (next_.pos + kHeaderBytes > lastByte_ ||
        next_.timestamp + next_.frameTicks > lastTimestamp_ ||
        !block_.Hold(next_.pos, kHeaderBytes))
        return HandOver(packet);
    const std::uint8_t* at = block_.At(next_.pos);
    const std::uint32_t word = (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) |
                               (std::uint32_t{at[2]} << 8) | std::uint32_t{at[3]};
    const int bytes = lengths_.Of(word);
    if (bytes == 0 || next_.pos + bytes > lastByte_ || !block_.Hold(next_.pos, bytes))
        return HandOver(packet);
    if (const int ret = block_.Lend(next_.pos, bytes, packet); ret < 0)
        return ret;
    packet.pts = packet.dts = next_.timestamp;
    packet.duration = next_.frameTicks;
    packet.pos = next_.pos;
    packet.flags = next_.flags;
    packet.stream_index = next_.stream;
    next_.pos += bytes;
    next_.timestamp += next_.frameTicks;
    return 0;
}

bool MpegAudioPackets::ReturnToDemuxer() {
    if (!handedOver_) {
        handedOver_ = true;
        block_.Release();
        if (!LandAtMpegAudioFrame(input_, next_, 0, false))
            handOverError_ = AVERROR(EIO);
    }
    return handOverError_ >= 0;
}

int MpegAudioPackets::HandOver(AVPacket& packet) {
    return ReturnToDemuxer() ? av_read_frame(&input_, &packet) : handOverError_;
}

}  // namespace tolvane
