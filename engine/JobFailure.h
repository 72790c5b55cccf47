#pragma once
// What a failed job's recorded error code means to the user, in a few kinds the window
// can put into words of the user's language.

#include <cstdint>
#include <string>

namespace tolvane {

enum class JobFailureKind {
    None,      // no code was recorded
    Missing,   // the file or its folder is not there
    Access,    // the file system refused access
    DiskFull,  // no room left on the device
    TooLarge,  // the file passed the size the system allows
    Damaged,   // the data cannot be read as audio
    NoAudio,   // the range holds nothing a decoder can play
    Other,     // anything else: shown with FFmpeg's own description
};

JobFailureKind ClassifyJobFailure(std::int32_t failureCode);

// FFmpeg's description of the code ("error <code>" when it has none).
std::string FailureCodeText(std::int32_t failureCode);

}  // namespace tolvane
