#pragma once
// The split tab's texts: each key with its section and the English text used when a
// language file lacks the key (a language file refreshed from the web may be older than
// the tab). "%1", "%2", "%3" stand for the numbers, times, names and folders filled in.

#include <array>
#include <string_view>

namespace tolvane {

struct SectionDefaultedKey {
    std::string_view section;
    std::string_view key;
    std::string_view english;
};

inline constexpr std::array<SectionDefaultedKey, 39> kSplitTabKeys = {{
    // Messages.
    {"TISHI", "fg_noparts",
     "There are no ticked parts to write. Make parts with Split here, Cue sheet..., Find "
     "silences or Every..., and tick the ones to write."},
    {"TISHI", "fg_done", "The split is finished: %1 parts were written to the folder \"%2\"."},
    {"TISHI", "fg_cancel",
     "The split was cancelled after the part being written: %1 of %2 parts were written to "
     "the folder \"%3\"."},
    {"TISHI", "fg_fail", "Part %1 (\"%2\") could not be written: %3."},
    {"TISHI", "fg_written", "%1 of %2 parts were written to the folder \"%3\"."},
    {"TISHI", "fg_cuebad", "The cue sheet \"%1\" cannot be used: %2."},
    {"TISHI", "fg_noplan", "No parts can be made: %1."},
    {"TISHI", "fg_nosilence", "No silence below %1 dB lasting at least %2 was found."},
    {"TISHI", "fg_allsilent", "The file holds nothing louder than %1 dB."},
    {"TISHI", "fg_badlen", "Parts of %1 do not split a file of %2. Please type a shorter length."},
    {"TISHI", "fg_point",
     "No split point can be set at %1: it lies on the edge of a part or outside every part."},
    {"TISHI", "fg_toomany", "A split writes at most %1 parts."},
    {"TISHI", "fg_outside", "The time %1 lies outside the file (00:00:00.000 to %2)."},
    {"TISHI", "fg_empty", "Part %1 would end at or before its start. Please correct the times."},
    {"TISHI", "fg_overlap",
     "Part %1 would reach into the part next to it. Please correct the times."},
    {"TISHI", "fg_threshold", "The threshold must be a number of decibels below 0, such as -48."},
    {"TISHI", "fg_minimum", "The minimum length of a silence must be longer than 00:00:00.000."},
    {"TISHI", "fg_writing", "Writing"},
    {"TISHI", "fg_searching", "Finding silences in %1"},
    // Tooltips.
    {"HINT", "fg_here", "Split here: a split point at the play position (key S)"},
    {"HINT", "fg_start", "Write the ticked parts into the output folder"},
    {"HINT", "fg_cue", "Make the parts from a cue sheet"},
    {"HINT", "fg_silence", "Split in the middle of every silence"},
    {"HINT", "fg_every", "Split into parts of the length given"},
    {"HINT", "fg_parts", "Double-click a part to play it; F2 changes its name or times"},
    // The tab's own words.
    {"JIEMIAN", "fg_tab", "Split audio"},
    {"JIEMIAN", "fg_number", "No."},
    {"JIEMIAN", "fg_name", "File name"},
    {"JIEMIAN", "fg_start", "Start"},
    {"JIEMIAN", "fg_end", "End"},
    {"JIEMIAN", "fg_length", "Length"},
    {"JIEMIAN", "fg_cue", "Cue sheet..."},
    {"JIEMIAN", "fg_silence", "Find silences"},
    {"JIEMIAN", "fg_every", "Every..."},
    {"JIEMIAN", "fg_threshold", "Threshold (dB):"},
    {"JIEMIAN", "fg_minimum", "lasting at least:"},
    {"JIEMIAN", "fg_everylen", "Part length:"},
    {"JIEMIAN", "fg_keeptags", "Keep the source's tags"},
    {"JIEMIAN", "fg_cuefiles", "Cue sheets"},
}};

}  // namespace tolvane
