#pragma once
// How far a key moves a mark of a file "by one step of its format": a format whose cut
// lands only on whole packets steps by one packet's duration; every other format is cut
// at the sample, and steps by a millisecond.

#include <cstdint>
#include <string>

namespace tolvane {

inline constexpr std::int64_t kExactMarkStepUs = 1000;

// The step of `path`'s best audio stream, in microseconds (kExactMarkStepUs when the
// file cannot be read).
std::int64_t MarkStepUs(const std::string& path);

}  // namespace tolvane
