#pragma once
// Sound outputs. Each pulls interleaved float frames from a callback on a thread of
// its own, at real-time pace: the SDL device, or, when SDL cannot open any device, a
// wall-clock thread that pulls and discards, so positions still advance.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace tolvane::player {

class AudioOutput {
  public:
    // Fills `frames` frames (interleaved, Channels() wide) into `out`.
    using Pull = std::function<void(float* out, int frames)>;

    virtual ~AudioOutput() = default;
    virtual int Rate() const = 0;
    virtual int Channels() const = 0;
    // Frames handed per pull: the latency of the output.
    virtual int BufferFrames() const = 0;
    // Outputs start paused; the player starts its output once and then feeds it
    // silence while paused, so a pause can fade out.
    virtual void SetPaused(bool paused) = 0;
};

// Opens an output for about `rate` and `channels` (the device may choose others):
// the SDL device, with the default driver and then the dummy driver, else the clock.
std::unique_ptr<AudioOutput> OpenAudioOutput(int rate, int channels, AudioOutput::Pull pull);

// The wall-clock stand-in for a sound device.
class ClockAudioOutput : public AudioOutput {
  public:
    ClockAudioOutput(int rate, int channels, Pull pull);
    ~ClockAudioOutput() override;
    int Rate() const override { return rate_; }
    int Channels() const override { return channels_; }
    int BufferFrames() const override { return bufferFrames_; }
    void SetPaused(bool paused) override { paused_ = paused; }

  private:
    void Run();

    const int rate_;
    const int channels_;
    const int bufferFrames_;
    Pull pull_;
    std::atomic<bool> paused_{true};
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

// Keeps SDL's audio subsystem initialised while any holder exists. It is brought up at
// the first device opened, or by PrepareSdlAudio().
class SdlAudioSession {
  public:
    SdlAudioSession();
    ~SdlAudioSession();
    SdlAudioSession(const SdlAudioSession&) = delete;
    SdlAudioSession& operator=(const SdlAudioSession&) = delete;
};

// Brings SDL's audio up now, on the calling thread, while a holder exists, so the first
// device opens without the wait (the window calls it once it shows).
void PrepareSdlAudio();

// The SDL audio driver in use, empty when none is.
std::string CurrentSdlDriver();

}  // namespace tolvane::player
