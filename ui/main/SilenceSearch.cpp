#include "SilenceSearch.h"

namespace tolvane {

SilenceSearch::~SilenceSearch() {
    stop_ = true;
    if (worker_.joinable())
        worker_.join();
}

void SilenceSearch::Start(const std::string& path, const split::SilenceSettings& settings) {
    if (worker_.joinable())
        worker_.join();
    stop_ = false;
    running_ = true;
    scan_ = {};
    finder_ = std::make_unique<split::SilenceFinder>(settings, stop_);
    worker_ = std::thread([this, path] {
        scan_ = finder_->Scan(path);
        running_ = false;
    });
}

split::SilenceScan SilenceSearch::Finish() {
    if (worker_.joinable())
        worker_.join();
    return std::move(scan_);
}

}  // namespace tolvane
