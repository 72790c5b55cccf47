#include "CommandLine.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>

#include "Mp3BitRates.h"
#include "engine/job/OutputProfile.h"
#include "TimeCode.h"

namespace tolvane::cli {

namespace {

bool AllDigits(const std::string& text, std::size_t from, std::size_t count) {
    if (from + count > text.size())
        return false;
    return std::all_of(text.begin() + from, text.begin() + from + count,
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

// Whole positive number with an optional "k" (thousands); none on any other text.
std::optional<std::int64_t> ReadCount(std::string text, bool allowKilo) {
    std::int64_t scale = 1;
    if (allowKilo && !text.empty() && (text.back() == 'k' || text.back() == 'K')) {
        scale = 1000;
        text.pop_back();
    }
    if (text.empty() || text.size() > 9 || !AllDigits(text, 0, text.size()))
        return std::nullopt;
    return std::strtoll(text.c_str(), nullptr, 10) * scale;
}

constexpr std::array<std::int32_t, 9> kMp3SampleRates = {8000,  11025, 12000, 16000, 22050,
                                                         24000, 32000, 44100, 48000};

ParseResult Error(std::string text) {
    return ParseResult{std::nullopt, std::move(text)};
}

// The encoder writes only the bit rates MP3 has at the sample rate: another one would
// silently become one of those, so it is refused with the ones there are.
std::optional<std::string> BitRateRefusal(std::int32_t bitRate, std::int32_t sampleRate) {
    const auto rates = Mp3BitRatesKbps(sampleRate);
    if (rates.empty() || (bitRate % 1000 == 0 &&
                          std::find(rates.begin(), rates.end(), bitRate / 1000) != rates.end()))
        return std::nullopt;
    std::string offered;
    for (const std::int32_t kbps : rates)
        offered += (offered.empty() ? "" : ", ") + std::to_string(kbps) + "k";
    const std::string asked = bitRate % 1000 == 0 ? std::to_string(bitRate / 1000) + "k"
                                                  : std::to_string(bitRate) + " bit/s";
    const std::int32_t nearest = NearestMp3BitRateKbps(sampleRate, (bitRate + 500) / 1000);
    return "MP3 at " + std::to_string(sampleRate) + " Hz has no bit rate of " + asked +
           " (the nearest is " + std::to_string(nearest) + "k); give one of " + offered;
}

}  // namespace

TimeArgument ReadTimeArgument(const std::string& text) {
    const std::string form = "write it as HH:MM:SS.mmm, e.g. 00:01:02.003";
    if (!text.empty() && text.front() == '-')
        return {std::nullopt, "a time cannot be negative"};
    // "HH:MM:SS.mmm": 12 characters, two-digit hours, as the time-code reader expects.
    bool canonical = text.size() == 12 && AllDigits(text, 0, 2) && text[2] == ':' &&
                     AllDigits(text, 3, 2) && text[5] == ':' && AllDigits(text, 6, 2) &&
                     text[8] == '.' && AllDigits(text, 9, 3);
    if (!canonical)
        return {std::nullopt, "not a time: " + form};
    if (text[3] > '5' || text[6] > '5')
        return {std::nullopt, "minutes and seconds must be below 60: " + form};
    return {ParseTimeCode(text), {}};
}

ParseResult ParseCommandLine(const std::vector<std::string>& arguments) {
    Request request;
    if (arguments.empty())
        return Error("no command given (try --help)");
    const std::string& name = arguments[0];
    if (name == "--help" || name == "-h" || name == "help")
        return ParseResult{request, {}};
    if (name == "--version" || name == "version") {
        request.command = Command::Version;
        if (arguments.size() > 1)
            return Error("--version takes no arguments");
        return ParseResult{request, {}};
    }
    if (name == "probe")
        request.command = Command::Probe;
    else if (name == "cut")
        request.command = Command::Cut;
    else if (name == "join")
        request.command = Command::Join;
    else if (name == "split")
        request.command = Command::Split;
    else
        return Error("unknown command \"" + name + "\" (try --help)");

    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument.rfind("-", 0) != 0) {
            request.files.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            request.command = Command::Help;
            return ParseResult{request, {}};
        }
        if (argument == "--verbose" || argument == "-v") {
            request.verbose = true;
            continue;
        }
        const bool isSplit = request.command == Command::Split;
        if (argument == "--json" && (request.command == Command::Probe || isSplit)) {
            request.json = true;
            continue;
        }
        if (argument == "--keep-tags" && (request.command == Command::Cut || isSplit)) {
            request.keepTags = true;
            continue;
        }
        if (argument == "--copy" && request.command == Command::Join) {
            request.copy = true;
            continue;
        }
        if (argument == "--remove" && request.command == Command::Cut) {
            request.remove = true;
            continue;
        }
        if (argument == "--chained" &&
            (request.command == Command::Cut || request.command == Command::Join)) {
            request.chained = true;
            continue;
        }
        if (argument == "--single-stream" &&
            (request.command == Command::Cut || request.command == Command::Join)) {
            request.singleStream = true;
            continue;
        }
        if (isSplit && (argument == "--dry-run" || argument == "--silence")) {
            if (argument == "--dry-run") {
                request.dryRun = true;
                continue;
            }
            if (request.splitSource != SplitSource::None)
                return Error("give only one of --at, --cue, --silence and --every");
            request.splitSource = SplitSource::Silence;
            continue;
        }
        std::string value;
        bool hasValue = false;
        if (std::size_t equals = argument.find('='); equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument.resize(equals);
            hasValue = true;
        }
        const bool isCut = request.command == Command::Cut;
        const bool isJoin = request.command == Command::Join;
        const bool known =
            argument == "--out" || (isCut && (argument == "--start" || argument == "--end")) ||
            (isJoin &&
             (argument == "--bitrate" || argument == "--rate" || argument == "--channels")) ||
            (isSplit && (argument == "--at" || argument == "--cue" || argument == "--every" ||
                         argument == "--threshold" || argument == "--min-silence"));
        if (!known || request.command == Command::Probe)
            return Error("unknown option " + argument + " for " + name + " (try --help)");
        if (!hasValue) {
            if (i + 1 >= arguments.size())
                return Error("option " + argument + " needs a value");
            value = arguments[++i];
        }

        const bool choosesSource =
            argument == "--at" || argument == "--cue" || argument == "--every";
        if (choosesSource && request.splitSource != SplitSource::None)
            return Error("give only one of --at, --cue, --silence and --every");

        if (argument == "--out") {
            if (value.empty())
                return Error("option --out needs a folder");
            request.outputFolder = value;
        } else if (argument == "--start" || argument == "--end") {
            TimeArgument time = ReadTimeArgument(value);
            if (!time.ms)
                return Error("bad time \"" + value + "\" for " + argument + ": " + time.error);
            (argument == "--start" ? request.startMs : request.endMs) = time.ms;
        } else if (argument == "--at") {
            request.splitSource = SplitSource::Points;
            std::size_t from = 0;
            for (;;) {
                const std::size_t comma = value.find(',', from);
                const std::string text = value.substr(from, comma - from);
                TimeArgument time = ReadTimeArgument(text);
                if (!time.ms)
                    return Error("bad time \"" + text + "\" for --at: " + time.error);
                request.splitPointsMs.push_back(*time.ms);
                if (comma == std::string::npos)
                    break;
                from = comma + 1;
            }
        } else if (argument == "--cue") {
            if (value.empty())
                return Error("option --cue needs a cue sheet");
            request.splitSource = SplitSource::CueSheet;
            request.cueSheet = value;
        } else if (argument == "--every" || argument == "--min-silence") {
            TimeArgument time = ReadTimeArgument(value);
            if (!time.ms)
                return Error("bad time \"" + value + "\" for " + argument + ": " + time.error);
            if (argument == "--min-silence") {
                request.minSilenceMs = time.ms;
            } else {
                request.splitSource = SplitSource::Every;
                request.everyMs = *time.ms;
            }
        } else if (argument == "--threshold") {
            char* end = nullptr;
            const double db = std::strtod(value.c_str(), &end);
            if (value.empty() || end != value.c_str() + value.size() || !(db < 0) || db < -150)
                return Error("bad threshold \"" + value + "\": give dBFS below 0, e.g. -48");
            request.thresholdDb = db;
        } else if (argument == "--bitrate") {
            std::optional<std::int64_t> bits = ReadCount(value, true);
            if (!bits || *bits < 8000 || *bits > 320000)
                return Error("bad bit rate \"" + value + "\": give 8k to 320k, e.g. 128k");
            request.bitRate = static_cast<std::int32_t>(*bits);
        } else if (argument == "--rate") {
            std::optional<std::int64_t> rate = ReadCount(value, false);
            if (!rate || std::find(kMp3SampleRates.begin(), kMp3SampleRates.end(), *rate) ==
                             kMp3SampleRates.end())
                return Error("bad sample rate \"" + value +
                             "\": MP3 takes 8000, 11025, 12000, 16000, 22050, 24000, 32000, "
                             "44100 or 48000");
            request.sampleRate = static_cast<std::int32_t>(*rate);
        } else if (argument == "--channels") {
            if (value != "1" && value != "2")
                return Error("bad channel count \"" + value + "\": give 1 or 2");
            request.channels = value == "1" ? 1 : 2;
        }
    }

