#pragma once
// The parts of a source as a cue sheet divides it, each with the sheet's tags.
//
// Each track starts at its INDEX 01. A track's pregap (from its INDEX 00) ends the track
// before it, as a CD player plays the disc through and as rippers write "gaps appended
// to the previous track"; whatever lies before the first track's INDEX 01 (a pregap or
// a hidden track) stays at the head of the first part. So the parts, back to back, are
// the whole source.

#include <cstdint>
#include <string_view>

#include "engine/split/CueSheet.h"
#include "engine/split/SplitPlan.h"

namespace tolvane::split {

// True when the sheet's FILE name (perhaps a Windows or Unix path) means the source at
// `sourcePath`: the same file name, or the same name with another extension (a rip
// converted from WAV to FLAC keeps its sheet), letters compared without case as on the
// file systems rippers write to.
bool CueFileMeans(std::string_view sheetFileName, std::string_view sourcePath);

// The parts of the source at `sourcePath`, `lengthUs` long. A sheet for another file,
// or with an index at or past the source's end: a failed plan naming the line.
SplitPlan PartsFromCueSheet(const CueSheet& sheet, std::string_view sourcePath,
                            std::int64_t lengthUs);

}  // namespace tolvane::split
