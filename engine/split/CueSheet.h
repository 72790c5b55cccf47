#pragma once
// A cue sheet read into its tracks: where each starts and what it is called. Only what
// a split needs is kept; commands that matter to a CD burner only (FLAGS, ISRC, PREGAP,
// ...) are accepted and passed over, anything else is a fault named by its line.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/split/SplitPlan.h"

namespace tolvane::split {

struct CueTrack {
    int number = 0;
    int line = 0;                // of its TRACK command
    std::int64_t pregapUs = -1;  // INDEX 00, -1 when the track has none
    int pregapLine = 0;
    std::int64_t startUs = -1;  // INDEX 01
    int startLine = 0;
    std::string title;
    std::string performer;
    std::string date;
    std::string genre;
};

// A FILE command: the audio file the tracks after it lie in.
struct CueFile {
    std::string name;  // as written, a path perhaps
    int line = 0;
};

struct CueSheet {
    // The sheet's own TITLE and PERFORMER (before the first TRACK): album and album artist.
    std::string title;
    std::string performer;
    std::string date;   // REM DATE
    std::string genre;  // REM GENRE
    std::vector<CueFile> files;
    std::vector<CueTrack> tracks;
};

struct CueSheetReading {
    CueSheet sheet;
    PlanFailure failure;  // error None when the sheet was read
    bool ok() const { return failure.error == PlanError::None; }
};

// Reads a sheet from its bytes (see SheetText.h for the encodings understood). A sheet
// without an audio track, a line that is not understood, a track without INDEX 01, or
// an index earlier than the one before it: a failure naming the line.
CueSheetReading ParseCueSheet(std::string_view bytes);

// Reads the sheet at `path` (at most 1 MiB: real sheets are a few kilobytes).
CueSheetReading ReadCueSheet(const std::string& path);

// An INDEX time "mm:ss:ff" (75 frames a second; minutes may pass 99) in microseconds,
// rounded to the nearest; -1 when the text is not such a time.
std::int64_t ParseCueTime(std::string_view text);

}  // namespace tolvane::split
