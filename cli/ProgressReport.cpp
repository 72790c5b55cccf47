#include "ProgressReport.h"

#include "NameQuoting.h"

namespace tolvane::cli {

namespace {
constexpr int kBarWidth = 30;
}

std::string PrintableText(const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    return shown;
}

ProgressReport::ProgressReport(std::FILE* stream, bool interactive)
    : stream_(stream), interactive_(interactive) {}

ProgressReport::~ProgressReport() {
    Finish();
}

void ProgressReport::Show(int percent, int inputNumber, int inputCount,
                          const std::string& inputName) {
    if (percent < 0 || percent > 100)
        return;
    if (interactive_) {
        if (percent == lastPercent_ && inputNumber == lastInput_)
            return;
        std::string bar(kBarWidth, '-');
        bar.replace(0, static_cast<std::size_t>(percent * kBarWidth / 100),
                    static_cast<std::size_t>(percent * kBarWidth / 100), '#');
        // "\x1b[K" clears what a longer previous line left to the right.
        std::fprintf(stream_, "\r[%s] %3d%%  %d/%d %s\x1b[K", bar.c_str(), percent, inputNumber,
                     inputCount, NameForOutput(inputName).c_str());
        barDrawn_ = true;
    } else {
        int tenth = percent / 10;
        if (tenth == lastTenth_ && inputNumber == lastInput_)
            return;
        std::fprintf(stream_, "progress %3d%%  %d/%d %s\n", percent, inputNumber, inputCount,
                     NameForOutput(inputName).c_str());
        lastTenth_ = tenth;
    }
    lastPercent_ = percent;
    lastInput_ = inputNumber;
    std::fflush(stream_);
}

void ProgressReport::Finish() {
    if (barDrawn_) {
        std::fputc('\n', stream_);
        std::fflush(stream_);
        barDrawn_ = false;
    }
}

}  // namespace tolvane::cli
