#pragma once
// Helpers of the tests that run jobs: filling a job record and running it.

#include <optional>
#include <string>
#include <vector>

#include "engine/job/MediaEngine.h"
#include "MediaFixtures.h"

namespace tolvane::testing {

// A cut of [startSec, endSec] of `input` into `output`, copy mode (PrepareCutJob).
void PrepareCut(MediaJob& job, const fs::path& input, const fs::path& output, double startSec,
                double endSec);
// A join of whole inputs into an MP3 with the given encoder parameters (PrepareJoinJob).
// Ranges are the inputs' full lengths as `lengths` gives them.
void PrepareJoin(MediaJob& job, const std::vector<fs::path>& inputs, const fs::path& output,
                 const std::vector<double>& lengths, int bitRate = 128000, int sampleRate = 44100,
                 int channels = 2);
// Runs the job on the calling thread.
void RunJob(MediaJob& job);
// Probes `file` with our own engine.
ProbeResult ProbeFile(MediaJob& job, const fs::path& file);
// MD5 of the data of the first `count` audio packets (all when negative), one per
// packet in file order, as ffprobe reads them.
std::vector<std::string> PacketHashes(const fs::path& file, int count = -1);

// Raw samples of a file's first audio stream as `format` (s16le, s32le ...), decoded by
// ffmpeg; empty when it cannot be decoded.
std::string FfmpegRawSamples(const fs::path& file, const std::string& format);
// Raw little-endian samples of a FLAC file at its own bit depth, decoded by the
// reference decoder (`flac -d`), from sample `skip` up to `until` (0: the end). Nothing
// when the decoder fails, so a broken stream never looks like a short one.
std::optional<std::string> FlacToolRawSamples(const fs::path& file, long skip = 0, long until = 0);

}  // namespace tolvane::testing
