#include "engine/cut/FlacCutEdges.h"

#include "engine/ffmpeg/FfmpegSetup.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

#include "engine/cut/FlacFrameHeader.h"

namespace tolvane {

namespace {

constexpr int kStreamInfoSize = 34;
// Block sizes FLAC allows; only the last frame may be shorter than the smallest.
constexpr int kMinBlockSize = 16;
constexpr int kMaxBlockSize = 65535;

void PutBigEndian(std::uint8_t* at, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        at[i] = static_cast<std::uint8_t>(value);
        value >>= 8;
    }
}

std::uint32_t ReadBigEndian(const std::uint8_t* at, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | at[i];
    return value;
}

// Writes bit fields most significant bit first, as FLAC frames hold them.
class BitWriter {
  public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void Put(std::uint32_t value, int bits) {
        const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
        pending_ = (pending_ << bits) | (value & mask);
        pendingBits_ += bits;
        while (pendingBits_ >= 8) {
            pendingBits_ -= 8;
            out_.push_back(static_cast<std::uint8_t>(pending_ >> pendingBits_));
        }
        pending_ &= (std::uint64_t{1} << pendingBits_) - 1;
    }
    void PadToByte() {
        if (pendingBits_ > 0)
            Put(0, 8 - pendingBits_);
    }

  private:
    std::vector<std::uint8_t>& out_;
    std::uint64_t pending_ = 0;
    int pendingBits_ = 0;
};

// The header codes of a sample rate and a depth; the extra bytes a rate needs go after
// the block size. Code 0 would send a decoder to the stream information, which FFmpeg's
// parser does not take for the first frame.
struct HeaderCodes {
    unsigned rate = 0, bits = 0;
    std::vector<std::uint8_t> rateBytes;
};
HeaderCodes CodesFor(int rate, int bits) {
    HeaderCodes codes;
    constexpr int kRates[] = {0,     88200, 176400, 192000, 8000,  16000,
                              22050, 24000, 32000,  44100,  48000, 96000};
    for (unsigned i = 1; i < std::size(kRates); ++i) {
        if (kRates[i] == rate)
            codes.rate = i;
    }
    if (codes.rate == 0 && rate <= 65535) {
        codes.rate = 13;
        codes.rateBytes = {static_cast<std::uint8_t>(rate >> 8), static_cast<std::uint8_t>(rate)};
    } else if (codes.rate == 0 && rate % 10 == 0 && rate / 10 <= 65535) {
        codes.rate = 14;
        codes.rateBytes = {static_cast<std::uint8_t>(rate / 10 >> 8),
                           static_cast<std::uint8_t>(rate / 10)};
    }
    constexpr int kBits[] = {0, 8, 12, 0, 16, 20, 24, 32};
    for (unsigned i = 1; i < std::size(kBits); ++i) {
        if (kBits[i] == bits)
            codes.bits = i;
    }
    return codes;
}

// One frame of `count` samples (interleaved, `width` bytes each, the sample in the top
// `bits` bits) with a verbatim subframe per channel: the samples as they are. The frame
// is numbered 0.
std::vector<std::uint8_t> VerbatimFrame(const std::vector<std::uint8_t>& samples, int count,
                                        int channels, int width, int rate, int bits) {
    const HeaderCodes codes = CodesFor(rate, bits);
    std::vector<std::uint8_t> frame = {
        0xFF,
        0xF8,
        static_cast<std::uint8_t>(0x70 | codes.rate),  // block size in 16 bits after the number
        static_cast<std::uint8_t>((channels - 1) << 4 | codes.bits << 1),  // independent
        0x00,                                                              // frame 0
        static_cast<std::uint8_t>((count - 1) >> 8),
        static_cast<std::uint8_t>(count - 1),
    };
    frame.insert(frame.end(), codes.rateBytes.begin(), codes.rateBytes.end());
    frame.push_back(FlacFrameHeader::Crc8(frame));
    frame.reserve(frame.size() + static_cast<std::size_t>(count) * channels * width + 16);
    BitWriter writer(frame);
    const int shift = width * 8 - bits;
    for (int ch = 0; ch < channels; ++ch) {
        writer.Put(0x02, 8);  // verbatim, no wasted bits
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* at =
                samples.data() + (static_cast<std::size_t>(i) * channels + ch) * width;
            std::int32_t value = 0;
            if (width == 2) {
                std::int16_t v16 = 0;
                std::memcpy(&v16, at, 2);
                value = v16;
            } else {
                std::memcpy(&value, at, 4);
            }
            writer.Put(static_cast<std::uint32_t>(value >> shift), bits);
        }
    }
    writer.PadToByte();
    const std::uint16_t crc = FlacFrameHeader::Crc16(frame);
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc));
    return frame;
}

}  // namespace

