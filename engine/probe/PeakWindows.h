#pragma once
// The peaks of any stretch of a file at any zoom, without stalling whoever asks: an
// overview of the whole file is read once (finely enough for every view wider than a few
// seconds), and narrower views are decoded on demand on the reader's own thread, after
// a seek, and cached.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/probe/PeakReader.h"

namespace tolvane {

class AudioWindowSource;

// A stretch of the file's time [fromUs, toUs) shown in `columns` columns.
struct PeakSpan {
    std::int64_t fromUs = 0;
    std::int64_t toUs = 0;
    int columns = 0;
    bool operator==(const PeakSpan&) const = default;
};

struct PeakAnswer {
    // From the left; fewer than the columns while the overview is still being read.
    std::vector<ColumnPeak> peaks;
    // Nothing better will come for this span: the overview's own columns were fine
    // enough, or the stretch was decoded.
    bool final = false;
};

class PeakWindows {
  public:
    static constexpr int kOverviewColumns = 1 << 16;
    static constexpr std::size_t kCachedWindows = 24;

    explicit PeakWindows(std::string path, int overviewColumns = kOverviewColumns);
    ~PeakWindows();  // cancels and joins both readers (defined where the source is whole)
    PeakWindows(const PeakWindows&) = delete;
    PeakWindows& operator=(const PeakWindows&) = delete;

    // Never waits for decoding: a span the overview is too coarse for is queued for the
    // window reader (replacing a span still waiting) and answered meanwhile from the
    // overview, not final; asking again later gives the decoded columns.
    PeakAnswer Peaks(const PeakSpan& span);
    // The file's length as the overview reads it; 0 until it is known.
    std::int64_t LengthUs() const { return static_cast<std::int64_t>(overview_.Seconds() * 1e6); }
    // The file could not be read as audio.
    bool Failed() const { return overview_.Done() && overview_.Failed(); }

  private:
    void Serve();
    bool Superseded(const PeakSpan& span) const;
    std::optional<std::vector<ColumnPeak>> Decode(const PeakSpan& span);
    std::optional<std::vector<ColumnPeak>> Cached(const PeakSpan& span);

    const std::string path_;
    PeakReader overview_;
    std::atomic<bool> cancelled_{false};

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<PeakSpan> pending_;  // under mutex_
    // Most recently used first; under mutex_.
    std::list<std::pair<PeakSpan, std::vector<ColumnPeak>>> cache_;
    std::unique_ptr<AudioWindowSource> source_;  // the window thread's own

    std::thread thread_;  // last: starts after everything above exists
};

// Columns of `span` from overview columns of `columnUs` each (a prefix when the
// overview is read only so far). `fine` is false when a view column is narrower than an
// overview column: each then shows the overview column under its middle.
std::vector<ColumnPeak> PeaksFromOverview(const std::vector<ColumnPeak>& overview, double columnUs,
                                          const PeakSpan& span, bool* fine = nullptr);

}  // namespace tolvane
