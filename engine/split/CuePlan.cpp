#include "engine/split/CuePlan.h"

#include <string>

#include "engine/naming/OutputNaming.h"

namespace tolvane::split {

namespace {

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

std::string_view WithoutExtension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

const std::string& Either(const std::string& own, const std::string& sheets) {
    return own.empty() ? sheets : own;
}

PartTags TagsOf(const CueSheet& sheet, const CueTrack& track) {
    PartTags tags;
    tags.title = track.title;
    tags.performer = Either(track.performer, sheet.performer);
    tags.album = sheet.title;
    tags.albumArtist = sheet.performer;
    tags.date = Either(track.date, sheet.date);
    tags.genre = Either(track.genre, sheet.genre);
    tags.track = track.number;
    tags.trackTotal = static_cast<int>(sheet.tracks.size());
    return tags;
}

}  // namespace

bool CueFileMeans(std::string_view sheetFileName, std::string_view sourcePath) {
    // Sheets written on Windows name the file with backslashes, others with slashes.
    const std::size_t separator = sheetFileName.find_last_of("/\\");
    const std::string_view named =
        separator == std::string_view::npos ? sheetFileName : sheetFileName.substr(separator + 1);
    const std::string_view source = InputFileName(sourcePath);
    return SameIgnoringAsciiCase(named, source) ||
           SameIgnoringAsciiCase(WithoutExtension(named), WithoutExtension(source));
}

SplitPlan PartsFromCueSheet(const CueSheet& sheet, std::string_view sourcePath,
                            std::int64_t lengthUs) {
    if (lengthUs <= 0)
        return SplitPlan::Failed(PlanError::UnknownLength, "the source's length is not known");
    for (const CueFile& file : sheet.files)
        if (!CueFileMeans(file.name, sourcePath))
            return SplitPlan::Failed(PlanError::SheetOtherFile,
                                     "the cue sheet is for \"" + file.name + "\", not for \"" +
                                         std::string(InputFileName(sourcePath)) + "\"",
                                     file.line);
    SplitPlan plan;
    for (std::size_t i = 0; i < sheet.tracks.size(); ++i) {
        const CueTrack& track = sheet.tracks[i];
        for (const auto& [at, line] : {std::pair{track.pregapUs, track.pregapLine},
                                       std::pair{track.startUs, track.startLine}})
            if (at >= lengthUs)
                return SplitPlan::Failed(PlanError::SheetIndexPastEnd,
                                         "this index lies at or past the end of the source", line);
        SplitPart part;
        part.startUs = i == 0 ? 0 : track.startUs;
        part.endUs = i + 1 < sheet.tracks.size() ? sheet.tracks[i + 1].startUs : lengthUs;
        part.toFileEnd = i + 1 == sheet.tracks.size();
        part.tags = TagsOf(sheet, track);
        plan.parts.push_back(std::move(part));
    }
    if (plan.parts.empty())
        return SplitPlan::Failed(PlanError::SheetNoTracks, "the cue sheet holds no audio track");
    return plan;
}

}  // namespace tolvane::split
