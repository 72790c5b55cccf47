#pragma once
// The commands of tolvane-cli. Each fills the one MediaJob the way the window's
// commands do, runs it on the engine's worker and tells the outcome; returns the exit
// status.

#include "CommandLine.h"
#include "engine/job/MediaEngine.h"

namespace tolvane::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // an unusable file, folder, or a failed job
inline constexpr int kExitUsage = 2;   // the command line itself is wrong
inline constexpr int kExitSignalBase = 128;

int RunProbe(const Request& request);
int RunCut(const Request& request);
int RunJoin(const Request& request);
int RunSplit(const Request& request);  // SplitCommand.cpp

// Probes one input the way the window does when a file is added; complains and
// returns false when it is not usable. The probe's results stay in the job.
bool ProbeInput(MediaJobRunner& runner, MediaJob& job, const std::string& path);
// The probed length in milliseconds.
std::int32_t DurationMs(const MediaJob& job);
// The output folder must exist and take a new file (complains when not). The test
// file has a name of its own (mkstemp), so nothing that was there before is touched.
bool CheckOutputFolder(const std::string& folder);

// "tolvane-cli: <subject>: <what>" on standard error; the subject is a file or folder
// name, printed as NameForOutput prints it.
void Complain(const std::string& subject, const std::string& what);

}  // namespace tolvane::cli
