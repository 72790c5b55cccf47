#pragma once
// Runs tolvane-cli as a real program and keeps what it printed.

#include <filesystem>
#include <string>

#include "MediaFixtures.h"

namespace tolvane {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs tolvane-cli with `arguments` (already shell-quoted where needed) in `workDir`.
inline CliRun RunCli(const std::string& arguments, const std::filesystem::path& workDir =
                                                       std::filesystem::temp_directory_path()) {
    testing::TempDir scratch;
    const std::filesystem::path errFile = scratch / "stderr";
    CliRun run;
    run.status = testing::RunCommand("cd " + testing::ShellQuote(workDir.string()) + " && " +
                                         testing::ShellQuote(TOLVANE_CLI_PATH) + " " + arguments +
                                         " 2>" + testing::ShellQuote(errFile.string()),
                                     &run.out);
    run.err = testing::ReadFileBytes(errFile);
    return run;
}

inline std::string Q(const std::filesystem::path& path) {
    return testing::ShellQuote(path.string());
}

}  // namespace tolvane
