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
// inputs' full lengths as `lengths` gives them; totalLengthSec follows the window's rule.
void PrepareJoin(MediaJob& job, const std::vector<fs::path>& inputs, const fs::path& output,
                 const std::vector<double>& lengths, int bitRate = 128000, int sampleRate = 44100,
                 int channels = 2);
// Runs the job on the calling thread.
void RunJob(MediaJob& job);
// Probes `file` with our own engine.
int ProbeFile(MediaJob& job, const fs::path& file);

}  // namespace tolvane::testing
