#pragma once
// Finds the silences of a file: every stretch in which no sample of any channel reaches
// the threshold, lasting at least a minimum length. The file is decoded once, at its own
// rate and in its decoder's own sample format; each sample is compared with the
// threshold in that format's scale, so nothing is converted. A sample peak, not a
// short-window RMS: a window's RMS hides the click or the quiet consonant at a
// stretch's edge that a split must not cut, and the stretch's edges fall on the sample.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/split/SplitPlan.h"

struct AVFrame;

namespace tolvane::split {

struct SilenceSettings {
    double thresholdDb = -48.0;            // dBFS of a sample's magnitude; below it is quiet
    std::int64_t minLengthUs = 1'000'000;  // shorter quiet stretches are pauses, not silences
};

// [startUs, endUs) of the source's timeline, quieter than the threshold throughout.
struct Silence {
    std::int64_t startUs = 0;
    std::int64_t endUs = 0;
};

struct SilenceScan {
    std::vector<Silence> silences;  // in time order
    std::int64_t lengthUs = 0;      // of the decoded audio
    PlanFailure failure;            // SourceUnreadable or Cancelled when no scan was made
    bool ok() const { return failure.error == PlanError::None; }
};

class SilenceFinder {
  public:
    // `stop` ends a scan soon when set (from any thread).
    SilenceFinder(SilenceSettings settings, const std::atomic<bool>& stop);

    // Decodes the best audio stream of `path` once. Blocks until done, failed or stopped.
    // Times count the decoded samples from the first; decoders drop a format's encoder
    // delay and padding, so these are the times a cut of the source is given.
    SilenceScan Scan(const std::string& path);

    // How far the running scan has come, from 0 to 1; read from any thread.
    double Progress() const { return progress_.load(std::memory_order_relaxed); }

  private:
    class Detector;

    const SilenceSettings settings_;
    const std::atomic<bool>& stop_;
    std::atomic<double> progress_{0.0};
};

// The parts between the middles of the silences; parts that lie wholly in a silence (at
// a silent start or end) are left out. No silence, or nothing but silence: a failed plan.
SplitPlan PartsAtSilences(const SilenceScan& scan, const SilenceSettings& settings);

}  // namespace tolvane::split
