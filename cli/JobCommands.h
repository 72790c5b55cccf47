#pragma once
// The commands of tolvane-cli. Each fills the one MediaJob the way the window's
// commands do, runs it on the engine's worker and tells the outcome; returns the exit
// status.

#include "CommandLine.h"

namespace tolvane::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // an unusable file, folder, or a failed job
inline constexpr int kExitUsage = 2;   // the command line itself is wrong
inline constexpr int kExitSignalBase = 128;

int RunProbe(const Request& request);
int RunCut(const Request& request);
int RunJoin(const Request& request);

// "tolvane-cli: <subject>: <what>" on standard error; the subject is a file or folder
// name, printed as NameForOutput prints it.
void Complain(const std::string& subject, const std::string& what);

}  // namespace tolvane::cli