    switch (request.command) {
        case Command::Probe:
            if (request.files.empty())
                return Error("probe needs at least one file");
            break;
        case Command::Cut:
            if (request.files.empty())
                return Error("cut needs at least one file");
            if (request.startMs && request.endMs && *request.startMs > *request.endMs)
                return Error("the start (--start) lies after the end (--end)");
            if (request.remove && !request.startMs && !request.endMs)
                return Error("--remove needs the stretch to remove: --start, --end or both");
            if ((request.chained || request.singleStream) && !request.remove)
                return Error(std::string(request.chained ? "--chained" : "--single-stream") +
                             " goes with --remove (or join --copy)");
            if (request.chained && request.singleStream)
                return Error("--chained and --single-stream exclude each other");
            break;
        case Command::Join:
            if (request.files.size() < 2)
                return Error("join needs at least two files");
            if ((request.chained || request.singleStream) && !request.copy)
                return Error(std::string(request.chained ? "--chained" : "--single-stream") +
                             " goes with --copy");
            if (request.chained && request.singleStream)
                return Error("--chained and --single-stream exclude each other");
            if (request.copy && (request.bitRate || request.sampleRate || request.channels))
                return Error(
                    "--copy keeps the files' own encoding: --bitrate, --rate and "
                    "--channels do not go with it");
            if (request.bitRate) {
                if (auto refusal = BitRateRefusal(
                        *request.bitRate, request.sampleRate.value_or(OutputProfile{}.sampleRate)))
                    return Error(*refusal);
            }
            break;
        case Command::Split:
            if (request.files.size() != 1)
                return Error("split takes exactly one file");
            if (request.splitSource == SplitSource::None)
                return Error("split needs one of --at, --cue, --silence and --every");
            if ((request.thresholdDb || request.minSilenceMs) &&
                request.splitSource != SplitSource::Silence)
                return Error("--threshold and --min-silence go with --silence");
            break;
        case Command::Help:
        case Command::Version:
            break;
    }
    return ParseResult{request, {}};
}

const char* UsageText() {
    return R"usage(Usage:
  tolvane-cli probe [--json] FILE...
  tolvane-cli cut FILE... [--start TIME] [--end TIME] [--out DIR] [--keep-tags]
  tolvane-cli cut FILE... [--start TIME] [--end TIME] --remove [--single-stream] [--out DIR] [--keep-tags]
  tolvane-cli join FILE... [--out DIR] [--bitrate 128k] [--rate 44100] [--channels 2]
  tolvane-cli join --copy [--single-stream] FILE... [--out DIR]
  tolvane-cli split FILE --at TIME[,TIME...] [--out DIR] [--json] [--dry-run] [--keep-tags]
  tolvane-cli split FILE --cue SHEET.cue [--out DIR] [--json] [--dry-run] [--keep-tags]
  tolvane-cli split FILE --silence [--threshold -48] [--min-silence 00:00:01.000] [...]
  tolvane-cli split FILE --every TIME [--out DIR] [--json] [--dry-run] [--keep-tags]
  tolvane-cli --help
  tolvane-cli --version

Every command also takes --verbose, which shows FFmpeg's own log.

probe  tells the duration and audio parameters of each file. With --json it prints a
       JSON array of one object per file: "path", "usable", and either "duration"
       (seconds), "rate" (Hz), "channels", "bit_rate" (bit/s, null when unknown),
       "codec" and "container" (FFmpeg's names), or "error".
cut    copies the stretch from --start (default: the beginning) to --end (default: the
       end) of each file into a new file of the same format, without re-encoding. With
       several files the same range is cut from each, one output per input. With
       --remove the output is the file without that range: the part before it and the
       part after it joined as join --copy joins (a range at the file's start or end
       leaves a plain cut of the rest).
join   re-encodes the files, in the order given, into one MP3 named after the first.
       The bit rate must be one MP3 has at the sample rate: 32k to 320k at 32000,
       44100 and 48000 Hz, 8k to 160k at the lower rates.
       With --copy the files are joined without re-encoding into one file of the first
       file's format, named after it. They must be alike: container, codec, sample
       rate, channel layout and sample format (MP3: any bit rates); otherwise nothing is
       written and the first file that differs is named with how. Seams: WAV, AIFF and
       FLAC join to the sample (FLAC as one stream); MP3 copies whole frames, the Info
       header stating the first file's delay and the last one's padding, so a seam
       holds the earlier file's padding and the later one's delay (25-50 ms of
       near-silence), its frames reading their own bit reservoir. Opus and Vorbis in
       Ogg make each file (each side of a removal) a stream of its own in one chained
       Ogg file, so each keeps its start and end (Opus to the sample; Vorbis: a
       removal's part after the stretch starts at a whole packet) in opusdec, oggdec,
       sox, GStreamer players and this program's preview; FFmpeg 5.1's readers see
       only the last stream's length, cannot seek past the first and decode a seam
       against the stream before (Opus 15 to 50 ms loud, Vorbis 128 samples more).
       With --single-stream they continue one stream instead, which every reader
       plays whole and seeks in, a seam holding the codec's pre-roll (Opus 10 ms more,
       Vorbis about 3 ms); --chained, the default's former switch, is still taken.
       AAC and the rest copy whole packets, a seam within one packet. A removed
       stretch of those formats ends on packets. A chained Ogg file is cut, split and
       joined link by link, on its own timeline.
split  cuts one file into parts of its own format, without re-encoding, each as exact
       as a cut, so the parts played one after the other are the file: at the times
       given by --at; at the tracks of a cue sheet (named "01 - <title>" and tagged
       with its title, artist, album, track number and date); in the middle of each
       silence (quieter than --threshold dBFS, default -48, for at least
       --min-silence, default 00:00:01.000; parts silent throughout are left out); or
       every TIME. Parts are named "<name> (01).<ext>", "(02)" ... otherwise. Each
       written part's path is printed on its own line; --json prints a JSON array of
       objects with "path", "start", "end" (time codes) and "title" (null without a
       cue sheet) instead; --dry-run lists the parts and writes nothing. Ctrl-C stops
       after the part being written, which is kept whole.
--keep-tags  copies the file's own tags (title, artist ...) into the output of a cut
       or the parts of a split; by default a cut writes none.

TIME is a time code HH:MM:SS.mmm, e.g. 00:01:02.003. The output goes to DIR (default:
the current folder) under the input's name; an existing file is never replaced: the
name then gets "(0)", "(1)" ... before its extension. The output's path is printed on
standard output (a name with control characters quoted as ls quotes it, e.g.
'new'$'\n''line.mp3'); progress goes to standard error. Ctrl-C (or SIGTERM, SIGHUP)
cancels: a cut or a join then keeps the part written so far as a valid, shorter file and
prints its path.

Exit status: 0 done, 1 a file is unusable or the job failed, 2 bad command line (or a
range that starts past a file's end), 128 + the signal's number when a signal cancelled
it (130 Ctrl-C, 143 SIGTERM). With several files the status is the worst of them; a
signal cancels the running cut and the files after it. A split point at or past the
end, two equal points, none, or a cue sheet that cannot be used is a bad command line
(2); nothing is written then.
)usage";
}

std::string VersionText() {
    return std::string("tolvane-cli ") + TOLVANE_VERSION + "\n";
}

}  // namespace tolvane::cli
