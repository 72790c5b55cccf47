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
    // `startFrame`. Wakes a blocked Push.
    void Reset(uint64_t generation, int64_t startFrame);
    // Wakes and refuses every Push from now on.
    void Abort();

    // Copies `frames` frames in, waiting while the buffer is full. False when the
    // generation changed or the ring was aborted before everything was in.
    bool Push(const float* samples, int frames, uint64_t generation);

    struct Popped {
        int frames = 0;          // frames copied out
        int64_t startFrame = 0;  // stream frame index of the first one
        uint64_t generation = 0;
    };
    // Takes up to `maxFrames` frames without waiting.
    Popped Pop(float* out, int maxFrames);

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
};

}  // namespace tolvane::player
