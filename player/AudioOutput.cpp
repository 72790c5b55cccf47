#include "AudioOutput.h"

#include "FfmpegHolders.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

namespace tolvane::player {

namespace {

// Process-wide SDL audio state: SDL is initialised once for all players and shut
// down with the last one; the driver may be switched to "dummy" only while no
// device is open.
std::mutex sdlMutex;
int sdlUsers = 0;
bool sdlReady = false;
int openDevices = 0;
bool onDummyFallback = false;  // the real driver failed once; it is tried again at each open

// Called with sdlMutex held and no device open: brings the configured driver back after
// a fallback, so one failed open does not silence every later file.
void RetryRealDriver() {
    if (!onDummyFallback || openDevices > 0) {
        return;
    }
    if (SDL_AudioInit(nullptr) == 0) {
        onDummyFallback = false;
    } else {
        SDL_AudioInit("dummy");
    }
}

class SdlAudioOutput : public AudioOutput {
  public:
    static std::unique_ptr<AudioOutput> Open(int rate, int channels, Pull pull) {
        std::unique_ptr<SdlAudioOutput> output(new SdlAudioOutput(std::move(pull)));
        std::lock_guard lock(sdlMutex);
        if (!sdlReady) {
            return nullptr;
        }
        RetryRealDriver();
        SDL_AudioSpec wanted{};
        wanted.freq = std::clamp(rate, 8000, ff::kMaxSampleRate);
        wanted.format = AUDIO_F32SYS;
        wanted.channels = static_cast<Uint8>(std::clamp(channels, 1, 2));
        // About 20 ms per buffer: closing the device waits for one buffer to play out.
        wanted.samples = static_cast<Uint16>(std::clamp(wanted.freq / 50, 64, 16384));
        wanted.callback = &SdlAudioOutput::Callback;
        wanted.userdata = output.get();
        // The rate may follow the device (we resample to it); the channel count may not:
        // SDL's orders for 3 to 8 channels differ from FFmpeg's default layouts, so SDL
        // maps our mono or stereo onto the device's speakers itself.
        const int allowed = SDL_AUDIO_ALLOW_FREQUENCY_CHANGE;
        output->device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &output->spec_, allowed);
        if (output->device_ == 0) {
            // No sound server: ALSA fails and SDL does not fall back by itself.
            const char* driver = SDL_GetCurrentAudioDriver();
            if (openDevices > 0 || (driver != nullptr && std::strcmp(driver, "dummy") == 0) ||
                SDL_AudioInit("dummy") != 0) {
                return nullptr;
            }
            onDummyFallback = true;
            output->device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &output->spec_, allowed);
            if (output->device_ == 0) {
                return nullptr;
            }
        }
        ++openDevices;
        return output;
    }

    ~SdlAudioOutput() override {
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);  // waits for the callback thread
            std::lock_guard lock(sdlMutex);
            --openDevices;
        }
    }

    int Rate() const override { return spec_.freq; }
    int Channels() const override { return spec_.channels; }
    int BufferFrames() const override { return spec_.samples; }
    void SetPaused(bool paused) override { SDL_PauseAudioDevice(device_, paused ? 1 : 0); }

  private:
    explicit SdlAudioOutput(Pull pull) : pull_(std::move(pull)) {}

    static void Callback(void* userdata, Uint8* stream, int length) {
        auto* self = static_cast<SdlAudioOutput*>(userdata);
        const int frameBytes = static_cast<int>(sizeof(float)) * self->spec_.channels;
        self->pull_(reinterpret_cast<float*>(stream), length / frameBytes);
    }

    Pull pull_;
    SDL_AudioDeviceID device_ = 0;
    SDL_AudioSpec spec_{};
};

}  // namespace

SdlAudioSession::SdlAudioSession() {
    std::lock_guard lock(sdlMutex);
    if (sdlUsers++ == 0) {
        // SDL's init would otherwise catch SIGINT and SIGTERM into a quit event nobody
        // reads, and the process could no longer be stopped with kill or Ctrl-C.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        sdlReady = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (!sdlReady) {
            // No driver came up: the dummy one needs nothing from the system.
            sdlReady = SDL_AudioInit("dummy") == 0;
            onDummyFallback = sdlReady;
        }
    }
}

SdlAudioSession::~SdlAudioSession() {
    std::lock_guard lock(sdlMutex);
    if (--sdlUsers == 0) {
        if (SDL_WasInit(SDL_INIT_AUDIO) != 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        } else if (sdlReady) {
            SDL_AudioQuit();
        }
        sdlReady = false;
        onDummyFallback = false;
    }
}

std::string CurrentSdlDriver() {
    std::lock_guard lock(sdlMutex);
    const char* driver = SDL_GetCurrentAudioDriver();
    return driver ? driver : "";
}

ClockAudioOutput::ClockAudioOutput(int rate, int channels, Pull pull)
    : rate_(std::max(rate, 1)),
      channels_(std::max(channels, 1)),
      bufferFrames_(std::max(rate_ / 100, 1)),
      pull_(std::move(pull)),
      thread_([this] { Run(); }) {}

ClockAudioOutput::~ClockAudioOutput() {
    quit_ = true;
    thread_.join();
}

void ClockAudioOutput::Run() {
    std::vector<float> scratch(static_cast<size_t>(bufferFrames_) * channels_);
    const auto period = std::chrono::duration<double>(static_cast<double>(bufferFrames_) / rate_);
    auto next = std::chrono::steady_clock::now();
    while (!quit_) {
        next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
        if (!paused_) {
            pull_(scratch.data(), bufferFrames_);
        }
        std::this_thread::sleep_until(next);
        const auto now = std::chrono::steady_clock::now();
        if (now - next > std::chrono::milliseconds(200)) {
            next = now;  // after a stall, keep real-time pace instead of catching up
        }
    }
}

std::unique_ptr<AudioOutput> OpenAudioOutput(int rate, int channels, AudioOutput::Pull pull) {
    if (auto device = SdlAudioOutput::Open(rate, channels, pull)) {
        return device;
    }
    return std::make_unique<ClockAudioOutput>(rate, std::clamp(channels, 1, 2), std::move(pull));
}

}  // namespace tolvane::player
