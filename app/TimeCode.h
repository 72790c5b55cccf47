#pragma once
// Times as the user reads and types them: "00:00:00.000" (hours, minutes, seconds,
// milliseconds), and their conversion to and from a signed 32-bit count of
// milliseconds.

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvane {

// "hh:mm:ss.fff"; hours take more digits when needed. A negative value gives "-"
// followed by the time code of its magnitude.
std::string FormatTimeCode(std::int32_t ms);

// Lenient: gives a value for any text and never fails (32-bit wrap-around arithmetic).
std::int32_t ParseTimeCode(std::string_view text);

}  // namespace tolvane