std::unique_ptr<FlacCutEdges> FlacCutEdges::ForStream(const AVFormatContext& input, int index,
                                                      const CutSpan& span) {
    if (index < 0 || static_cast<unsigned>(index) >= input.nb_streams ||
        std::string_view(input.iformat->name) != "flac")
        return nullptr;
    const AVStream& stream = *input.streams[index];
    const AVCodecParameters& par = *stream.codecpar;
    if (par.codec_id != AV_CODEC_ID_FLAC || par.sample_rate <= 0)
        return nullptr;
    // The stretch is counted in samples only where the stream counts time in them.
    if (stream.time_base.num != 1 || stream.time_base.den != par.sample_rate)
        return nullptr;
    std::unique_ptr<FlacCutEdges> edges(new FlacCutEdges(span, stream.index));
    edges->written_ = std::max<std::int64_t>(span.samplesBefore, 0);
    edges->OpenDecoder(stream);
    return edges;
}

void FlacCutEdges::OpenDecoder(const AVStream& stream) {
    bitsPerSample_ = stream.codecpar->bits_per_raw_sample;
    if (!decoded_)
        return;
    decoder_ = ff::OpenDecoder(stream);
    if (!decoder_)
        return;
    const AVSampleFormat format = decoder_->sample_fmt;
    const int channels = decoder_->ch_layout.nb_channels;
    const bool interleaved = format == AV_SAMPLE_FMT_S16 || format == AV_SAMPLE_FMT_S32;
    exact_ = interleaved && channels >= 1 && channels <= 8 && bitsPerSample_ >= 4 &&
             bitsPerSample_ <= av_get_bytes_per_sample(format) * 8;
    if (exact_) {
        held_.reset(
            av_audio_fifo_alloc(format, decoder_->ch_layout.nb_channels, kMaxBlockSize + 1));
        exact_ = held_ != nullptr;
    }
}

int FlacCutEdges::Emit(AVPacket& packet, CutPacketSink& sink) {
    std::vector<ff::PacketPtr> out;
    return Hand(TakeFrame(packet, out), out, sink);
}

int FlacCutEdges::Hand(int code, std::vector<ff::PacketPtr>& packets, CutPacketSink& sink) {
    if (code < 0)
        return code;
    for (ff::PacketPtr& packet : packets) {
        if (!sink.Write(*packet))
            return kSinkStopped;
    }
    return 0;
}

// Bytes appended to a file (a tag, the rest of a download) reach the cut with its last
// frame, and a damaged frame fails its CRC: the frame is cut back to where it ends whole
// (a CRC that checks and the frame decoding), or, when it nowhere does, left out, as
// decoders skip it.
std::optional<int> FlacCutEdges::WholeFrameSize(const AVPacket& packet,
                                                const FlacFrameHeader& header) {
    const std::span<const std::uint8_t> bytes(packet.data, static_cast<std::size_t>(packet.size));
    if (FlacFrameHeader::Crc16(bytes) == 0)
        return packet.size;
    for (std::size_t end : FlacFrameHeader::CrcEnds(bytes, header.size() + 2)) {
        if (!decoder_)
            return static_cast<int>(end);
        ff::PacketPtr prefix(av_packet_alloc());
        if (!prefix || av_packet_ref(prefix.get(), &packet) < 0)
            return std::nullopt;
        prefix->size = static_cast<int>(end);
        const bool decodes = avcodec_send_packet(decoder_.get(), prefix.get()) >= 0 &&
                             avcodec_receive_frame(decoder_.get(), decoded_.get()) >= 0 &&
                             decoded_->nb_samples == static_cast<int>(header.blockSize());
        av_frame_unref(decoded_.get());
        if (decodes)
            return static_cast<int>(end);
    }
    return std::nullopt;
}

