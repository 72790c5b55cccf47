#pragma once
// Helpers of the hardening suites: hand-made damaged files, and checks that a job either
// failed cleanly or wrote a valid file. Jobs are filled and run with JobTestSupport.h.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Id3Tag.h"
#include "JobTestSupport.h"
#include "engine/job/MediaEngine.h"
#include "MediaFixtures.h"

namespace tolvane::testing {

// True when some input of the job failed.
bool JobFailed(const MediaJob& job);
// True when every input of the job is done.
bool JobDone(const MediaJob& job);

// Writes bytes to a file (replacing it).
void WriteBytes(const fs::path& file, const std::string& bytes);
// A RIFF/WAVE file of 16-bit PCM: header fields as given, then `dataBytes` of a tone.
// A byteRateField of 0 gives the rate the other fields imply.
std::string WavBytes(int channels, int sampleRate, std::uint32_t dataSizeField,
                     std::size_t dataBytes, std::uint32_t byteRateField = 0);

// The file opens and FFmpeg finds its stream information: a valid media file.
bool OpensAsMedia(const fs::path& file);

// A job's outcome is acceptable: it failed and left no output behind, or it finished
// and its output is a valid media file that ffprobe reads (with at least `minSeconds`
// of audio when given). Adds a failure describing what is wrong otherwise.
void ExpectFailedCleanlyOrValid(const MediaJob& job, const fs::path& output,
                                double minSeconds = -1);

// Number of open file descriptors of this process.
int OpenFileDescriptors();

}  // namespace tolvane::testing
