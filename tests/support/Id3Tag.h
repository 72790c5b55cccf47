#pragma once
// ID3v2 tags at the start of an MP3, for tests that write or skip them.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolvane::testing {

// A 10-byte ID3v2.3 header whose size field says `claimedSize`.
std::string Id3Header(std::uint32_t claimedSize);
// Size of the ID3v2 tag at the start of `bytes` (header included), 0 when there is none.
std::size_t Id3TagSize(const std::string& bytes);

}  // namespace tolvane::testing
