#include "TimeCode.h"

#include <cstddef>
#include <limits>

#include "TextEncoding.h"

namespace tolvane {
namespace {

void AppendTwoDigits(std::string& out, std::int64_t value) {
    if (value < 10)
        out += '0';
    out += std::to_string(value);
}

// The time code of a value that is zero or more (int64, so the magnitude of INT32_MIN fits).
std::string FormatNonNegative(std::int64_t ms) {
    const std::int64_t fraction = ms % 1000;
    const std::int64_t totalSeconds = ms / 1000;
    const std::int64_t hours = totalSeconds / 3600;
    const std::int64_t rest = totalSeconds - hours * 3600;

    std::string out;
    AppendTwoDigits(out, hours);
    out += ':';
    AppendTwoDigits(out, rest / 60);
    out += ':';
    AppendTwoDigits(out, rest % 60);
    out += '.';
    if (fraction < 10) {
        out += "00";
    } else if (fraction < 100) {
        out += '0';
    }
    out += std::to_string(fraction);
    return out;
}

bool IsWhiteSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// The wide-text integer conversion the edits were read with: leading white space, an
// optional sign, then decimal digits up to the first other character; 0 without digits.
// Values beyond the 32-bit range saturate at INT32_MIN / INT32_MAX.
std::int32_t ToInt(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsWhiteSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - u'0');
        if (magnitude > kLimit)
            magnitude = kLimit;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

// First k characters: none if k <= 0, all if k >= the length.
std::u16string_view Left(std::u16string_view text, std::int64_t k) {
    if (k <= 0)
        return {};
    return text.substr(0, static_cast<std::size_t>(k));
}

// Last k characters, with the same bounds as Left.
std::u16string_view Right(std::u16string_view text, std::int64_t k) {
    if (k <= 0)
        return {};
    if (static_cast<std::size_t>(k) >= text.size())
        return text;
    return text.substr(text.size() - static_cast<std::size_t>(k));
}

std::int64_t FindFirst(std::u16string_view text, char16_t c) {
    const auto pos = text.find(c);
    return pos == std::u16string_view::npos ? -1 : static_cast<std::int64_t>(pos);
}

std::int64_t FindLast(std::u16string_view text, char16_t c) {
    const auto pos = text.rfind(c);
    return pos == std::u16string_view::npos ? -1 : static_cast<std::int64_t>(pos);
}

}  // namespace

std::string FormatTimeCode(std::int32_t ms) {
    if (ms < 0)
        return "-" + FormatNonNegative(-std::int64_t{ms});
    return FormatNonNegative(ms);
}

std::int32_t ParseTimeCode(std::string_view utf8Text) {
    // Positions count UTF-16 code units, as the edits' own text did.
    const std::u16string wide = Utf8ToUtf16(utf8Text);
    const std::u16string_view t = wide;
    const auto n = static_cast<std::int64_t>(t.size());

    const std::int64_t a = FindFirst(t, u':');
    const std::int32_t hours = ToInt(Left(t, a));

    const std::u16string_view l = Left(t, a + 3);
    const std::int64_t b = FindLast(l, u':');
    const std::int32_t minutes = ToInt(Right(l, b));

    const std::int64_t c = FindLast(t, u':');
    const std::int32_t seconds = ToInt(Right(t, n - c - 1));

    const std::int64_t d = FindFirst(t, u'.');
    const std::int32_t milliseconds = ToInt(Right(t, n - d - 1));

    // 32-bit signed arithmetic that wraps: computed unsigned, converted back (C++20
    // defines the conversion as modulo 2^32).
    const auto u = [](std::int32_t v) { return static_cast<std::uint32_t>(v); };
    const std::uint32_t total =
        (u(hours) * 3600u + u(minutes) * 60u + u(seconds)) * 1000u + u(milliseconds);
    return static_cast<std::int32_t>(total);
}

}  // namespace tolvane
