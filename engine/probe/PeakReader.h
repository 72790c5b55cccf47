#pragma once
// The loudest and quietest sample of each column of a waveform picture, read from a
// file on a thread of its own: the window draws the file's own waveform from it.

#include <atomic>
#include <limits>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct AVFrame;

namespace tolvane {

// The extremes of the samples of one column, all channels, in [-1, 1].
struct ColumnPeak {
    float low = 0;
    float high = 0;
    bool operator==(const ColumnPeak&) const = default;
};

class PeakReader {
  public:
    // Starts reading `path` at once; the columns divide the file's duration evenly.
    PeakReader(std::string path, int columns);
    ~PeakReader();  // cancels and joins the reader
    PeakReader(const PeakReader&) = delete;
    PeakReader& operator=(const PeakReader&) = delete;

    // Ends the reading soon; what was read stays readable.
    void Cancel() { cancelled_ = true; }

    // The finished columns so far, from the left: they grow while the file is read.
    std::vector<ColumnPeak> Peaks() const;
    // True once reading has ended, with every column or with a failure or a cancel.
    bool Done() const { return done_; }
    // True when the file could not be read as audio with a known duration.
    bool Failed() const { return failed_; }
    // The time one column stands for, once the file's length is known (0 before).
    double ColumnSeconds() const { return columnSeconds_; }
    // The file's length, once known (0 before).
    double Seconds() const { return seconds_; }
    // The stream time of the first sample (a decoder delay puts it after zero), once the
    // first samples are in; NaN before. Column 0 starts there.
    double StartSeconds() const { return startSeconds_; }

  private:
    void Read();
    bool ReadAll();
    // Takes one decoded frame's samples into the columns; false for a sample format
    // it does not know.
    bool TakeFrame(const AVFrame& frame);
    template <typename Sample>
    void Take(const std::uint8_t* const* planes, bool planar, int channels, int samples);
    void Publish(int finished);

    const std::string path_;
    const int columns_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> done_{false};
    std::atomic<bool> failed_{false};
    std::atomic<double> columnSeconds_{0};
    std::atomic<double> seconds_{0};
    std::atomic<double> startSeconds_{std::numeric_limits<double>::quiet_NaN()};

    // Reader thread only.
    std::vector<ColumnPeak> working_;
    double samplesPerColumn_ = 1;
    long long samplesTaken_ = 0;  // per channel

    mutable std::mutex mutex_;
    std::vector<ColumnPeak> published_;  // under mutex_

    std::thread thread_;  // last: starts after everything above exists
};

}  // namespace tolvane
