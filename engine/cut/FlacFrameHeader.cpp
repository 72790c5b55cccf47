#include "engine/cut/FlacFrameHeader.h"

#include <algorithm>
#include <array>
#include <bit>

namespace tolvane {

namespace {

constexpr std::size_t kNumberOffset = 4;  // sync and strategy, then the four codes

constexpr std::array<std::uint8_t, 256> MakeCrc8Table() {
    std::array<std::uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80) ? ((crc << 1) ^ 0x07) : (crc << 1);
        table[i] = static_cast<std::uint8_t>(crc);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> MakeCrc16Table() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? ((crc << 1) ^ 0x8005) : (crc << 1);
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

// Slicing by 8: table k gives the CRC of a byte followed by k zero bytes, so eight bytes
// are taken in one step. Every frame of a FLAC join or cut is checked, and a bytewise
// CRC made most of a join's time.
constexpr std::array<std::array<std::uint16_t, 256>, 8> MakeCrc16Slices() {
    std::array<std::array<std::uint16_t, 256>, 8> slices{};
    slices[0] = MakeCrc16Table();
    for (std::size_t k = 1; k < slices.size(); ++k) {
        for (unsigned b = 0; b < 256; ++b) {
            const std::uint16_t previous = slices[k - 1][b];
            slices[k][b] = static_cast<std::uint16_t>((previous << 8) ^ slices[0][previous >> 8]);
        }
    }
    return slices;
}

constexpr auto kCrc8Table = MakeCrc8Table();
constexpr auto kCrc16Slices = MakeCrc16Slices();
constexpr const auto& kCrc16Table = kCrc16Slices[0];

// Product of two polynomials of degree below 16 modulo the CRC-16 polynomial.
std::uint16_t MultiplyModulo(std::uint16_t a, std::uint16_t b) {
    std::uint16_t product = 0;
    for (int bit = 15; bit >= 0; --bit) {
        product = static_cast<std::uint16_t>((product << 1) ^ ((product & 0x8000) ? 0x8005 : 0));
        if ((b >> bit) & 1)
            product ^= a;
    }
    return product;
}

// The CRC-16 of a message followed by `zeros` zero bytes, from the message's CRC:
// appending them multiplies by x^(8 * zeros).
std::uint16_t Crc16AfterZeros(std::uint16_t crc, std::uint64_t zeros) {
    std::uint16_t power = 1;
    std::uint16_t square = 0x0100;  // x^8
    for (; zeros != 0; zeros >>= 1) {
        if (zeros & 1)
            power = MultiplyModulo(power, square);
        square = MultiplyModulo(square, square);
    }
    return MultiplyModulo(crc, power);
}

}  // namespace

std::uint8_t FlacFrameHeader::Crc8(std::span<const std::uint8_t> bytes) {
    std::uint8_t crc = 0;
    for (std::uint8_t b : bytes)
        crc = kCrc8Table[crc ^ b];
    return crc;
}

std::vector<std::size_t> FlacFrameHeader::CrcEnds(std::span<const std::uint8_t> bytes,
                                                  std::size_t minimum) {
    std::vector<std::size_t> ends;
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrc16Table[(crc >> 8) ^ bytes[i]]);
        if (crc == 0 && i + 1 > minimum)
            ends.push_back(i + 1);
    }
    return ends;
}

std::uint16_t FlacFrameHeader::Crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0;
    const std::uint8_t* at = bytes.data();
    const std::uint8_t* const end = at + bytes.size();
    const auto& t = kCrc16Slices;
    for (; end - at >= 8; at += 8) {
        crc = static_cast<std::uint16_t>(t[7][at[0] ^ (crc >> 8)] ^ t[6][at[1] ^ (crc & 0xFF)] ^
                                         t[5][at[2]] ^ t[4][at[3]] ^ t[3][at[4]] ^ t[2][at[5]] ^
                                         t[1][at[6]] ^ t[0][at[7]]);
    }
    for (; at != end; ++at)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrc16Table[(crc >> 8) ^ *at]);
    return crc;
}

std::vector<std::uint8_t> FlacFrameHeader::EncodeNumber(std::uint64_t number) {
    if (number > kMaxNumber)
        return {};
    if (number < 0x80)
        return {static_cast<std::uint8_t>(number)};
    // Continuation bytes carry 6 bits each; the first byte tells the length with its
    // leading ones and carries what is left.
    std::size_t length = 2;
    while (length < 7 && number >= (std::uint64_t{1} << (5 * length + 1)))
        ++length;
    std::vector<std::uint8_t> out(length);
    for (std::size_t i = length - 1; i > 0; --i) {
        out[i] = static_cast<std::uint8_t>(0x80 | (number & 0x3F));
        number >>= 6;
    }
    const unsigned lead = (0xFF00u >> length) & 0xFF;
    out[0] = static_cast<std::uint8_t>(lead | number);
    return out;
}

std::optional<FlacFrameHeader::Coded> FlacFrameHeader::DecodeNumber(
    std::span<const std::uint8_t> bytes) {
    if (bytes.empty())
        return std::nullopt;
    const std::uint8_t first = bytes[0];
    // The leading ones of the first byte give the length; one alone marks a
    // continuation byte, eight are no code.
    const int ones = std::countl_one(first);
    if (ones == 1 || ones == 8)
        return std::nullopt;
    const std::size_t length = ones == 0 ? 1 : static_cast<std::size_t>(ones);
    if (bytes.size() < length)
        return std::nullopt;
    std::uint64_t value = length == 1 ? first : (first & (0x7Fu >> length));
    for (std::size_t i = 1; i < length; ++i) {
        if ((bytes[i] & 0xC0) != 0x80)
            return std::nullopt;
        value = (value << 6) | (bytes[i] & 0x3F);
    }
    return Coded{value, length};
}

