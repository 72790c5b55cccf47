#pragma once
// Seconds as FFmpeg's microsecond timestamps.

#include <cstdint>

namespace tolvane {

// Truncates toward zero; values beyond what a timestamp holds are clamped, NaN is 0.
inline std::int64_t SecondsToMicros(double seconds) {
    const double us = seconds * 1e6;
    constexpr double limit = 9.0e18;
    if (!(us > -limit))
        return us < 0 ? -static_cast<std::int64_t>(limit) : 0;  // NaN -> 0
    if (us > limit)
        return static_cast<std::int64_t>(limit);
    return static_cast<std::int64_t>(us);
}

}  // namespace tolvane
