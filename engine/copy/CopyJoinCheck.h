#pragma once
// Whether inputs can be joined by copying their packets into one stream: the same
// container and codec, sample rate, channel layout, sample depth, and what the codec's
// stream header fixes for every packet (AAC's profile, Vorbis's code books, Opus's
// channel mapping). MP3 of one sample rate is of one MPEG version; bit rates may differ.
// Ogg inputs joined as a chained file keep their own stream headers, so there the code
// books and the channel mapping may differ.

#include <cstddef>
#include <optional>
#include <span>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tolvane {

struct CopyJoinRefusal {
    std::size_t input = 0;  // the first input that differs from the first one (or fails)
    std::string reason;     // "22050 Hz, the first input is 44100 Hz"
};

// Opens every input; nothing when all of them can be joined by copying. `chainOggStreams`
// as the job's (MediaJob::chainOggStreams).
std::optional<CopyJoinRefusal> CheckCopyJoin(std::span<const std::string> inputs,
                                             bool chainOggStreams);

// How `other` differs from `first` in what a copy join needs alike; empty when in nothing.
std::string DescribeCopyJoinDifference(const AVFormatContext& other, const AVFormatContext& first,
                                       bool chainOggStreams);

}  // namespace tolvane
