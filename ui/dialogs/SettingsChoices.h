#pragma once
// The entries of the output settings lists and how a chosen entry becomes an
// OutputProfile value. No Qt here: the texts are the lists' own.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane::settings {

inline constexpr std::string_view kMp3FormatPreview = "MP3 - MPEG Layer-3 Audio(*.MP3)";
inline constexpr std::string_view kEncoderMp3 = "MP3";

// The lists as the dialog first fills them.
inline constexpr std::array<std::string_view, 5> kInitialSampleRates = {
    "22050 Hz", "24000 Hz", "32000 Hz", "44100 Hz", "48000 Hz"};
inline constexpr std::array<std::string_view, 10> kInitialBitRates = {
    "32 kbps",  "48 kbps",  "64 kbps",  "80 kbps",  "96 kbps",
    "128 kbps", "160 kbps", "192 kbps", "256 kbps", "320 kbps"};
inline constexpr std::array<std::string_view, 2> kChannelChoices = {"1 Channel Mono",
                                                                    "2 Channel Stereo"};
inline constexpr std::array<std::string_view, 1> kEncoders = {kEncoderMp3};

// The lists rebuilt for the MP3 encoder (on showing and on an encoder change).
inline constexpr std::array<std::string_view, 4> kMp3SampleRates = {"44100 Hz", "48000 Hz",
                                                                    "22050 Hz", "32000 Hz"};
inline constexpr std::array<std::string_view, 8> kMp3BitRates = {
    "32 kbps", "64 kbps", "96 kbps", "128 kbps", "160 kbps", "192 kbps", "256 kbps", "320 kbps"};

// Selected when nothing is remembered, and after every rebuild.
inline constexpr std::string_view kDefaultSampleRate = "44100 Hz";
inline constexpr std::string_view kDefaultBitRate = "128 kbps";
inline constexpr std::string_view kDefaultChannels = "2 Channel Stereo";

// The integer before " Hz" ("22050 Hz" gives 22050); 0 when the text has no " Hz".
std::int32_t SampleRateOfText(std::string_view text);

// 1 for "1 Channel Mono", 2 for "2 Channel Stereo"; nullopt for any other text.
std::optional<std::int32_t> ChannelsOfText(std::string_view text);

// The number before " kbps" read as a decimal fraction, times 1000, truncated
// ("128 kbps" gives 128000); 0 when the text has no " kbps".
std::int32_t BitRateOfText(std::string_view text);

// The texts of the lists at an OK.
struct SettingsSelection {
    std::string encoder;
    std::string bitRate;
    std::string sampleRate;
    std::string channels;
};

}  // namespace tolvane::settings
