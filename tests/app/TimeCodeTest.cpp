#include "TimeCode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace tolvane {
namespace {

TEST(TimeCode, FormatsHoursMinutesSecondsAndMilliseconds) {
    EXPECT_EQ(FormatTimeCode(0), "00:00:00.000");
    EXPECT_EQ(FormatTimeCode(62003), "00:01:02.003");
    EXPECT_EQ(FormatTimeCode(3723004), "01:02:03.004");
    EXPECT_EQ(FormatTimeCode(59999), "00:00:59.999");
    EXPECT_EQ(FormatTimeCode(10), "00:00:00.010");
    EXPECT_EQ(FormatTimeCode(100), "00:00:00.100");
}

TEST(TimeCode, HoursTakeMoreDigitsWhenNeeded) {
    EXPECT_EQ(FormatTimeCode(360000000), "100:00:00.000");
    EXPECT_EQ(FormatTimeCode(std::numeric_limits<std::int32_t>::max()), "596:31:23.647");
}

TEST(TimeCode, NegativeValuesShowAMinusAndTheMagnitude) {
    EXPECT_EQ(FormatTimeCode(-1), "-00:00:00.001");
    EXPECT_EQ(FormatTimeCode(-62003), "-00:01:02.003");
    EXPECT_EQ(FormatTimeCode(std::numeric_limits<std::int32_t>::min()), "-596:31:23.648");
}

TEST(TimeCode, ParsesTheCanonicalFormBackToTheSameValue) {
    EXPECT_EQ(ParseTimeCode("00:01:02.003"), 62003);
    for (const std::int32_t ms : {0, 1, 999, 1000, 62003, 3599999, 86399999, 359999999})
        EXPECT_EQ(ParseTimeCode(FormatTimeCode(ms)), ms) << FormatTimeCode(ms);
}

TEST(TimeCode, ParsesLenientlyAsTheEditsWereRead) {
    EXPECT_EQ(ParseTimeCode(""), 0);
    EXPECT_EQ(ParseTimeCode("75"), 75075);             // seconds and again milliseconds
    EXPECT_EQ(ParseTimeCode("01:00:00"), 3600001);     // milliseconds from the text's start
    EXPECT_EQ(ParseTimeCode("00:00:05.5"), 5005);      // a count, not a fraction
    EXPECT_EQ(ParseTimeCode("1:12:03.004"), 3723004);  // minutes from the second ":"
    EXPECT_EQ(ParseTimeCode("100:00:00.000"), 360000000);
    EXPECT_EQ(ParseTimeCode("abc"), 0);
    EXPECT_EQ(ParseTimeCode("00:01: 02. 003"), 62003);      // white space before a number
    EXPECT_EQ(ParseTimeCode("596:31:23.648"), 2145623648);  // three hour digits: minutes lost
}

TEST(TimeCode, SignsAreTakenByTheIntegerConversion) {
    EXPECT_EQ(ParseTimeCode("-00:00:01.000"), 1000);  // "-00" is zero hours
    EXPECT_EQ(ParseTimeCode("00:00:-1.000"), -1000);
    EXPECT_EQ(ParseTimeCode("+00:00:02.+5"), 2005);
}

TEST(TimeCode, PositionsCountUtf16UnitsOfNonAsciiText) {
    // "é" is two UTF-8 bytes but one character: the minutes are read from "2", as in
    // "x:12:03.004" (counting bytes would read "12").
    EXPECT_EQ(ParseTimeCode("x:12:03.004"), 123004);
    EXPECT_EQ(ParseTimeCode("é:12:03.004"), 123004);
    EXPECT_EQ(ParseTimeCode("00:0時:05.000"), 5000);
}

TEST(TimeCode, OverflowWrapsInThirtyTwoBitsWithoutUndefinedBehaviour) {
    // 2147483.648 seconds is one past INT32_MAX milliseconds and wraps to INT32_MIN.
    EXPECT_EQ(ParseTimeCode("00:00:2147483.648"), std::numeric_limits<std::int32_t>::min());
    // Hours times 3600 times 1000 wrap modulo 2^32.
    const std::uint32_t hours = 1000000;
    const auto expected = static_cast<std::int32_t>(hours * 3600u * 1000u);
    EXPECT_EQ(ParseTimeCode("1000000:00:00.000"), expected);
    // Numbers beyond 32 bits saturate in the integer conversion, then the sum wraps.
    const std::uint32_t max = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(ParseTimeCode("99999999999"), static_cast<std::int32_t>(max * 1000u + max));
    EXPECT_EQ(ParseTimeCode("00:00:-99999999999.000"),
              static_cast<std::int32_t>(0x80000000u * 1000u));
}

}  // namespace
}  // namespace tolvane
