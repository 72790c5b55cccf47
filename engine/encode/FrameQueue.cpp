#include "engine/encode/FrameQueue.h"

#include <algorithm>
#include <utility>

namespace tolvane {

FrameQueue::FrameQueue(std::size_t capacity)
    : capacity_(std::max<std::size_t>(capacity, 1)),
      lowMark_(capacity_ / 2),
      highMark_(capacity_ - capacity_ / 2) {}

int FrameQueue::Take(AVFrame* frame) {
    bool wakeConsumer = false;
    {
        std::unique_lock lock(mutex_);
        if (!stopped_ && frames_.size() >= capacity_) {
            ++waits_.producer;
            do {
                producerWaiting_ = true;
                room_.wait(lock);
            } while (!stopped_ && frames_.size() > lowMark_);
        }
        producerWaiting_ = false;
        if (stopped_)
            return kTakerStopped;
        ff::FramePtr holder;
        if (!spares_.empty()) {
            holder = std::move(spares_.back());
            spares_.pop_back();
        } else {
            holder.reset(av_frame_alloc());
            ++waits_.allocated;
        }
        if (!holder || !passing_)
            return AVERROR(ENOMEM);
        // The holder takes the samples, the caller's frame the spare's buffers.
        av_frame_move_ref(passing_.get(), holder.get());
        av_frame_move_ref(holder.get(), frame);
        av_frame_move_ref(frame, passing_.get());
        frames_.push_back(std::move(holder));
        ++waits_.frames;
        if (consumerWaiting_ && frames_.size() >= highMark_) {
            consumerWaiting_ = false;
            wakeConsumer = true;
        }
    }
    if (wakeConsumer)
        ready_.notify_one();
    return kTaken;
}

void FrameQueue::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        consumerWaiting_ = false;
    }
    ready_.notify_all();
}

ff::FramePtr FrameQueue::Pop() {
    ff::FramePtr frame;
    bool wakeProducer = false;
    {
        std::unique_lock lock(mutex_);
        if (!stopped_ && !closed_ && frames_.empty()) {
            ++waits_.consumer;
            do {
                consumerWaiting_ = true;
                ready_.wait(lock);
            } while (!stopped_ && !closed_ && frames_.size() < highMark_);
        }
        consumerWaiting_ = false;
        if (stopped_ || frames_.empty())
            return nullptr;
        frame = std::move(frames_.front());
        frames_.pop_front();
        if (producerWaiting_ && frames_.size() <= lowMark_) {
            producerWaiting_ = false;
            wakeProducer = true;
        }
    }
    if (wakeProducer)
        room_.notify_one();
    return frame;
}

void FrameQueue::Recycle(ff::FramePtr frame) {
    std::lock_guard lock(mutex_);
    // Holders in use: the queued ones and the consumer's, so no more than capacity + 1.
    if (frame && spares_.size() <= capacity_)
        spares_.push_back(std::move(frame));
}

void FrameQueue::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        frames_.clear();
        producerWaiting_ = false;
    }
    room_.notify_all();
    ready_.notify_all();
}

FrameQueue::Waits FrameQueue::waits() const {
    std::lock_guard lock(mutex_);
    return waits_;
}

}  // namespace tolvane
