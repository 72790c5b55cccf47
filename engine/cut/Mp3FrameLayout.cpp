#include "engine/cut/Mp3FrameLayout.h"

#include <algorithm>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "engine/cut/MpegAudioFrames.h"

namespace tolvane {

namespace {

constexpr std::uint32_t kBitRateBits = 0xFu << 12;
constexpr std::uint32_t kPaddingBit = 1u << 9;
// Bit-rate indexes 1 (the lowest) to 14; 0 is free format, 15 is no bit rate.
constexpr std::uint32_t kLowestBitRateIndex = 1;
constexpr std::uint32_t kHighestBitRateIndex = 14;

class BitReader {
  public:
    explicit BitReader(const std::uint8_t* data) : data_(data) {}
    int Read(int bits) {
        int value = 0;
        for (int i = 0; i < bits; ++i, ++at_)
            value = value << 1 | ((data_[at_ >> 3] >> (7 - (at_ & 7))) & 1);
        return value;
    }
    void Skip(int bits) { at_ += static_cast<std::size_t>(bits); }

  private:
    const std::uint8_t* data_;
    std::size_t at_ = 0;
};

// A frame of `bytes` with header `word`, everything after the header zero but the CRC.
std::vector<std::uint8_t> ZeroFrame(std::uint32_t word, int bytes, const Mp3FrameLayout& layout) {
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(bytes), 0);
    AV_WB32(frame.data(), word);
    PutMpegAudioFrameCrc(frame.data(), layout);
    return frame;
}

}  // namespace

std::optional<Mp3FrameLayout> ReadMp3FrameLayout(const std::uint8_t* data, int size) {
    if (data == nullptr || size < 4)
        return std::nullopt;
    const std::uint32_t word = AV_RB32(data);
    const std::optional<MpegAudioHeader> header = ParseMpegAudioHeader(word);
    if (!header || ((word >> 17) & 3) != 1 || header->bytes > size)
        return std::nullopt;
    const bool mpeg1 = ((word >> 19) & 3) == 3;
    const int channels = ((word >> 6) & 3) == 3 ? 1 : 2;
    Mp3FrameLayout layout;
    layout.crc = ((word >> 16) & 1) == 0;
    layout.sideOffset = layout.crc ? 6 : 4;
    layout.sideBytes = mpeg1 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17);
    layout.payloadBytes = header->bytes - layout.sideOffset - layout.sideBytes;
    if (layout.payloadBytes < 0)
        return std::nullopt;
    BitReader side(data + layout.sideOffset);
    int bits = 0;
    if (mpeg1) {
        layout.mainDataBegin = side.Read(9);
        side.Skip(channels == 1 ? 5 : 3);  // private bits
        side.Skip(4 * channels);           // scale factor selection
        for (int granule = 0; granule < 2 * channels; ++granule) {
            bits += side.Read(12);  // part2_3_length
            side.Skip(47);
        }
    } else {
        layout.mainDataBegin = side.Read(8);
        side.Skip(channels == 1 ? 1 : 2);
        for (int channel = 0; channel < channels; ++channel) {
            bits += side.Read(12);
            side.Skip(51);
        }
    }
    layout.mainDataBytes = (bits + 7) / 8;
    return layout;
}

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

void PutMpegAudioFrameCrc(std::uint8_t* frame, const Mp3FrameLayout& layout) {
    if (!layout.crc)
        return;
    const std::uint16_t sum = MpegAudioFrameCrc(frame, frame + layout.sideOffset, layout.sideBytes);
    frame[4] = static_cast<std::uint8_t>(sum >> 8);
    frame[5] = static_cast<std::uint8_t>(sum);
}

std::vector<std::uint8_t> SilentMp3Frame(const std::uint8_t* frame, int size) {
    const std::optional<Mp3FrameLayout> layout = ReadMp3FrameLayout(frame, size);
    if (!layout)
        return {};
    const std::uint32_t word = AV_RB32(frame);
    return ZeroFrame(word, ParseMpegAudioHeader(word)->bytes, *layout);
}

std::vector<std::uint8_t> Mp3CarrierFrame(const std::uint8_t* frame, int size,
                                          const std::uint8_t* reservoir, int count) {
    const std::optional<Mp3FrameLayout> source = ReadMp3FrameLayout(frame, size);
    if (!source || count < 0 || (count > 0 && reservoir == nullptr))
        return {};
    const std::uint32_t plain = AV_RB32(frame) & ~kBitRateBits & ~kPaddingBit;
    for (std::uint32_t index = kLowestBitRateIndex; index <= kHighestBitRateIndex; ++index) {
        const std::uint32_t word = plain | index << 12;
        const std::optional<MpegAudioHeader> header = ParseMpegAudioHeader(word);
        if (!header || header->bytes - source->sideOffset - source->sideBytes < count)
            continue;
        std::vector<std::uint8_t> carrier = ZeroFrame(word, header->bytes, *source);
        std::copy(reservoir, reservoir + count, carrier.end() - count);
        return carrier;
    }
    return {};
}

}  // namespace tolvane
