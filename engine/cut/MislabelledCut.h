#pragma once
// A ".mp3" file that really holds AAC, MP2, PCM or FLAC is cut into an output with its
// true extension, so the copied packets go into a container that takes the codec.
// The source itself is opened under its own name and never moved. After a successful
// cut the output takes the ".mp3" name when that name is free.

#include <string>
#include <string_view>

#include "engine/job/MislabelFlags.h"

namespace tolvane {

// The output path with the text after its last "." replaced by "mp3"; empty when the
// file name holds no ".".
std::string Mp3NameOf(std::string_view outputPath);

// After a successful cut of inputPath into outputPath: when the input is a mislabelled
// ".mp3" (probeFlags) and no file of the output's ".mp3" name exists, moves the output
// there. Never replaces an existing file, even one that appears meanwhile. Returns the
// output's final path (outputPath when nothing was moved).
std::string FinishMislabelledCut(std::string_view inputPath, const std::string& outputPath,
                                 const MislabelFlags& probeFlags);

// Moves `from` to `to` only if nothing exists at `to` (atomically where the file system
// allows it). False when `to` exists or the move failed; `from` is then untouched.
bool MoveWithoutReplacing(const std::string& from, const std::string& to);

}  // namespace tolvane
