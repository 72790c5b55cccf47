#pragma once
// The bit rates an MP3 stream can carry at a sample rate. MPEG-1 (32, 44.1 and 48 kHz)
// goes from 32 to 320 kbit/s; MPEG-2 and 2.5 (8 to 24 kHz) from 8 to 160 kbit/s. An
// encoder asked for another rate writes one of these, so a choice outside them is not
// what the output gets.

#include <cstdint>
#include <span>

namespace tolvane {

// The bit rates in kbit/s, rising; empty for a sample rate MP3 does not have.
std::span<const std::int32_t> Mp3BitRatesKbps(std::int32_t sampleRate);

// The rate of Mp3BitRatesKbps(sampleRate) nearest to `kbps` (the lower one of two as
// near); `kbps` itself when the sample rate has none.
std::int32_t NearestMp3BitRateKbps(std::int32_t sampleRate, std::int32_t kbps);

}  // namespace tolvane