std::optional<FlacFrameHeader> FlacFrameHeader::Parse(std::span<const std::uint8_t> frame) {
    if (frame.size() < kNumberOffset + 2 || frame[0] != 0xFF || (frame[1] & 0xFE) != 0xF8)
        return std::nullopt;
    FlacFrameHeader header;
    header.variable_ = (frame[1] & 0x01) != 0;
    const unsigned sizeCode = frame[2] >> 4;
    const unsigned rateCode = frame[2] & 0x0F;
    const unsigned channelCode = frame[3] >> 4;
    const unsigned bitsCode = (frame[3] >> 1) & 0x07;
    if (sizeCode == 0 || rateCode == 15 || channelCode > 10 || bitsCode == 3 || (frame[3] & 1))
        return std::nullopt;
    const auto coded = DecodeNumber(frame.subspan(kNumberOffset));
    if (!coded || (!header.variable_ && coded->length > 6))
        return std::nullopt;
    header.number_ = coded->value;
    header.numberLength_ = coded->length;
    std::size_t at = kNumberOffset + coded->length;
    const std::size_t sizeBytes = sizeCode == 6 ? 1 : (sizeCode == 7 ? 2 : 0);
    const std::size_t rateBytes = rateCode == 12 ? 1 : (rateCode == 13 || rateCode == 14 ? 2 : 0);
    if (frame.size() < at + sizeBytes + rateBytes + 1)
        return std::nullopt;
    if (sizeCode == 1)
        header.blockSize_ = 192;
    else if (sizeCode <= 5)
        header.blockSize_ = 576u << (sizeCode - 2);
    else if (sizeCode == 6)
        header.blockSize_ = frame[at] + 1u;
    else if (sizeCode == 7)
        header.blockSize_ = ((static_cast<std::uint32_t>(frame[at]) << 8) | frame[at + 1]) + 1u;
    else
        header.blockSize_ = 256u << (sizeCode - 8);
    at += sizeBytes + rateBytes;
    if (Crc8(frame.first(at)) != frame[at])
        return std::nullopt;
    header.size_ = at + 1;
    return header;
}

std::size_t FlacFrameHeader::RenumberedSize(std::size_t frameSize,
                                            std::uint64_t sampleNumber) const {
    const std::size_t length = EncodeNumber(sampleNumber).size();
    if (length == 0 || frameSize < size_ + 2)
        return 0;
    return frameSize - numberLength_ + length;
}

bool FlacFrameHeader::RenumberInto(std::span<const std::uint8_t> frame, std::uint64_t sampleNumber,
                                   std::span<std::uint8_t> out) const {
    const std::vector<std::uint8_t> number = EncodeNumber(sampleNumber);
    const std::size_t total = RenumberedSize(frame.size(), sampleNumber);
    if (total == 0 || out.size() != total)
        return false;
    out[0] = 0xFF;
    out[1] = 0xF9;  // variable block size: the number counts samples
    out[2] = frame[2];
    out[3] = frame[3];
    std::copy(number.begin(), number.end(), out.begin() + kNumberOffset);
    // The optional block size and rate bytes, unchanged.
    const std::size_t extraFrom = kNumberOffset + numberLength_;
    const std::size_t newSize = size_ - numberLength_ + number.size();
    std::copy(frame.begin() + static_cast<std::ptrdiff_t>(extraFrom),
              frame.begin() + static_cast<std::ptrdiff_t>(size_ - 1),
              out.begin() + static_cast<std::ptrdiff_t>(kNumberOffset + number.size()));
    out[newSize - 1] = Crc8(out.first(newSize - 1));
    const std::size_t body = frame.size() - 2 - size_;
    std::copy(frame.begin() + static_cast<std::ptrdiff_t>(size_), frame.end() - 2,
              out.begin() + static_cast<std::ptrdiff_t>(newSize));

    // The CRC is linear and leading zero bytes leave it unchanged, so the new one is the
    // old one plus the CRC of the two headers' difference followed by the body's length
    // in zero bytes: no pass over the body.
    const std::size_t width = std::max(size_, newSize);
    std::vector<std::uint8_t> difference(width, 0);
    for (std::size_t i = 0; i < size_; ++i)
        difference[width - size_ + i] ^= frame[i];
    for (std::size_t i = 0; i < newSize; ++i)
        difference[width - newSize + i] ^= out[i];
    const auto stored = static_cast<std::uint16_t>(frame[frame.size() - 2] << 8 | frame.back());
    const std::uint16_t crc =
        stored ^ Crc16AfterZeros(Crc16(difference), static_cast<std::uint64_t>(body));
    out[total - 2] = static_cast<std::uint8_t>(crc >> 8);
    out[total - 1] = static_cast<std::uint8_t>(crc);
    return true;
}

std::vector<std::uint8_t> FlacFrameHeader::Renumbered(std::span<const std::uint8_t> frame,
                                                      std::uint64_t sampleNumber) const {
    std::vector<std::uint8_t> out(RenumberedSize(frame.size(), sampleNumber));
    if (out.empty() || !RenumberInto(frame, sampleNumber, out))
        return {};
    return out;
}

}  // namespace tolvane
