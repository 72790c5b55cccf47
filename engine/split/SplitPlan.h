#pragma once
// What a split writes: an ordered list of parts of one source, each a stretch of the
// source's timeline with the file name it gets and, from a cue sheet, its tags.
//
// Times are microseconds from the file's start, the unit of the cut's own range and of
// the probe: a plan is made before the source is decoded (from typed times, a cue sheet
// or a length), so it cannot be counted in samples of a rate not yet known. Rounded to
// the nearest sample, a microsecond is exact for every rate up to 500 kHz, and adjacent
// parts share one value at their seam, so both cuts meet at the same sample.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::split {

// Tags a cue sheet gives a part; empty texts and 0 numbers are absent.
struct PartTags {
    std::string title;
    std::string performer;
    std::string album;
    std::string albumArtist;
    std::string date;
    std::string genre;
    int track = 0;
    int trackTotal = 0;
    bool operator==(const PartTags&) const = default;
};

struct SplitPart {
    std::int64_t startUs = 0;
    std::int64_t endUs = 0;
    // The last part runs to the source's real end, whatever its length estimate said.
    bool toFileEnd = false;
    // The file name the part is written as, extension included (see PartNaming.h);
    // empty until the parts are named.
    std::string name;
    std::optional<PartTags> tags;
};

// Why no plan could be made.
enum class PlanError {
    None,
    UnknownLength,      // the source's length is not known
    NoPoints,           // no split point (or no silence) to split at
    PointNotInside,     // a split point at or before the start, or at or past the end
    EqualPoints,        // two split points at the same time
    BadLength,          // an "every" length of zero or less, or not shorter than the source
    TooManyParts,       // more parts than a split writes
    SheetUnreadable,    // the cue sheet cannot be read
    SheetSyntax,        // a line of the cue sheet is not understood
    SheetOtherFile,     // the cue sheet is for another file
    SheetIndexOrder,    // an index before the one before it
    SheetIndexPastEnd,  // an index at or past the source's end
    SheetNoTracks,      // the cue sheet has no audio track
    SourceUnreadable,   // the source cannot be decoded to look for silences
    AllSilent,          // the source holds nothing louder than the threshold
    Cancelled,          // the search for silences was stopped
};

struct PlanFailure {
    PlanError error = PlanError::None;
    int line = 0;         // the cue sheet's line (from 1), 0 when no line is at fault
    std::string message;  // one line of English, naming the line when there is one
};

// The parts, or why there are none: a failed plan holds no part.
struct SplitPlan {
    std::vector<SplitPart> parts;
    PlanFailure failure;
    bool ok() const { return failure.error == PlanError::None; }
    static SplitPlan Failed(PlanError error, std::string message, int line = 0);
};

// More parts than this are refused (a cue sheet holds 99 at most; every 1 ms of an hour
// would be 3.6 million files).
inline constexpr std::size_t kMaxParts = 10000;

}  // namespace tolvane::split
