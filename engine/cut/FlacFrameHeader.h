#pragma once
// The header of one FLAC frame: reading it, and writing the frame again under another
// sample number. A frame starts with a 14-bit sync code and the blocking strategy bit,
// the codes of block size, rate, channels and bits per sample, then the frame number
// (fixed block size) or the number of its first sample (variable block size) in a
// UTF-8-like code of 1 to 7 bytes, the optional block size and rate bytes the codes ask
// for, and a CRC-8 of all that. A CRC-16 over the whole frame ends it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tolvane {

class FlacFrameHeader {
  public:
    // Largest number the coded number can hold (36 bits, seven bytes).
    static constexpr std::uint64_t kMaxNumber = (std::uint64_t{1} << 36) - 1;

    // Reads the header at the start of `frame`; nothing when it is no valid header
    // (sync, reserved codes, the coded number or the CRC-8 wrong).
    static std::optional<FlacFrameHeader> Parse(std::span<const std::uint8_t> frame);

    bool variableBlockSize() const { return variable_; }
    // Samples per channel in the frame.
    std::uint32_t blockSize() const { return blockSize_; }
    // The frame number (fixed block size) or the first sample's number (variable).
    std::uint64_t number() const { return number_; }
    // Bytes of the header, CRC-8 included.
    std::size_t size() const { return size_; }

    // The whole `frame` again as a frame of a variable block size stream whose first
    // sample is `sampleNumber`: new coded number, CRC-8 and CRC-16. Empty when `frame`
    // does not start with this header or has no room for its CRC-16.
    std::vector<std::uint8_t> Renumbered(std::span<const std::uint8_t> frame,
                                         std::uint64_t sampleNumber) const;
    // Bytes of the renumbered frame; 0 when `sampleNumber` cannot be coded.
    std::size_t RenumberedSize(std::size_t frameSize, std::uint64_t sampleNumber) const;
    // Writes the renumbered frame into `out` of RenumberedSize bytes; false when it
    // cannot. The CRC-16 is brought up to date from the frame's own, so a frame damaged
    // in the source still fails its check.
    bool RenumberInto(std::span<const std::uint8_t> frame, std::uint64_t sampleNumber,
                      std::span<std::uint8_t> out) const;

    // The coded number: 1 to 7 bytes; empty past kMaxNumber.
    static std::vector<std::uint8_t> EncodeNumber(std::uint64_t number);
    // Reads a coded number at the start of `bytes`; its value and length in bytes.
    struct Coded {
        std::uint64_t value = 0;
        std::size_t length = 0;
    };
    static std::optional<Coded> DecodeNumber(std::span<const std::uint8_t> bytes);

    // CRC-8 of the header (polynomial x^8 + x^2 + x + 1, start 0).
    static std::uint8_t Crc8(std::span<const std::uint8_t> bytes);
    // CRC-16 of the frame (polynomial x^16 + x^15 + x^2 + 1, start 0).
    static std::uint16_t Crc16(std::span<const std::uint8_t> bytes);
    // The lengths past `minimum` at which `bytes` would end as a whole frame: its CRC-16,
    // taken over the bytes before and including the last two, comes out zero. Ascending.
    static std::vector<std::size_t> CrcEnds(std::span<const std::uint8_t> bytes,
                                            std::size_t minimum);

  private:
    bool variable_ = false;
    std::uint32_t blockSize_ = 0;
    std::uint64_t number_ = 0;
    std::size_t numberLength_ = 0;
    std::size_t size_ = 0;
};

}  // namespace tolvane
