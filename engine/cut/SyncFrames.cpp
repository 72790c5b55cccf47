#include "engine/cut/SyncFrames.h"

#include <algorithm>
#include <iterator>

namespace tolvane {

namespace {

// kbit/s by frmsizecod / 2.
constexpr int kAc3BitRates[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                  192, 224, 256, 320, 384, 448, 512, 576, 640};
constexpr int kAc3Rates[3] = {48000, 44100, 32000};
constexpr int kBlockSamples = 256;
constexpr int kBlocksByCode[4] = {1, 2, 3, 6};
// bsid: up to 8 AC-3, 9 and 10 AC-3 at half and quarter rate, 11 to 16 E-AC-3.
constexpr int kLastAc3Bsid = 10;
constexpr int kLastEac3Bsid = 16;
// DTS core frames: rates by SFREQ, the smallest frame and block count the format allows.
constexpr int kDtsRates[16] = {0,     8000, 16000, 32000, 0,     0,     11025, 22050,
                               44100, 0,    0,     12000, 24000, 48000, 0,     0};
constexpr int kDtsMinBytes = 96;
constexpr int kDtsMinBlocks = 6;
constexpr int kDtsBlockSamples = 32;

std::optional<SyncFrameHeader> ParseAc3(const std::uint8_t* p, int bsid) {
    const int fscod = p[4] >> 6;
    const int frmsizecod = p[4] & 0x3F;
    if (fscod == 3 || frmsizecod >= 2 * static_cast<int>(std::size(kAc3BitRates)))
        return std::nullopt;
    const int kbps = kAc3BitRates[frmsizecod >> 1];
    // 16-bit words of 1536 samples at the bit rate; 44.1 kHz does not divide evenly, and
    // the odd codes carry one word more so an encoder can keep the rate on average.
    int words = 0;
    switch (fscod) {
        case 0:
            words = 2 * kbps;
            break;
        case 1:
            words = kbps * 96000 / 44100 + (frmsizecod & 1);
            break;
        default:
            words = 3 * kbps;
            break;
    }
    SyncFrameHeader header;
    header.bytes = 2 * words;
    header.samples = 6 * kBlockSamples;
    header.sampleRate = kAc3Rates[fscod] >> std::max(bsid - 8, 0);
    return header;
}

std::optional<SyncFrameHeader> ParseEac3(const std::uint8_t* p) {
    const int streamType = p[2] >> 6;  // 0 independent, 1 dependent, 2 converted from AC-3
    if (streamType == 3)
        return std::nullopt;
    const int fscod = p[4] >> 6;
    const int code = (p[4] >> 4) & 3;  // blocks, or the reduced rate when fscod is 3
    SyncFrameHeader header;
    header.kind = SyncFrameKind::Eac3;
    header.bytes = 2 * ((((p[2] & 7) << 8) | p[3]) + 1);
    if (fscod == 3) {
        if (code == 3)
            return std::nullopt;
        header.sampleRate = kAc3Rates[code] / 2;
        header.samples = 6 * kBlockSamples;
    } else {
        header.sampleRate = kAc3Rates[fscod];
        header.samples = kBlocksByCode[code] * kBlockSamples;
    }
    if (header.bytes < kSyncFrameHeaderBytes)
        return std::nullopt;
    header.dependent = streamType == 1;
    header.substream = (p[2] >> 3) & 7;
    return header;
}

std::optional<SyncFrameHeader> ParseDts(const std::uint8_t* p) {
    const int blocks = (((p[4] & 1) << 6) | (p[5] >> 2)) + 1;
    const int bytes = (((p[5] & 3) << 12) | (p[6] << 4) | (p[7] >> 4)) + 1;
    const int rate = kDtsRates[(p[8] >> 2) & 0x0F];
    if (blocks < kDtsMinBlocks || bytes < kDtsMinBytes || rate == 0)
        return std::nullopt;
    SyncFrameHeader header;
    header.kind = SyncFrameKind::Dts;
    header.bytes = bytes;
    header.samples = blocks * kDtsBlockSamples;
    header.sampleRate = rate;
    return header;
}

}  // namespace

std::optional<SyncFrameHeader> ParseSyncFrameHeader(const std::uint8_t* bytes) {
    if (bytes[0] == 0x7F && bytes[1] == 0xFE && bytes[2] == 0x80 && bytes[3] == 0x01)
        return ParseDts(bytes);
    if (bytes[0] != 0x0B || bytes[1] != 0x77)
        return std::nullopt;
    const int bsid = bytes[5] >> 3;
    if (bsid <= kLastAc3Bsid)
        return ParseAc3(bytes, bsid);
    return bsid <= kLastEac3Bsid ? ParseEac3(bytes) : std::nullopt;
}

}  // namespace tolvane
