#pragma once
// The command line of tolvane-cli, read into a request. Reading checks the form of
// every argument; whether the files are usable is checked later, by the commands.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::cli {

enum class Command { Help, Version, Probe, Cut, Join, Split };

// Where a split's parts come from.
enum class SplitSource { None, Points, CueSheet, Silence, Every };

struct Request {
    Command command = Command::Help;
    std::vector<std::string> files;
    std::string outputFolder = ".";
    std::optional<std::int32_t> startMs;  // cut; absent: the start of the file
    std::optional<std::int32_t> endMs;    // cut; absent: the end of the file
    std::optional<std::int32_t> bitRate;  // join, bits per second
    std::optional<std::int32_t> sampleRate;
    std::optional<std::int32_t> channels;
    bool verbose = false;   // let FFmpeg's own log through
    bool json = false;      // probe, split: JSON instead of lines
    bool keepTags = false;  // cut, split: copy the source's tags into the outputs
    bool copy = false;      // join: copy the packets instead of re-encoding
    bool remove = false;    // cut: write the file without the range instead
    // join --copy, cut --remove into Ogg Opus or Vorbis: each stretch a chained stream of
    // its own (the default, which --chained names) or all in one stream (--single-stream)
    bool chained = false;
    bool singleStream = false;
    // split
    SplitSource splitSource = SplitSource::None;
    std::vector<std::int32_t> splitPointsMs;   // --at
    std::string cueSheet;                      // --cue
    std::optional<double> thresholdDb;         // --threshold
    std::optional<std::int32_t> minSilenceMs;  // --min-silence
    std::int32_t everyMs = 0;                  // --every
    bool dryRun = false;                       // list the parts, write nothing
};

struct ParseResult {
    std::optional<Request> request;
    std::string error;  // one line, set when request is empty
};

ParseResult ParseCommandLine(const std::vector<std::string>& arguments);

// A time given on the command line: exactly "HH:MM:SS.mmm" (minutes and seconds below
// 60). Returns the milliseconds, or the reason the text is not such a time.
struct TimeArgument {
    std::optional<std::int32_t> ms;
    std::string error;
};
TimeArgument ReadTimeArgument(const std::string& text);

const char* UsageText();

// "tolvane-cli <version>", one line.
std::string VersionText();

}  // namespace tolvane::cli
