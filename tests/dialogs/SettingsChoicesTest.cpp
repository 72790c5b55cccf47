#include <gtest/gtest.h>

#include "SettingsChoices.h"

namespace tolvane::settings {
namespace {

TEST(SettingsDialogChoices, SampleRateIsTheNumberBeforeHz) {
    EXPECT_EQ(SampleRateOfText("22050 Hz"), 22050);
    EXPECT_EQ(SampleRateOfText("48000 Hz"), 48000);
    EXPECT_EQ(SampleRateOfText("44100"), 0) << "no \" Hz\"";
    EXPECT_EQ(SampleRateOfText(""), 0);
    EXPECT_EQ(SampleRateOfText("abc Hz"), 0);
}

TEST(SettingsDialogChoices, BitRateIsKilobitsTimesAThousandTruncated) {
    EXPECT_EQ(BitRateOfText("128 kbps"), 128000);
    EXPECT_EQ(BitRateOfText("320 kbps"), 320000);
    EXPECT_EQ(BitRateOfText("32 kbps"), 32000);
    EXPECT_EQ(BitRateOfText("0.0015 kbps"), 1);
    EXPECT_EQ(BitRateOfText("128"), 0);
    EXPECT_EQ(BitRateOfText("99999999999 kbps"), 2147483647) << "clamped, not overflowed";
}

TEST(SettingsDialogChoices, ChannelsOnlyForTheTwoListTexts) {
    EXPECT_EQ(ChannelsOfText("1 Channel Mono"), 1);
    EXPECT_EQ(ChannelsOfText("2 Channel Stereo"), 2);
    EXPECT_EQ(ChannelsOfText("3 Channel"), std::nullopt);
    EXPECT_EQ(ChannelsOfText(""), std::nullopt);
}

}  // namespace
}  // namespace tolvane::settings
