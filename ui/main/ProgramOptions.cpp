#include "ProgramOptions.h"

#include <string_view>

namespace tolvane {

namespace {

constexpr std::string_view kUsage =
    "Usage: tolvane [FILE...]\n"
    "Cut a stretch out of an audio file without re-encoding it, or join several files\n"
    "into one MP3, in a window.\n"
    "\n"
    "One FILE becomes the cut tab's file; several are added to the merge list. While a\n"
    "window runs, a second start hands its files to that window and ends.\n"
    "An argument after \"--\" is always a file.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "\n"
    "Settings: $XDG_CONFIG_HOME/tolvane/setting.ini (~/.config/tolvane/) for an installed\n"
    "program, setting.ini beside the program for a copy in a folder of the user's own.\n"
    "tolvane-cli(1) runs the same jobs without a window.\n";

}  // namespace

std::optional<int> AnswerInformationOptions(int argc, const char* const* argv, std::FILE* out) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--")
            break;
        if (argument == "--help" || argument == "-h") {
            std::fwrite(kUsage.data(), 1, kUsage.size(), out);
            return 0;
        }
        if (argument == "--version") {
            std::fprintf(out, "tolvane %s\n", TOLVANE_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}

}  // namespace tolvane