int FlacCutEdges::TakeFrame(const AVPacket& whole, std::vector<ff::PacketPtr>& out) {
    const auto header = FlacFrameHeader::Parse(std::span(whole.data, whole.size));
    if (!header)
        return 0;  // a damaged frame: decoders skip it, and so does the cut
    const std::optional<int> size = WholeFrameSize(whole, *header);
    if (!size)
        return 0;
    ff::PacketPtr trimmed;
    if (*size < whole.size) {
        trimmed.reset(av_packet_alloc());
        if (!trimmed || av_packet_ref(trimmed.get(), &whole) < 0)
            return AVERROR(ENOMEM);
        trimmed->size = *size;
    }
    const AVPacket& packet = trimmed ? *trimmed : whole;
    std::int64_t start = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    if (start == AV_NOPTS_VALUE)
        start = origin_ + written_ + (held_ ? av_audio_fifo_size(held_.get()) : 0);
    const std::int64_t length = header->blockSize();
    const bool head = start < span_.start;
    const bool tail = !span_.toFileEnd && start + length > span_.end;
    const bool holding = held_ && av_audio_fifo_size(held_.get()) > 0;
    if (!exact_ || !(head || tail || holding)) {
        if (!started_) {
            started_ = true;
            origin_ = start;
        }
        return EmitFrame(packet.data, packet.size, out);
    }
    return HoldSamples(packet, start, head, tail, out);
}

int FlacCutEdges::HoldSamples(const AVPacket& packet, std::int64_t start, bool head, bool tail,
                              std::vector<ff::PacketPtr>& out) {
    int ret = avcodec_send_packet(decoder_.get(), &packet);
    if (ret >= 0)
        ret = avcodec_receive_frame(decoder_.get(), decoded_.get());
    if (ret == AVERROR_INVALIDDATA || ret == AVERROR(EAGAIN))
        return 0;  // damaged: skipped as a decoder would
    if (ret < 0)
        return ret;
    const std::int64_t samples = decoded_->nb_samples;
    const std::int64_t from = head ? std::clamp<std::int64_t>(span_.start - start, 0, samples) : 0;
    const std::int64_t to =
        tail ? std::clamp<std::int64_t>(span_.end - start, 0, samples) : samples;
    if (to > from) {
        // A frame of at most the largest block size: what is held goes out first.
        if (av_audio_fifo_size(held_.get()) + (to - from) > kMaxBlockSize &&
            (ret = EncodeHeld(out)) < 0) {
            av_frame_unref(decoded_.get());
            return ret;
        }
        if (!started_) {
            started_ = true;
            origin_ = start + from;
        }
        if (av_audio_fifo_write(held_.get(), reinterpret_cast<void**>(decoded_->extended_data),
                                static_cast<int>(to)) < to ||
            av_audio_fifo_drain(held_.get(), static_cast<int>(from)) < 0) {
            av_frame_unref(decoded_.get());
            return AVERROR(ENOMEM);
        }
    }
    av_frame_unref(decoded_.get());
    // A first frame shorter than the smallest block size FLAC allows waits for the next.
    if (tail || av_audio_fifo_size(held_.get()) >= kMinBlockSize)
        return EncodeHeld(out);
    return 0;
}

// The trimmed frame is written with verbatim subframes, the samples as they are: at
// most one frame of each cut is stored uncompressed, and no encoder (whose context
// alone is megabytes to clear) is set up for it.
int FlacCutEdges::EncodeHeld(std::vector<ff::PacketPtr>& out) {
    const int count = held_ ? av_audio_fifo_size(held_.get()) : 0;
    return count > 0 ? WriteHeldVerbatim(count, out) : 0;
}

