#pragma once
// Progress of a running job on standard error: a bar redrawn in place on a terminal,
// a plain line per tenth otherwise (logs, pipes).

#include <cstdio>
#include <string>

namespace tolvane::cli {

// The text with control characters (escapes, bells, line breaks) shown as "?", so a
// file name cannot drive the terminal it is shown on.
std::string PrintableText(const std::string& text);

class ProgressReport {
  public:
    // `stream` is written to; `interactive` chooses the bar (usually isatty of it).
    ProgressReport(std::FILE* stream, bool interactive);
    ~ProgressReport();
    ProgressReport(const ProgressReport&) = delete;
    ProgressReport& operator=(const ProgressReport&) = delete;

    // percent: 0..100 of the running input (join: of the whole join); values outside
    // are ignored. inputNumber counts from 1.
    void Show(int percent, int inputNumber, int inputCount, const std::string& inputName);
    // Ends the bar's line so later messages start on a fresh one.
    void Finish();

  private:
    std::FILE* stream_;
    bool interactive_;
    bool barDrawn_ = false;
    int lastPercent_ = -1;
    int lastTenth_ = -1;
    int lastInput_ = 0;
};

}  // namespace tolvane::cli
