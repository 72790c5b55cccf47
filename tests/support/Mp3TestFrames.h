#pragma once
// Layer III frames made up for tests of the bit reservoir: a header, side information
// that gives where the main data begins and how long it is, and a payload of one byte.

#include <cstdint>
#include <vector>

#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane::testing {

inline constexpr std::uint32_t kMp3Header = 0xFFFB9000;  // MPEG-1, 128k, 44.1 kHz, stereo
inline constexpr std::uint32_t kMp3CrcHeader = 0xFFFA9000;
inline constexpr std::uint32_t kMp3LsfMonoHeader = 0xFFF310C0;  // MPEG-2, 8k, 22.05 kHz

// A frame with header `header` whose main data starts `begin` bytes back and is `bytes`
// long (in its first granule and channel), the payload filled with `fill`.
ff::PacketPtr MakeMp3Frame(int begin, int bytes, std::uint8_t fill,
                           std::uint32_t header = kMp3Header);

std::vector<std::uint8_t> PacketBytes(const AVPacket& packet);

}  // namespace tolvane::testing