int FlacCutEdges::WriteHeldVerbatim(int count, std::vector<ff::PacketPtr>& out) {
    const int channels = decoder_->ch_layout.nb_channels;
    const int width = av_get_bytes_per_sample(decoder_->sample_fmt);
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(count) * channels * width);
    void* planes[1] = {samples.data()};
    if (av_audio_fifo_read(held_.get(), planes, count) < count)
        return AVERROR_BUG;
    const std::vector<std::uint8_t> frame =
        VerbatimFrame(samples, count, channels, width, decoder_->sample_rate, bitsPerSample_);
    return EmitFrame(frame.data(), static_cast<int>(frame.size()), out);
}

int FlacCutEdges::EmitFrame(const std::uint8_t* data, int size, std::vector<ff::PacketPtr>& out) {
    const std::span<const std::uint8_t> frame(data, static_cast<std::size_t>(size));
    const auto header = FlacFrameHeader::Parse(frame);
    if (!header)
        return AVERROR_BUG;
    const std::size_t bytes =
        header->RenumberedSize(frame.size(), static_cast<std::uint64_t>(written_));
    if (bytes == 0 || bytes > static_cast<std::size_t>(INT_MAX))
        return AVERROR(ERANGE);
    ff::PacketPtr packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), static_cast<int>(bytes)) < 0)
        return AVERROR(ENOMEM);
    if (!header->RenumberInto(frame, static_cast<std::uint64_t>(written_),
                              std::span(packet->data, bytes)))
        return AVERROR_BUG;
    packet->pts = packet->dts = origin_ + written_;
    packet->duration = header->blockSize();
    packet->stream_index = streamIndex_;
    packet->flags |= AV_PKT_FLAG_KEY;
    out.push_back(std::move(packet));

    if (lastBlock_ > 0) {
        minBlock_ = std::min(minBlock_, lastBlock_);
        maxBlock_ = std::max(maxBlock_, lastBlock_);
    }
    lastBlock_ = header->blockSize();
    minFrame_ = std::min(minFrame_, static_cast<std::uint32_t>(bytes));
    maxFrame_ = std::max(maxFrame_, static_cast<std::uint32_t>(bytes));
    written_ += header->blockSize();
    return 0;
}

int FlacCutEdges::Finish(CutPacketSink& sink, AVCodecParameters& output) {
    std::vector<ff::PacketPtr> out;
    const int ret = exact_ ? EncodeHeld(out) : 0;
    if (ret < 0 || lastBlock_ == 0 || output.extradata == nullptr ||
        output.extradata_size < kStreamInfoSize)
        return Hand(ret, out, sink);
    std::uint8_t* info = output.extradata;
    // Only the stream's last frame may be shorter than the smallest block size the header
    // states; a join's earlier inputs end inside the stream.
    if (span_.beforeAnother) {
        minBlock_ = std::min(minBlock_, lastBlock_);
        maxBlock_ = std::max(maxBlock_, lastBlock_);
    }
    if (span_.afterAnother) {  // what the inputs before wrote into the header
        minBlock_ = std::min<std::uint32_t>(minBlock_, ReadBigEndian(info, 2));
        maxBlock_ = std::max<std::uint32_t>(maxBlock_, ReadBigEndian(info + 2, 2));
        minFrame_ = std::min<std::uint32_t>(minFrame_, ReadBigEndian(info + 4, 3));
        maxFrame_ = std::max<std::uint32_t>(maxFrame_, ReadBigEndian(info + 7, 3));
    }
    const std::uint32_t largest = std::max(maxBlock_, lastBlock_);
    std::uint32_t smallest = minBlock_ == UINT32_MAX ? largest : minBlock_;
    smallest = std::max<std::uint32_t>(smallest, kMinBlockSize);
    PutBigEndian(info, smallest, 2);
    PutBigEndian(info + 2, std::max(largest, smallest), 2);
    PutBigEndian(info + 4, minFrame_, 3);
    PutBigEndian(info + 7, maxFrame_, 3);
    return Hand(0, out, sink);
}

}  // namespace tolvane
