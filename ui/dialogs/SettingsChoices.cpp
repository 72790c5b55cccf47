#include "SettingsChoices.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tolvane::settings {

namespace {

std::string_view TrimLeadingBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    return text;
}

// Leading-number reading as the C library's atoi/atof do it: blanks skipped, as much of
// the number taken as stands there, 0 when none does.
template <typename Number>
Number LeadingNumber(std::string_view text) {
    text = TrimLeadingBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    Number value{};
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() ? value : Number{};
}

std::int32_t ClampToInt32(double value) {
    if (!std::isfinite(value))
        return 0;
    value = std::trunc(value);
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    constexpr double kMin = std::numeric_limits<std::int32_t>::min();
    if (value > kMax)
        return std::numeric_limits<std::int32_t>::max();
    if (value < kMin)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

}  // namespace

std::int32_t SampleRateOfText(std::string_view text) {
    const auto unit = text.find(" Hz");
    if (unit == std::string_view::npos)
        return 0;
    return LeadingNumber<std::int32_t>(text.substr(0, unit));
}

std::optional<std::int32_t> ChannelsOfText(std::string_view text) {
    if (text == kChannelChoices[0])
        return 1;
    if (text == kChannelChoices[1])
        return 2;
    return std::nullopt;
}

std::int32_t BitRateOfText(std::string_view text) {
    const auto unit = text.find(" kbps");
    if (unit == std::string_view::npos)
        return 0;
    return ClampToInt32(LeadingNumber<double>(text.substr(0, unit)) * 1000.0);
}

}  // namespace tolvane::settings
