// ParseTimeCode on any text, and FormatTimeCode on what it gives back.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "TimeCode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::int32_t ms = tolvane::ParseTimeCode(text);
    const std::string formatted = tolvane::FormatTimeCode(ms);
    // Below 100 hours the canonical form reads back as written.
    constexpr std::int32_t kHundredHoursMs = 100 * 3600 * 1000;
    if (ms >= 0 && ms < kHundredHoursMs && tolvane::ParseTimeCode(formatted) != ms)
        std::abort();
    return 0;
}
