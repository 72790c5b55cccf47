#pragma once
// Hands decoded audio frames from one thread to another, a few at a time: the
// producer waits while the queue is full and the consumer while it is empty, so the
// memory in flight stays the same whatever the length of the job.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane {

// What takes the frames a decoder assembles: the encoder itself, or a queue to it.
class FrameSink {
  public:
    // Take() succeeded, or the taker had stopped (and recorded its own failure).
    static constexpr int kTaken = 0;
    static constexpr int kTakerStopped = 1;

    virtual ~FrameSink() = default;
    // Takes the frame's samples. The frame stays the caller's, to be filled again: a
    // sink may leave it with other buffers of the same format, or with none.
    // Returns kTaken, kTakerStopped, or a negative FFmpeg error that the caller is to
    // record.
    virtual int Take(AVFrame* frame) = 0;
};

// A side that finds the queue full (or empty) sleeps until it is half empty (or half
// full) again, so each side is woken once per half a queue, not once per frame. The
// buffers of frames the consumer is done with go back to the producer, so frames in
// flight are neither allocated nor freed once the queue has filled.
class FrameQueue final : public FrameSink {
  public:
    // What happened over the queue's life, for tests and benchmarks.
    struct Waits {
        std::size_t frames = 0;     // frames queued
        std::size_t producer = 0;   // times the producer slept on a full queue
        std::size_t consumer = 0;   // times the consumer slept on an empty queue
        std::size_t allocated = 0;  // frame holders made (not recycled)
    };

    explicit FrameQueue(std::size_t capacity);
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    // Producer: queues the frame's data, waiting while the queue is full; the frame is
    // left with the buffers of a frame the consumer has given back, or with none.
    // kTakerStopped once the consumer has stopped.
    int Take(AVFrame* frame) override;
    // Producer: no more frames will come.
    void Close();
    // Consumer: the next frame, waiting while the queue is empty; none once the queue
    // is closed and empty, or stopped.
    ff::FramePtr Pop();
    // Consumer: gives back a frame it is done with, for its buffers to be reused.
    void Recycle(ff::FramePtr frame);
    // Consumer: takes no more frames; a producer waiting for room is woken.
    void Stop();
    Waits waits() const;

  private:
    const std::size_t capacity_;
    // A sleeping producer is woken at this many queued frames or fewer, a sleeping
    // consumer at this many or more.
    const std::size_t lowMark_;
    const std::size_t highMark_;
    mutable std::mutex mutex_;
    std::condition_variable room_;   // the producer waits here
    std::condition_variable ready_;  // the consumer waits here
    std::deque<ff::FramePtr> frames_;
    std::vector<ff::FramePtr> spares_;
    bool producerWaiting_ = false;
    bool consumerWaiting_ = false;
    bool closed_ = false;
    bool stopped_ = false;
    Waits waits_;
    // The producer's: holds a spare's buffers while they change hands.
    ff::FramePtr passing_{av_frame_alloc()};
};

}  // namespace tolvane
