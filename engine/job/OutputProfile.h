#pragma once
// Encoding parameters of a join, kept by the window for the run and edited by the
// output settings dialog. Never saved.

#include <cstdint>
#include <string>

namespace tolvane {

inline constexpr std::int32_t kFormatCodeMp3 = 90106;

struct OutputProfile {
    std::int32_t formatCode = kFormatCodeMp3;
    std::string formatEntry = "MP3-MPEG Layer-3 Audio(*.mp3)";
    std::string encoderName = "MP3";
    std::int32_t bitRate = 128000;    // bits per second
    std::int32_t sampleRate = 44100;  // Hz; also the encoder time base 1/sampleRate
    std::int32_t channels = 2;        // 1 or 2
    // The encoder list's second entry: the join copies the inputs' packets instead (the
    // parameters above then go unused).
    bool copy = false;
};

}  // namespace tolvane
