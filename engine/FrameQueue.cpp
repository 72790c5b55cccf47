#include "FrameQueue.h"

namespace tolvane {

int FrameQueue::Take(AVFrame* frame) {
    ff::FramePtr copy(av_frame_clone(frame));
    if (!copy)
        return AVERROR(ENOMEM);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stopped_ || frames_.size() < capacity_; });
    if (stopped_)
        return kTakerStopped;
    frames_.push_back(std::move(copy));
    changed_.notify_all();
    return kTaken;
}

void FrameQueue::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

ff::FramePtr FrameQueue::Pop() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stopped_ || closed_ || !frames_.empty(); });
    if (stopped_ || frames_.empty())
        return nullptr;
    ff::FramePtr frame = std::move(frames_.front());
    frames_.pop_front();
    changed_.notify_all();
    return frame;
}

void FrameQueue::Stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    frames_.clear();
    changed_.notify_all();
}

}  // namespace tolvane
