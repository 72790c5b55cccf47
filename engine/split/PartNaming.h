#pragma once
// File names of a split's parts: "<source name> (01).<ext>", "(02)" ... by default, and
// "01 - <track title>.<ext>" for the tracks of a cue sheet. The number takes as many
// digits as the last one needs, two at least, so the names sort in play order.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/naming/OutputNaming.h"
#include "engine/split/SplitPlan.h"

namespace tolvane::split {

// Longest part name in bytes: the file system's 255 less room for the "(n)" a name
// that is taken gets (up to "(99999)").
inline constexpr std::size_t kMaxPartNameBytes = 255 - 7;

// `text` made fit for a file name in any folder, a FAT or Windows share included:
// "/", "\", ":", "*", "?", """, "<", ">", "|" and control characters become "_";
// spaces at its start go, and spaces and dots at its end (Windows drops those, so the
// name would not be the one written). May be empty.
std::string FileNameSafe(std::string_view text);

// `stem` + `tail`, the stem cut (never inside a UTF-8 character, then without spaces
// and dots left at its end) so the whole is at most `limit` bytes; the tail (a number,
// the extension) is kept whole.
std::string FitFileName(std::string_view stem, std::string_view tail,
                        std::size_t limit = kMaxPartNameBytes);

enum class PartNameStyle {
    Numbered,    // "<source name> (01).<ext>"
    TrackTitle,  // "01 - <track title>.<ext>"; parts without a title are "01 - <source name>"
};

// Names every part in order. `sourceBase` and `extension` are the source's (see
// OutputBaseName and CutOutputExtension), the extension with its dot.
void NameParts(std::vector<SplitPart>& parts, PartNameStyle style, std::string_view sourceBase,
               std::string_view extension);

// The path a part named `partName` is written to in `folder`: the name itself, or with
// the first free "(n)" before its extension when a file of that name exists. A name
// edited by hand is made safe first, so "../x.mp3" stays in the folder.
std::optional<std::string> FreePartPath(std::string_view folder, std::string_view partName,
                                        OutputNamingError* why = nullptr);

}  // namespace tolvane::split
