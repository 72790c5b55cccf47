#include "engine/cut/Mp3InfoFrame.h"

#include <cstring>

#include "engine/cut/MpegAudioFrames.h"

namespace tolvane {

namespace {

constexpr std::uint32_t kFramesFlag = 1;
constexpr std::uint32_t kBytesFlag = 2;
constexpr std::uint32_t kTocFlag = 4;
constexpr std::uint32_t kQualityFlag = 8;
// In the LAME tag: the 9-byte version, the delay and padding (12 bits each) at 21, the
// checksum of the frame's first 190 bytes at 34.
constexpr std::size_t kTagBytes = 36;
constexpr std::size_t kDelayAt = 21;
constexpr std::size_t kTagCrcAt = 34;
constexpr std::size_t kCrcCovers = 190;
constexpr char kLameVersion[] = "LAME3.100";

std::uint32_t ReadBe32(const std::uint8_t* at) {
    return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) |
           (std::uint32_t{at[2]} << 8) | std::uint32_t{at[3]};
}

// CRC-16 with the reflected polynomial 0xA001, starting at 0, as LAME computes the tag's.
std::uint16_t TagCrc(const std::uint8_t* data, std::size_t size) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

struct Located {
    std::size_t xing = 0;  // "Xing" or "Info"
    std::size_t lame = 0;  // the LAME tag, 0 when there is none
    std::uint32_t flags = 0;
    MpegAudioHeader header;
};

std::optional<Located> Locate(const std::uint8_t* frame, std::size_t size) {
    if (size < 4)
        return std::nullopt;
    const std::uint32_t word = ReadBe32(frame);
    const std::optional<MpegAudioHeader> header = ParseMpegAudioHeader(word);
    if (!header || ((word >> 17) & 3) != 1)  // layer III only
        return std::nullopt;
    const bool mpeg1 = ((word >> 19) & 3) == 3;
    const bool mono = ((word >> 6) & 3) == 3;
    const std::size_t sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    // Readers look for the tag right after the side information, CRC or not.
    for (std::size_t at : {4 + sideInfo, 6 + sideInfo}) {
        if (at + 8 > size ||
            (std::memcmp(frame + at, "Xing", 4) != 0 && std::memcmp(frame + at, "Info", 4) != 0))
            continue;
        Located found;
        found.xing = at;
        found.header = *header;
        found.flags = ReadBe32(frame + at + 4);
        std::size_t tag = at + 8;
        tag += (found.flags & kFramesFlag) ? 4 : 0;
        tag += (found.flags & kBytesFlag) ? 4 : 0;
        tag += (found.flags & kTocFlag) ? 100 : 0;
        tag += (found.flags & kQualityFlag) ? 4 : 0;
        if (tag + kTagBytes <= size && tag + kTagBytes <= static_cast<std::size_t>(header->bytes))
            found.lame = tag;
        return found;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Mp3InfoTag> ReadMp3InfoFrame(const std::uint8_t* frame, std::size_t size) {
    const std::optional<Located> at = Locate(frame, size);
    if (!at)
        return std::nullopt;
    Mp3InfoTag tag;
    tag.frameSamples = at->header.samples;
    tag.sampleRate = at->header.sampleRate;
    if (at->flags & kFramesFlag)
        tag.frames = ReadBe32(frame + at->xing + 8);
    if (at->lame != 0) {
        const std::uint8_t* d = frame + at->lame + kDelayAt;
        tag.hasLameTag = true;
        tag.delay = (d[0] << 4) | (d[1] >> 4);
        tag.padding = ((d[1] & 0x0F) << 8) | d[2];
    }
    return tag;
}

bool FixMp3InfoFrame(std::uint8_t* frame, std::size_t size, bool crcProtected) {
    const std::optional<Located> at = Locate(frame, size);
    if (!at || at->lame == 0 || at->lame + kTagBytes > size)
        return false;
    // The protection bit is set when there is no CRC.
    frame[1] = static_cast<std::uint8_t>(crcProtected ? (frame[1] & 0xFE) : (frame[1] | 1));
    std::memcpy(frame + at->lame, kLameVersion, sizeof kLameVersion - 1);
    const std::uint16_t crc = TagCrc(frame, kCrcCovers);
    frame[at->lame + kTagCrcAt] = static_cast<std::uint8_t>(crc >> 8);
    frame[at->lame + kTagCrcAt + 1] = static_cast<std::uint8_t>(crc);
    return true;
}

std::size_t Mp3AudioOffset(const std::uint8_t* head, std::size_t size) {
    if (size < 10 || std::memcmp(head, "ID3", 3) != 0)
        return 0;
    const std::size_t footer = (head[5] & 0x10) ? 10 : 0;
    return 10 + footer + ((std::size_t{head[6]} & 0x7F) << 21) +
           ((std::size_t{head[7]} & 0x7F) << 14) + ((std::size_t{head[8]} & 0x7F) << 7) +
           (std::size_t{head[9]} & 0x7F);
}

}  // namespace tolvane
