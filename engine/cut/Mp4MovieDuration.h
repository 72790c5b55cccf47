#pragma once
// The movie duration of an MP4 file whose tracks start with an edit that skips priming.
//
// The muxer sets the movie header's duration to the edited length. A reader that stops
// a track once its media time passes the movie's duration then loses the last priming
// samples' worth of the stretch, and plays nothing of a stretch shorter than the
// priming. The movie's duration is made to cover each track's edit plus its media time,
// so that every reader plays the edit to its end.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tolvane {

// New bytes for the movie header's duration field: at `offset` from the start of the
// "moov" box.
struct MovieDurationPatch {
    std::size_t offset = 0;
    std::vector<std::uint8_t> bytes;
    std::uint64_t duration = 0;  // in the movie's time scale
};

// The patch for the "moov" box `moov` (the whole box, header included); nothing when
// the movie's duration already covers every track's edits and media time.
std::optional<MovieDurationPatch> PatchMovieDuration(const std::uint8_t* moov, std::size_t size);

}  // namespace tolvane
