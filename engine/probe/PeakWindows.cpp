#include "engine/probe/PeakWindows.h"

#include "engine/probe/AudioWindow.h"
#include "engine/probe/FrameSamples.h"

#include <algorithm>
#include <cmath>

namespace tolvane {

std::vector<ColumnPeak> PeaksFromOverview(const std::vector<ColumnPeak>& overview, double columnUs,
                                          const PeakSpan& span, bool* fine) {
    std::vector<ColumnPeak> peaks;
    const double spanUs = double(span.toUs) - span.fromUs;
    if (columnUs <= 0 || span.columns <= 0 || spanUs <= 0)
        return peaks;
    const double viewColumnUs = spanUs / span.columns;
    const bool wide = viewColumnUs >= columnUs;
    if (fine != nullptr)
        *fine = wide;
    const auto available = static_cast<long long>(overview.size());
    peaks.reserve(static_cast<std::size_t>(span.columns));
    for (int i = 0; i < span.columns; ++i) {
        const double t0 = span.fromUs + i * viewColumnUs;
        long long first;
        long long last;  // exclusive
        if (wide) {
            first = static_cast<long long>(std::floor(t0 / columnUs));
            last = std::max(first + 1,
                            static_cast<long long>(std::ceil((t0 + viewColumnUs) / columnUs)));
        } else {
            first = static_cast<long long>(std::floor((t0 + viewColumnUs / 2) / columnUs));
            last = first + 1;
        }
        first = std::max(first, 0LL);
        if (last > available)
            break;  // not read yet: the prefix ends here
        if (last <= 0) {
            peaks.push_back({});  // before the first sample
            continue;
        }
        ColumnPeak column{1.0f, -1.0f};
        for (long long k = first; k < last; ++k) {
            column.low = std::min(column.low, overview[std::size_t(k)].low);
            column.high = std::max(column.high, overview[std::size_t(k)].high);
        }
        peaks.push_back(column.low <= column.high ? column : ColumnPeak{});
    }
    return peaks;
}

PeakWindows::PeakWindows(std::string path, int overviewColumns)
    : path_(std::move(path)),
      overview_(path_, overviewColumns),
      thread_(&PeakWindows::Serve, this) {}

PeakWindows::~PeakWindows() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

std::optional<std::vector<ColumnPeak>> PeakWindows::Cached(const PeakSpan& span) {
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        if (it->first == span) {
            cache_.splice(cache_.begin(), cache_, it);
            return cache_.front().second;
        }
    }
    return std::nullopt;
}

PeakAnswer PeakWindows::Peaks(const PeakSpan& span) {
    {
        std::lock_guard lock(mutex_);
        if (auto cached = Cached(span))
            return {std::move(*cached), true};
    }
    const double columnUs = overview_.ColumnSeconds() * 1e6;
    const double startSeconds = overview_.StartSeconds();
    if (Failed() || span.columns <= 0 || span.toUs <= span.fromUs)
        return {{}, true};
    const bool overviewDone = overview_.Done();
    if (columnUs <= 0 || (std::isnan(startSeconds) && !overviewDone))
        return {};  // the overview does not know the file's length or start yet
    // The overview's columns count samples from the first one, wherever that lies.
    const auto originUs =
        static_cast<std::int64_t>(std::isnan(startSeconds) ? 0 : startSeconds * 1e6);
    const PeakSpan fromFirst{span.fromUs - originUs, span.toUs - originUs, span.columns};
    bool fine = false;
    PeakAnswer answer{PeaksFromOverview(overview_.Peaks(), columnUs, fromFirst, &fine), false};
    if (fine) {
        {
            std::lock_guard lock(mutex_);
            pending_.reset();  // a window still being decoded is no longer wanted
        }
        answer.final = overviewDone || static_cast<int>(answer.peaks.size()) == span.columns;
        return answer;
    }
    {
        std::lock_guard lock(mutex_);
        pending_ = span;
    }
    wake_.notify_one();
    return answer;
}

bool PeakWindows::Superseded(const PeakSpan& span) const {
    std::lock_guard lock(mutex_);
    return cancelled_ || !pending_ || !(*pending_ == span);
}

void PeakWindows::Serve() {
    for (;;) {
        PeakSpan span;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return cancelled_ || pending_.has_value(); });
            if (cancelled_)
                return;
            span = *pending_;
        }
        std::optional<std::vector<ColumnPeak>> peaks = Decode(span);
        std::lock_guard lock(mutex_);
        if (pending_ && *pending_ == span)
            pending_.reset();
        if (peaks) {
            cache_.emplace_front(span, std::move(*peaks));
            if (cache_.size() > kCachedWindows)
                cache_.pop_back();
        }
    }
}

// Decodes the span's stretch into its columns. Columns narrower than a sample get none
// of their own: they show their neighbour's, and each column reaches the one before it,
// so a view of single samples reads as one line.
std::optional<std::vector<ColumnPeak>> PeakWindows::Decode(const PeakSpan& span) {
    // Kept open from one window to the next: opening and examining the file again would
    // cost more than the decoding of a narrow window.
    if (!source_)
        source_ = std::make_unique<AudioWindowSource>(path_);
    AudioWindowSource& source = *source_;
    if (!source.Ready())
        return std::vector<ColumnPeak>(std::size_t(span.columns));
    const int rate = source.SampleRate();
    const double spanUs = double(span.toUs) - span.fromUs;
    std::vector<ColumnPeak> peaks(std::size_t(span.columns), ColumnPeak{1.0f, -1.0f});
    bool stopped = false;
    source.Read(span.fromUs, span.toUs, [&](const AVFrame& frame, std::int64_t startUs) {
        if (Superseded(span)) {
            stopped = true;
            return false;
        }
        for (int k = 0; k < frame.nb_samples; ++k) {
            const double t = startUs + k * 1e6 / rate;
            if (t < span.fromUs || t >= span.toUs)
                continue;
            const auto column =
                std::min(static_cast<std::size_t>((t - span.fromUs) / spanUs * span.columns),
                         peaks.size() - 1);
            for (int c = 0; c < frame.ch_layout.nb_channels; ++c) {
                const float v = FrameSample(frame, c, k);
                peaks[column].low = std::min(peaks[column].low, v);
                peaks[column].high = std::max(peaks[column].high, v);
            }
        }
        return true;
    });
    if (stopped)
        return std::nullopt;
    const ColumnPeak* last = nullptr;
    for (ColumnPeak& column : peaks) {
        if (column.low > column.high)
            column = last != nullptr ? *last : ColumnPeak{};
        else if (last != nullptr) {
            column.low = std::min(column.low, last->high);
            column.high = std::max(column.high, last->low);
        }
        column.low = std::max(column.low, -1.0f);
        column.high = std::min(column.high, 1.0f);
        last = &column;
    }
    return peaks;
}

}  // namespace tolvane
