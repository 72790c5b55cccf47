#pragma once
// The one record the window (or the command-line tool) and the job worker share.
// Fields written by the worker while it runs, or by the user interface while the
// worker runs, are atomics; the rest is filled by the command before the start and
// only read by the worker.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/job/JobFailure.h"
#include "engine/job/MislabelFlags.h"

namespace tolvane {

inline constexpr int kMaxJobInputs = 999;     // range entries per job
inline constexpr int kJobStatusSlots = 1000;  // status values per job

// audioCodecId of a join: FFmpeg's AV_CODEC_ID_MP3 (checked by ProbeMedia.cpp).
inline constexpr std::int32_t kMp3CodecId = 86017;

// failureCode of a job whose output would hold no audio a decoder can play (a range
// before, after or inside a damaged stretch of the input): the output is removed.
// FFmpeg's error tag form, FFERRTAG('N', 'A', 'U', 'D'), so it never equals one of its codes.
inline constexpr std::int32_t kErrorNoAudioInRange = -0x4455414E;
// failureCode of a job whose input file changed (was truncated, appended to, rewritten)
// while the job read it: what was read is no stretch of one file. FFERRTAG('C','H','N','G').
inline constexpr std::int32_t kErrorSourceChanged = -0x474E4843;
// failureCode of a job without re-encoding whose input is a chained Ogg file (several
// streams one after another, as joins into Ogg write them) and whose output cannot
// hold such streams (not Ogg). FFERRTAG('C','H','A','I').
inline constexpr std::int32_t kErrorChainedInput = -0x49414843;

// Per-input status values of fileStatus.
inline constexpr std::int8_t kInputPending = -1;  // pending or cancelled
inline constexpr std::int8_t kInputDone = 1;
inline constexpr std::int8_t kInputFailed = 2;

// What became of the output of a cancelled job (cancelledOutput).
inline constexpr std::int8_t kCancelledOutputKept = 0;   // finished and kept (or not cancelled)
inline constexpr std::int8_t kCancelledOutputEmpty = 1;  // removed: no packet had been written
// Removed: written and finished, but it could not be read back (an MP3 of one frame).
inline constexpr std::int8_t kCancelledOutputUnreadable = 2;

struct MediaJob {
    // Encoder of a re-encode job (FFmpeg codec id; the join uses kMp3CodecId).
    std::int32_t audioCodecId = 0;

    // Start time of the current input's container, seconds (worker).
    std::atomic<double> inputStartTime{0.0};
    // Time of the last written audio packet, seconds: from the first written packet
    // (cut) or from the start of the output (join).
    std::atomic<double> audioTime{0.0};
    // Time base of the output audio stream.
    std::atomic<std::int32_t> outputTimeBaseNum{0};
    std::atomic<std::int32_t> outputTimeBaseDen{1};

    std::atomic<bool> cancelRequested{false};  // written by the user interface
    std::atomic<std::int8_t> cancelledOutput{kCancelledOutputKept};  // worker

    // The first failure of the job, recorded by the worker and reset at each start:
    // the FFmpeg error code (an AVERROR value, errno values included; 0: none),
    // whether the output file (created, written or finished) or the failing input
    // (opened, read or decoded) is to blame, and the step it failed in.
    std::atomic<std::int32_t> failureCode{0};
    std::atomic<bool> failureOnOutput{false};
    std::atomic<JobStep> failureStep{JobStep::None};  // during what it failed
    bool joinMode = false;                            // true: join, false: cut
    // A cut whose output is its input without [startSec[0], endSec[0]): the parts before
    // and after the stretch joined without re-encoding.
    bool removeStretch = false;
    // A copy join or removal into Ogg Opus or Vorbis writes each stretch as a logical
    // stream of its own (a chained file): every stretch keeps its exact start and end in
    // opusdec, oggdec, sox, GStreamer's playbin and the preview player, which read each
    // stream afresh; FFmpeg 5.1's own readers see only the last stream's length and
    // cannot seek past the first. Off: one stream, which every reader plays whole, each
    // seam holding the codec's pre-roll.
    bool chainOggStreams = true;
    bool reencode = false;  // true: re-encode mode, false: copy mode
    // Re-encode mode decodes on a second thread while the job's thread encodes; true
    // does both in turn on the job's thread (the two give the same output).
    bool reencodeOnOneThread = false;
    // When set, called on the thread that reads the input after each progress update,
    // that is before each packet is processed: lets a test act at a known point of a
    // job. Set before the start.
    std::function<void(MediaJob&)> progressUpdated;

    // Left by the last probe of a file whose name ends in "mp3" (any case).
    MislabelFlags mislabeled;

    std::atomic<std::int32_t> seekByBytes{0};  // current input positioned by byte offset

    std::string probeFileName;             // UTF-8 path examined by ProbeMedia
    std::vector<std::string> inputNames;   // UTF-8 input paths in processing order
    std::vector<std::string> outputNames;  // entry 0 is the output file
    // Tags (FFmpeg's metadata keys: "title", "artist", "track" ...) a copy writes into
    // its output's header; none by default.
    std::vector<std::pair<std::string, std::string>> outputTags;
    // A copy also writes the source's own tags (outputTags win over them).
    bool keepSourceTags = false;

    std::array<std::atomic<std::int8_t>, kJobStatusSlots> fileStatus{};
    std::array<double, kMaxJobInputs> startSec{};  // range start per input, seconds
    std::array<double, kMaxJobInputs> endSec{};    // range end per input, seconds
    // Range length per input, seconds; a join's worker stores totalLengthSec here.
    std::array<std::atomic<double>, kMaxJobInputs> lengthSec{};
    std::int32_t totalLengthSec = 0;  // join: running whole-second sum of the ranges

    // -1 while a command prepares a job, then 0..100 while an input runs.
    std::atomic<std::int32_t> progressPercent{0};

    // Probe results: start (0), end and duration in microseconds; negative when unknown.
    std::int64_t probeStartUs = 0;
    std::int64_t probeEndUs = 0;
    std::int64_t probeDurationUs = 0;
    // Source parameters after a probe; encoder parameters of a join.
    std::int32_t audioBitRate = 0;
    std::int32_t audioSampleRate = 0;
    std::int32_t audioChannels = 0;

    // -1 before the start; index of the running input; fileCount when all are done;
    // the poller adds one once it has reported the result.
    std::atomic<std::int32_t> currentIndex{-1};
    // Number of inputs the progress display counts (join: fileCount; cut: 1).
    std::atomic<std::int32_t> displayCount{0};
    std::int32_t fileCount = 0;

    MediaJob() {
        for (auto& s : fileStatus)
            s.store(kInputPending);
    }
    MediaJob(const MediaJob&) = delete;
    MediaJob& operator=(const MediaJob&) = delete;
};

// totalLengthSec of a join over the ranges startSec[i]..endSec[i]: each range's length
// is added to the running total, which is cut to whole seconds (toward zero) after
// every addition. A range that is not a number adds nothing; the total stays within
// the range of its type.
std::int32_t JoinTotalLengthSec(std::span<const double> startSec, std::span<const double> endSec);

}  // namespace tolvane
