#pragma once
// Helpers of the tests that run jobs: filling a job record and running it.

#include <string>
#include <vector>

#include "MediaEngine.h"
#include "MediaFixtures.h"

namespace tolvane::testing {

// A cut of [startSec, endSec] of `input` into `output`, copy mode.
void PrepareCut(MediaJob& job, const fs::path& input, const fs::path& output, double startSec,
                double endSec);
// A join of whole inputs into an MP3 with the given encoder parameters. Ranges are the
// inputs' full lengths as `lengths` gives them; totalLengthSec as the window sets it.
void PrepareJoin(MediaJob& job, const std::vector<fs::path>& inputs, const fs::path& output,
                 const std::vector<double>& lengths, int bitRate = 128000, int sampleRate = 44100,
                 int channels = 2);
// Runs the job on the calling thread.
void RunJob(MediaJob& job);
// Probes `file` with our own engine.
int ProbeFile(MediaJob& job, const fs::path& file);
// MD5 of the data of the first `count` audio packets (all when negative), one per
// packet in file order, as ffprobe reads them.
std::vector<std::string> PacketHashes(const fs::path& file, int count = -1);

}  // namespace tolvane::testing
