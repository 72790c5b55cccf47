#include "engine/split/QuietRuns.h"

namespace tolvane::split {

void QuietRuns::Close(std::int64_t end) {
    const std::int64_t start = lastLoud_ + 1;
    if (end - start >= minSamples_ && end > start)
        runs_.push_back({start, end});
}

void QuietRuns::Loud(std::int64_t first, std::int64_t last) {
    Close(first);
    lastLoud_ = last;
}

void QuietRuns::End(std::int64_t total) {
    Close(total);
    lastLoud_ = total - 1;
}

}  // namespace tolvane::split
