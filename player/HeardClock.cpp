#include "HeardClock.h"

#include <algorithm>

namespace tolvane::player {

void HeardClock::Configure(int rate, int bufferFrames) {
    std::lock_guard lock(mutex_);
    rate_ = std::max(rate, 1);
    bufferFrames_ = std::max(bufferFrames, 1);
}

void HeardClock::Reset(int64_t frame, uint64_t generation) {
    std::lock_guard lock(mutex_);
    generation_ = generation;
    previous_ = {frame, 0};
    last_ = {frame, 0};
    lastTime_ = Clock::now();
}

void HeardClock::Handed(int64_t startFrame, int realFrames, uint64_t generation,
                        Clock::time_point when) {
    std::lock_guard lock(mutex_);
    if (generation != generation_)
        return;
    previous_ = last_;
    last_ = {startFrame, realFrames};
    lastTime_ = when;
}

int64_t HeardClock::HeardFrame(Clock::time_point now) const {
    std::lock_guard lock(mutex_);
    const double seconds = std::chrono::duration<double>(now - lastTime_).count();
    const auto elapsed = static_cast<int64_t>(std::max(seconds, 0.0) * rate_);
    if (elapsed < bufferFrames_)
        return previous_.start + std::min(previous_.real, elapsed);
    return last_.start + std::min(last_.real, elapsed - bufferFrames_);
}

int64_t HeardClock::HandedEndFrame() const {
    std::lock_guard lock(mutex_);
    return std::max(previous_.start + previous_.real, last_.start + last_.real);
}

}  // namespace tolvane::player
