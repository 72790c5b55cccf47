#pragma once
// Where a mark is best put near a given time: the quietest spot within a short reach
// (the lowest short-term energy), so a cut does not start in the middle of a word or a
// drum hit; for formats cut to the sample (PCM, FLAC) the zero crossing nearest to it.

#include <cstdint>
#include <string>

namespace tolvane {

struct QuietPointSearch {
    std::int64_t atUs = 0;
    std::int64_t reachUs = 50000;  // the mark moves at most this far
    std::int64_t energyWindowUs = 10000;
};

struct QuietPoint {
    bool found = false;  // false: the file cannot be read there; the mark stays
    std::int64_t us = 0;
    bool zeroCrossing = false;  // the point is a zero crossing
};

class AudioWindowSource;

QuietPoint FindQuietPoint(const std::string& path, const QuietPointSearch& search);
// The same in a source kept open: the first seek in a long MP3 without an index scans
// the file (about 100 ms for an hour), later ones are quick.
QuietPoint FindQuietPoint(AudioWindowSource& source, const QuietPointSearch& search);

// The search over decoded mono samples, the first at `firstUs`, `rate` per second.
QuietPoint QuietPointIn(const float* samples, std::size_t count, std::int64_t firstUs, int rate,
                        const QuietPointSearch& search, bool toZeroCrossing);

}  // namespace tolvane
