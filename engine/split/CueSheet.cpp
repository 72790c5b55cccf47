#include "engine/split/CueSheet.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/split/SheetText.h"

namespace tolvane::split {

namespace {

constexpr std::size_t kMaxSheetBytes = 1 << 20;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The first word of `text` in upper case; `text` keeps the trimmed rest.
std::string TakeWord(std::string_view& text) {
    std::size_t end = 0;
    while (end < text.size() && !IsBlank(text[end]))
        ++end;
    std::string word(text.substr(0, end));
    for (char& c : word)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    text = Trim(text.substr(end));
    return word;
}

// A number of one to `maxDigits` digits and nothing else; -1 otherwise.
long Number(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits)
        return -1;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The start of a line fit to be shown in a message: whole characters, no control codes
// (a binary file read as a sheet has plenty).
std::string Excerpt(std::string_view line) {
    std::size_t end = std::min<std::size_t>(line.size(), 40);
    while (end < line.size() && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80)
        --end;
    std::string shown(line.substr(0, end));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return end < line.size() ? shown + "..." : shown;
}

class SheetParser {
  public:
    CueSheetReading Parse(std::string_view text);

  private:
    // Each returns false after setting the failure.
    bool Line(std::string_view line);
    bool Text(std::string_view rest, std::string& into);
    bool File(std::string_view rest);
    bool Track(std::string_view rest);
    bool Index(std::string_view rest);
    bool Fail(PlanError error, const std::string& message);

