#pragma once
// Names of job outputs: the base of the input's file name, the extension of the cut
// (the input's own, or the true one of a mislabelled ".mp3") or of the join (taken
// from the output format entry), and the first free "(n)" candidate in the folder.
// Shared by the window and the command-line tool.

#include <optional>
#include <string>
#include <string_view>

#include "engine/job/MislabelFlags.h"

namespace tolvane {

// Why no output name could be made.
enum class OutputNamingError {
    None,
    NoExtension,     // the input's file name has no "."
    BadFormatEntry,  // the format entry holds no "*.ext" extension
    NameTooLong,     // the output's file name would pass the file system's limit
    FolderUnusable,  // the folder cannot be searched for existing names
    NoFreeName,      // every candidate up to the limit exists already
};

// One line of English for the caller's message ("the input's name has no extension").
const char* DescribeOutputNamingError(OutputNamingError error);

// The input's file name: the text after the last "/" of the path. A "\" is part of
// the name: on this system only "/" separates folders.
std::string_view InputFileName(std::string_view inputPath);

// The file name cut at its last "."; none when the name holds no ".".
std::optional<std::string> OutputBaseName(std::string_view inputPath);

// The true extension (".aac", ".mp2", ".wav" or ".flac") of a ".mp3" input whose probe
// found another codec, empty when the input's name does not end in ".mp3" (any case)
// or no mislabel flag is set. Several flags (several streams) are applied in the order
// AAC, MP2, WAV, FLAC, each replacing the previous one, so the last set flag decides.
std::string MislabelledTrueExtension(std::string_view inputPath, const MislabelFlags& probeFlags);

// Extension of a cut's output, dot included: the input's own, or its true one.
std::optional<std::string> CutOutputExtension(std::string_view inputPath,
                                              const MislabelFlags& probeFlags);

// Extension of a join's output from a format entry such as
// "MP3-MPEG Layer-3 Audio(*.mp3)": the text after the last "*" up to the next ")".
std::optional<std::string> JoinOutputExtension(std::string_view formatEntry);

// folder + "/" + base + extension, or the first of "base(0).ext", "base(1).ext" ...
// for which no file (nor a dangling link) of that name exists.
std::optional<std::string> FreeOutputPath(std::string_view folder, std::string_view base,
                                          std::string_view extension,
                                          OutputNamingError* why = nullptr);

// The candidate after `path` in the row FreeOutputPath() tries: "base.ext" gives
// "base(0).ext", "base(n).ext" gives "base(n+1).ext". For a name taken between the
// search and the file's creation.
std::string NextOutputCandidate(std::string_view path);

// Output of a cut of inputPath into folder; probeFlags are the mislabel flags of the
// input's probe.
std::optional<std::string> MakeCutOutputPath(std::string_view folder, std::string_view inputPath,
                                             const MislabelFlags& probeFlags,
                                             OutputNamingError* why = nullptr);

// Output of a join named after its first input.
std::optional<std::string> MakeJoinOutputPath(std::string_view folder,
                                              std::string_view firstInputPath,
                                              std::string_view formatEntry,
                                              OutputNamingError* why = nullptr);

}  // namespace tolvane
