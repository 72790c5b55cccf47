#pragma once
// The search for a file's silences on a worker thread, so the window stays responsive
// and its progress dialog can show how far the search has come and stop it.

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "engine/split/SilenceFinder.h"

namespace tolvane {

class SilenceSearch {
  public:
    SilenceSearch() = default;
    ~SilenceSearch();
    SilenceSearch(const SilenceSearch&) = delete;
    SilenceSearch& operator=(const SilenceSearch&) = delete;

    // Starts a search of `path` (one at a time: the previous one is waited for first).
    void Start(const std::string& path, const split::SilenceSettings& settings);
    bool IsRunning() const { return running_.load(); }
    // 0 to 1; 0 before the first search.
    double Progress() const { return finder_ ? finder_->Progress() : 0.0; }
    // Set by Cancel: the search ends soon, with a Cancelled failure.
    std::atomic<bool>& stopFlag() { return stop_; }
    // Waits for the search and gives its result.
    split::SilenceScan Finish();

  private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::unique_ptr<split::SilenceFinder> finder_;
    split::SilenceScan scan_;
    std::thread worker_;  // last: joined before the fields it writes go
};

}  // namespace tolvane
