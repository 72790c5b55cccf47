#pragma once
// Finds the stretches between loud samples that last at least a minimum number of
// samples. Fed, in order, the first and last loud sample of each stretch of audio that
// holds any; everything between two such calls is quiet.

#include <cstdint>
#include <vector>

namespace tolvane::split {

// Samples [start, end) of the source (per channel), none of them loud.
struct QuietRun {
    std::int64_t start = 0;
    std::int64_t end = 0;
};

class QuietRuns {
  public:
    explicit QuietRuns(std::int64_t minSamples) : minSamples_(minSamples) {}

    // Loud samples at `first` and `last` (first <= last), none between the last call's
    // `last` and this `first`.
    void Loud(std::int64_t first, std::int64_t last);
    // The source ends before sample `total`; closes a quiet run at the end.
    void End(std::int64_t total);

    // Whether a quiet run that started after the last loud sample and ends after
    // `end` could be long enough to count: the caller's shortcut to skip looking for
    // the first loud sample of a block.
    bool CouldCount(std::int64_t end) const { return end - (lastLoud_ + 1) >= minSamples_; }

    const std::vector<QuietRun>& runs() const { return runs_; }

  private:
    void Close(std::int64_t end);

    const std::int64_t minSamples_;
    std::int64_t lastLoud_ = -1;
    std::vector<QuietRun> runs_;
};

}  // namespace tolvane::split
