// tolvane-cli: the cut and join jobs of Tolvane from the command line.

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "CommandLine.h"
#include "Interrupt.h"
#include "JobCommands.h"
#include "ProgressReport.h"

int main(int argc, char** argv) {
    using namespace tolvane::cli;
    // Past a file-size limit (ulimit -f) a write then fails with EFBIG: the job fails with
    // "File too large" and removes its output instead of the process dying mid-file.
    std::signal(SIGXFSZ, SIG_IGN);
    InstallInterruptHandlers();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    ParseResult parsed = ParseCommandLine(arguments);
    if (!parsed.request) {
        std::fprintf(stderr, "tolvane-cli: %s\n", PrintableText(parsed.error).c_str());
        return kExitUsage;
    }
    const Request& request = *parsed.request;
    // The library's stream dumps and warnings would bury the one-line messages.
    av_log_set_level(request.verbose ? AV_LOG_INFO : AV_LOG_QUIET);
    switch (request.command) {
        case Command::Help:
            std::fputs(UsageText(), stdout);
            return kExitOk;
        case Command::Version:
            std::fputs(VersionText().c_str(), stdout);
            return kExitOk;
        case Command::Probe:
            return RunProbe(request);
        case Command::Cut:
            return RunCut(request);
        case Command::Join:
            return RunJoin(request);
        case Command::Split:
            return RunSplit(request);
    }
    return kExitUsage;
}