    CueSheetReading reading_;
    int line_ = 0;
    std::int64_t lastIndexUs_ = -1;
};

CueSheetReading SheetParser::Parse(std::string_view text) {
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = text.find_first_of("\r\n", at);
        const std::string_view line =
            text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        ++line_;
        if (!Line(Trim(line)))
            return std::move(reading_);
        if (end == std::string_view::npos)
            break;
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    for (const CueTrack& track : reading_.sheet.tracks) {
        if (track.startUs < 0) {
            line_ = track.line;
            Fail(PlanError::SheetSyntax, "track " + std::to_string(track.number) +
                                             " has no INDEX 01, so its start is not known");
            return std::move(reading_);
        }
    }
    if (reading_.sheet.tracks.empty()) {
        line_ = 0;
        Fail(PlanError::SheetNoTracks, "the cue sheet holds no audio track");
    }
    return std::move(reading_);
}

bool SheetParser::Fail(PlanError error, const std::string& message) {
    reading_.sheet = {};
    reading_.failure = SplitPlan::Failed(error, message, line_).failure;
    return false;
}

bool SheetParser::Line(std::string_view line) {
    if (line.empty())
        return true;
    std::string_view rest = line;
    const std::string command = TakeWord(rest);
    CueTrack* track = reading_.sheet.tracks.empty() ? nullptr : &reading_.sheet.tracks.back();
    CueSheet& sheet = reading_.sheet;
    if (command == "TITLE")
        return Text(rest, track ? track->title : sheet.title);
    if (command == "PERFORMER")
        return Text(rest, track ? track->performer : sheet.performer);
    if (command == "REM") {
        const std::string what = TakeWord(rest);
        if (what == "DATE")
            return Text(rest, track ? track->date : sheet.date);
        if (what == "GENRE")
            return Text(rest, track ? track->genre : sheet.genre);
        return true;  // comments, replay gain, the ripper's name ...
    }
    if (command == "FILE")
        return File(rest);
    if (command == "TRACK")
        return Track(rest);
    if (command == "INDEX")
        return Index(rest);
    if (command == "SONGWRITER" || command == "CATALOG" || command == "CDTEXTFILE" ||
        command == "FLAGS" || command == "ISRC" || command == "PREGAP" || command == "POSTGAP")
        return true;
    return Fail(PlanError::SheetSyntax, "\"" + Excerpt(line) + "\" is not a cue sheet command");
}

// A value in quotes (from the first to the last quote of the line, so a title holding
// quotes survives) or the rest of the line as it stands.
bool SheetParser::Text(std::string_view rest, std::string& into) {
    if (!rest.empty() && rest.front() == '"') {
        const std::size_t close = rest.rfind('"');
        if (close == 0)
            return Fail(PlanError::SheetSyntax, "a quoted text has no closing quote");
        rest = rest.substr(1, close - 1);
    }
    into = std::string(rest);
    return true;
}

bool SheetParser::File(std::string_view rest) {
    std::string name;
    if (!rest.empty() && rest.front() == '"') {
        if (!Text(rest, name))
            return false;
    } else {
        // Unquoted: the name is all but the file type at the end of the line.
        const std::size_t blank = rest.find_last_of(" \t");
        name = std::string(blank == std::string_view::npos ? rest : Trim(rest.substr(0, blank)));
    }
    if (name.empty())
        return Fail(PlanError::SheetSyntax, "FILE names no file");
    // Each file's indexes count from its own start; a split reads one file.
    const auto& files = reading_.sheet.files;
    if (!files.empty() && files.front().name != name)
        return Fail(PlanError::SheetOtherFile, "the cue sheet describes a second file, \"" + name +
                                                   "\", besides \"" + files.front().name + "\"");
    reading_.sheet.files.push_back({name, line_});
    return true;
}

bool SheetParser::Track(std::string_view rest) {
    const long number = Number(std::string_view(TakeWord(rest)), 2);
    const std::string type = TakeWord(rest);
    if (number < 1 || !rest.empty())
        return Fail(PlanError::SheetSyntax, "TRACK needs a number from 1 to 99 and a type");
    if (type != "AUDIO")
        return Fail(PlanError::SheetSyntax,
                    "track " + std::to_string(number) + " is not an audio track (" + type + ")");
    const auto& tracks = reading_.sheet.tracks;
    if (!tracks.empty() && number <= tracks.back().number)
        return Fail(PlanError::SheetSyntax, "track " + std::to_string(number) + " follows track " +
                                                std::to_string(tracks.back().number));
    CueTrack track;
    track.number = static_cast<int>(number);
    track.line = line_;
    reading_.sheet.tracks.push_back(track);
    return true;
}

bool SheetParser::Index(std::string_view rest) {
    if (reading_.sheet.tracks.empty())
        return Fail(PlanError::SheetSyntax, "INDEX before the first TRACK");
    const long number = Number(std::string_view(TakeWord(rest)), 2);
    const std::int64_t at = ParseCueTime(rest);
    if (number < 0 || at < 0)
        return Fail(PlanError::SheetSyntax, "INDEX needs a number and a time mm:ss:ff");
    CueTrack& track = reading_.sheet.tracks.back();
    if (at < lastIndexUs_)
        return Fail(PlanError::SheetIndexOrder, "this index lies before the index before it");
    if (number == 1 && reading_.sheet.tracks.size() > 1 &&
        at == reading_.sheet.tracks.end()[-2].startUs)
        return Fail(PlanError::SheetIndexOrder, "track " + std::to_string(track.number) +
                                                    " starts where the track before does");
    if (number == 0 && track.startUs < 0) {
        track.pregapUs = at, track.pregapLine = line_;
    } else if (number == 1 && track.startUs < 0) {
        track.startUs = at, track.startLine = line_;
    } else if (number < 2 || track.startUs < 0) {
        return Fail(PlanError::SheetIndexOrder, "INDEX " + std::to_string(number) +
                                                    " is out of place in track " +
                                                    std::to_string(track.number));
    }
    lastIndexUs_ = at;  // INDEX 02 and later only mark places inside the track
    return true;
}

}  // namespace

std::int64_t ParseCueTime(std::string_view text) {
    const std::size_t first = text.find(':');
    const std::size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos)
        return -1;
    const long minutes = Number(text.substr(0, first), 5);
    const long seconds = Number(text.substr(first + 1, second - first - 1), 2);
    const long frames = Number(text.substr(second + 1), 2);
    if (minutes < 0 || seconds < 0 || seconds > 59 || frames < 0 || frames > 74)
        return -1;
    const std::int64_t total = (std::int64_t{minutes} * 60 + seconds) * 75 + frames;
    return (total * 2'000'000 / 75 + 1) / 2;  // 1/75 s = 13333.33 us, to the nearest
}

CueSheetReading ParseCueSheet(std::string_view bytes) {
    return SheetParser().Parse(SheetTextToUtf8(bytes));
}

CueSheetReading ReadCueSheet(const std::string& path) {
    std::error_code error;
    // A folder opens as a stream too, and reads as nothing.
    std::ifstream in;
    if (std::filesystem::is_regular_file(path, error))
        in.open(path, std::ios::binary);
    std::string bytes;
    if (in.is_open()) {
        bytes.resize(kMaxSheetBytes + 1);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(in.gcount()));
    }
    CueSheetReading reading;
    if (!in.is_open() || (!in && !in.eof()))
        reading.failure = SplitPlan::Failed(PlanError::SheetUnreadable,
                                            "the cue sheet " + path + " cannot be read")
                              .failure;
    else if (bytes.size() > kMaxSheetBytes)
        reading.failure = SplitPlan::Failed(PlanError::SheetUnreadable,
                                            "the file " + path + " is too large for a cue sheet")
                              .failure;
    else
        reading = ParseCueSheet(bytes);
    return reading;
}

}  // namespace tolvane::split
