#pragma once
// Works out which frame is being heard now from what the output has handed to the
// device. The device is modelled as playing one buffer while the next is queued:
// a buffer handed at time t starts to sound one buffer length later, so what is
// heard lags what was handed by the device latency, and moves smoothly between
// output callbacks.

#include <chrono>
#include <cstdint>
#include <mutex>

namespace tolvane::player {

class HeardClock {
  public:
    using Clock = std::chrono::steady_clock;

    void Configure(int rate, int bufferFrames);
    // Nothing handed yet; what is heard is `frame` until new frames are handed.
    // Buffers handed from an older generation (popped before a seek) are ignored.
    void Reset(int64_t frame, uint64_t generation);
    // The output handed a buffer whose first `realFrames` frames are stream frames
    // from `startFrame` on (the rest was silence).
    void Handed(int64_t startFrame, int realFrames, uint64_t generation,
                Clock::time_point when = Clock::now());
    int64_t HeardFrame(Clock::time_point now = Clock::now()) const;
    // The frame after the last one handed: where the sound stops once the device has
    // played out what it holds.
    int64_t HandedEndFrame() const;

  private:
    struct Buffer {
        int64_t start = 0;
        int64_t real = 0;
    };
    mutable std::mutex mutex_;
    int rate_ = 44100;
    int bufferFrames_ = 1024;
    Buffer previous_;
    Buffer last_;
    Clock::time_point lastTime_{};
    uint64_t generation_ = 0;
};

}  // namespace tolvane::player
