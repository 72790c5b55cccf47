#pragma once
// Hands decoded audio frames from one thread to another, a few at a time: the
// producer waits while the queue is full and the consumer while it is empty, so the
// memory in flight stays the same whatever the length of the job.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "FfmpegHolders.h"

namespace tolvane {

// What takes the frames a decoder assembles: the encoder itself, or a queue to it.
class FrameSink {
  public:
    // Take() succeeded, or the taker had stopped (and recorded its own failure).
    static constexpr int kTaken = 0;
    static constexpr int kTakerStopped = 1;

    virtual ~FrameSink() = default;
    // Takes the frame's samples (the frame stays the caller's). Returns kTaken,
    // kTakerStopped, or a negative FFmpeg error that the caller is to record.
    virtual int Take(AVFrame* frame) = 0;
};

class FrameQueue final : public FrameSink {
  public:
    explicit FrameQueue(std::size_t capacity) : capacity_(capacity) {}
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    // Producer: queues a new reference to the frame's data, waiting while the queue is
    // full. kTakerStopped once the consumer has stopped.
    int Take(AVFrame* frame) override;
    // Producer: no more frames will come.
    void Close();
    // Consumer: the next frame, waiting while the queue is empty; none once the queue
    // is closed and empty, or stopped.
    ff::FramePtr Pop();
    // Consumer: takes no more frames; a producer waiting for room is woken.
    void Stop();

  private:
    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<ff::FramePtr> frames_;
    bool closed_ = false;
    bool stopped_ = false;
};

}  // namespace tolvane
