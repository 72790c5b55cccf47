#include "Mp3BitRates.h"

#include <array>
#include <cstdlib>

namespace tolvane {

namespace {

constexpr std::array<std::int32_t, 14> kMpeg1 = {32,  40,  48,  56,  64,  80,  96,
                                                 112, 128, 160, 192, 224, 256, 320};
constexpr std::array<std::int32_t, 14> kMpeg2 = {8,  16, 24, 32,  40,  48,  56,
                                                 64, 80, 96, 112, 128, 144, 160};

}  // namespace

std::span<const std::int32_t> Mp3BitRatesKbps(std::int32_t sampleRate) {
    switch (sampleRate) {
        case 32000:
        case 44100:
        case 48000:
            return kMpeg1;
        case 8000:
        case 11025:
        case 12000:
        case 16000:
        case 22050:
        case 24000:
            return kMpeg2;
        default:
            return {};
    }
}

std::int32_t NearestMp3BitRateKbps(std::int32_t sampleRate, std::int32_t kbps) {
    std::int32_t nearest = kbps;
    std::int64_t distance = -1;
    for (const std::int32_t rate : Mp3BitRatesKbps(sampleRate)) {
        const std::int64_t d = std::llabs(std::int64_t{rate} - kbps);
        if (distance < 0 || d < distance) {
            nearest = rate;
            distance = d;
        }
    }
    return nearest;
}

}  // namespace tolvane
