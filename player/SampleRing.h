#pragma once
// Bounded buffer of interleaved float frames between the decoding thread and the
// sound output. A reset starts a new generation: pushes of an older generation are
// refused, so nothing decoded before a seek reaches the output after it.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace tolvane::player {

class SampleRing {
  public:
    SampleRing(int channels, int capacityFrames);

    // Empties the buffer and starts generation `generation`, whose frames begin at
    // `startFrame`. Wakes a blocked Push. With `fadeOutTail`, the next few frames of
    // the old content are kept, fading to silence, and come out first: so a seek or a
    // pause while sound plays ends the old sound softly instead of with a click.
    void Reset(uint64_t generation, int64_t startFrame, bool fadeOutTail = false);
    // Wakes and refuses every Push from now on.
    void Abort();

    // Copies `frames` frames in, waiting while the buffer is full. False when the
    // generation changed or the ring was aborted before everything was in.
    bool Push(const float* samples, int frames, uint64_t generation);

    struct Popped {
        int tailFrames = 0;      // fading frames of the old content, first in `out`
        int frames = 0;          // frames of this generation copied out after them
        int64_t startFrame = 0;  // stream frame index of the first one
        uint64_t generation = 0;
    };
    // Says that `generation` will push nothing more (its decoding reached the end).
    void MarkComplete(uint64_t generation);

    // Takes up to `maxFrames` frames without waiting; with `samples` false only the
    // fading tail (while the output is silent). A new generation hands nothing until it
    // can fill a whole request (or is complete): a device that pulls right after a seek
    // would otherwise play the first few decoded frames, then a gap of silence.
    Popped Pop(float* out, int maxFrames, bool samples = true);

    static constexpr int kTailFrames = 256;

    int BufferedFrames() const;
    int Channels() const { return channels_; }

  private:
    const int channels_;
    const int capacity_;
    std::vector<float> data_;
    mutable std::mutex mutex_;
    std::condition_variable spaceFreed_;
    int readIndex_ = 0;  // in frames
    int count_ = 0;      // frames held
    int64_t readFrame_ = 0;
    uint64_t generation_ = 0;
    bool aborted_ = false;
    bool primed_ = false;    // this generation has filled a request once
    bool complete_ = false;  // this generation pushes nothing more
    std::vector<float> tail_;
    int tailRead_ = 0;  // frames of tail_ already taken
};

}  // namespace tolvane::player
