#pragma once
// The options the program answers without a window: --help and --version print their
// text and end the program before any display is needed.

#include <cstdio>
#include <optional>

namespace tolvane {

// The exit status when the command line asks for --help (-h) or --version before a
// "--" (the text is printed on `out`); nothing when the window is to run.
std::optional<int> AnswerInformationOptions(int argc, const char* const* argv, std::FILE* out);

}  // namespace tolvane
