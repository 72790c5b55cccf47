#include "AudioOutput.h"

#include "engine/ffmpeg/FfmpegHolders.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace tolvane::player {

namespace {

// Process-wide SDL audio state: SDL is initialised once for all players and shut
// down with the last one; the driver may be switched to "dummy" only while no
// device is open.
std::mutex sdlMutex;
int sdlUsers = 0;
bool sdlTried = false;  // SDL's audio was brought up (or failed to come up) for the users
bool sdlReady = false;
int openDevices = 0;
bool onDummyFallback = false;  // the real driver failed once; it is tried again at each open

// Called with sdlMutex held and no device open: brings the configured driver back after
// a fallback, so one failed open does not silence every later file.
void RetryRealDriver() {
    if (!onDummyFallback || openDevices > 0)
        return;
    if (SDL_AudioInit(nullptr) == 0) {
        onDummyFallback = false;
    } else {
        SDL_AudioInit("dummy");
    }
}

// Called with sdlMutex held: brings SDL's audio up once for the users that hold it. Not
// before a device is wanted: SDL's start loads the sound and session-bus libraries and
// may start a bus daemon, which has no business delaying the window.
void InitSdlAudio() {
    if (std::exchange(sdlTried, true))
        return;
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

// What SDL's callback reaches through its user data. It outlives the output that made
// it, until its device is closed; a detached target plays silence.
struct CallbackTarget {
    AudioOutput::Pull pull;
    int channels = 1;
};

// A device's request: what decides whether a parked device can serve the next file.
struct DeviceRequest {
    int rate = 0;
    int channels = 0;
    bool operator==(const DeviceRequest&) const = default;
};

// A paused device kept for the next open, with its callback target and what SDL gave.
struct ParkedDevice {
    SDL_AudioDeviceID device = 0;
    std::unique_ptr<CallbackTarget> target;
    DeviceRequest request;
    SDL_AudioSpec spec{};
};

// Closes SDL devices off the caller's thread. A closing SDL device plays out its buffer
// and then waits twice the buffer length (about 60 ms with ours), and a driver with one
// default device (the dummy one among them) refuses a second device meanwhile; the
// window closes and opens the player at every Stop and Play. So a closed player's device
// is detached (the callback, run under the device lock, then no longer reaches the
// player), paused and parked: the next open of the same rate and channels takes it at
// once. A device parked for a while, or replaced, is closed on this thread.
class DeviceCloser {
  public:
    static constexpr auto kParkedFor = std::chrono::seconds(3);

    void Start() {
        std::lock_guard lock(mutex_);
        quit_ = false;
        thread_ = std::thread([this] { Run(); });
    }
    // Called by the last SDL user, with no device parked or closing (see WaitIdle).
    void Stop() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }
    void Close(SDL_AudioDeviceID device, std::unique_ptr<CallbackTarget> target) {
        {
            std::lock_guard lock(mutex_);
            pending_.push_back({device, std::move(target)});
        }
        wake_.notify_all();
    }
    // Keeps a paused device for the next open; one parked before it is closed.
    void Park(ParkedDevice parked) {
        {
            std::lock_guard lock(mutex_);
            CloseParkedLocked();
            parked_ = std::move(parked);
            parkedUntil_ = std::chrono::steady_clock::now() + kParkedFor;
        }
        wake_.notify_all();
    }
    // The parked device when it was opened for `request`.
    std::optional<ParkedDevice> TakeParked(const DeviceRequest& request) {
        std::lock_guard lock(mutex_);
        if (!parked_ || !(parked_->request == request))
            return std::nullopt;
        std::optional<ParkedDevice> taken = std::move(parked_);
        parked_.reset();
        return taken;
    }
    void CloseParked() {
        {
            std::lock_guard lock(mutex_);
            CloseParkedLocked();
        }
        wake_.notify_all();
    }
    // Until every handed device is closed (a parked one stays).
    void WaitIdle() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return pending_.empty() && !closing_; });
    }
    bool Busy() {
        std::lock_guard lock(mutex_);
        return !pending_.empty() || closing_;
    }

  private:
    struct Pending {
        SDL_AudioDeviceID device;
        std::unique_ptr<CallbackTarget> target;
    };
    void Run();
    void CloseParkedLocked() {
        if (!parked_)
            return;
        pending_.push_back({parked_->device, std::move(parked_->target)});
        parked_.reset();
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Pending> pending_;
    std::optional<ParkedDevice> parked_;
    std::chrono::steady_clock::time_point parkedUntil_;
    bool closing_ = false;
    bool quit_ = false;
    std::thread thread_;
};

// Never destroyed: a process may exit while a player still holds SDL, and a joinable
// thread must not be destroyed then.
DeviceCloser& closer = *new DeviceCloser;

void DeviceCloser::Run() {
    std::unique_lock lock(mutex_);
    while (true) {
        const auto hasWork = [this] { return quit_ || !pending_.empty(); };
        if (parked_) {
            wake_.wait_until(lock, parkedUntil_, hasWork);
            if (parked_ && std::chrono::steady_clock::now() >= parkedUntil_)
                CloseParkedLocked();  // not wanted again soon: the driver is let go
        } else {
            wake_.wait(lock, hasWork);
        }
        if (pending_.empty()) {
            if (quit_)
                return;  // nothing left to close
            continue;
        }
        Pending next = std::move(pending_.front());
        pending_.pop_front();
        closing_ = true;
        lock.unlock();
        SDL_CloseAudioDevice(next.device);  // waits for SDL's thread
        {
            std::lock_guard sdl(sdlMutex);
            --openDevices;  // only now may the driver be switched
        }
        next.target.reset();
        lock.lock();
        closing_ = false;
        idle_.notify_all();
    }
}

class SdlAudioOutput : public AudioOutput {
  public:
    // Takes the parked device when it suits; otherwise opens one, beside a device that
    // is still closing where the driver allows it, or once that close is done.
    static std::unique_ptr<AudioOutput> Open(int rate, int channels, const Pull& pull) {
        const DeviceRequest request{std::clamp(rate, 8000, ff::kMaxSampleRate),
                                    std::clamp(channels, 1, 2)};
        if (std::optional<ParkedDevice> parked = closer.TakeParked(request)) {
            std::unique_ptr<SdlAudioOutput> output(new SdlAudioOutput(std::move(*parked)));
            SDL_LockAudioDevice(output->device_);
            output->target_->pull = pull;
            SDL_UnlockAudioDevice(output->device_);
            return output;
        }
        if (auto output = OpenNow(request, pull))
            return output;
        closer.CloseParked();
        if (!closer.Busy())
            return nullptr;
        closer.WaitIdle();
        return OpenNow(request, pull);
    }

    ~SdlAudioOutput() override {
        if (device_ == 0)
            return;
        // The callback runs under the device lock: once the pull is gone here, the
        // player is never called again, and the device may be closed later.
        SDL_LockAudioDevice(device_);
        target_->pull = nullptr;
        SDL_UnlockAudioDevice(device_);
        bool fallback = false;
        {
            std::lock_guard lock(sdlMutex);
            fallback = onDummyFallback;
        }
        if (fallback) {
            // The next open tries the real driver again, which needs no device open.
            closer.Close(device_, std::move(target_));
            return;
        }
        SDL_PauseAudioDevice(device_, 1);
        closer.Park({device_, std::move(target_), request_, spec_});
    }

    int Rate() const override { return spec_.freq; }
    int Channels() const override { return spec_.channels; }
    int BufferFrames() const override { return spec_.samples; }
    void SetPaused(bool paused) override { SDL_PauseAudioDevice(device_, paused ? 1 : 0); }

  private:
    static std::unique_ptr<AudioOutput> OpenNow(const DeviceRequest& request, const Pull& pull) {
        std::unique_ptr<SdlAudioOutput> output(new SdlAudioOutput(pull));
        output->request_ = request;
        std::lock_guard lock(sdlMutex);
        InitSdlAudio();
        if (!sdlReady)
            return nullptr;
        RetryRealDriver();
        SDL_AudioSpec wanted{};
        wanted.freq = request.rate;
        wanted.format = AUDIO_F32SYS;
        wanted.channels = static_cast<Uint8>(request.channels);
        // About 20 ms per buffer: what is heard lags what is handed by about that much.
        wanted.samples = static_cast<Uint16>(std::clamp(wanted.freq / 50, 64, 16384));
        wanted.callback = &SdlAudioOutput::Callback;
        wanted.userdata = output->target_.get();
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
            if (output->device_ == 0)
                return nullptr;
        }
        output->target_->channels = output->spec_.channels;
        ++openDevices;
        return output;
    }

    explicit SdlAudioOutput(Pull pull) : target_(std::make_unique<CallbackTarget>()) {
        target_->pull = std::move(pull);
    }
    explicit SdlAudioOutput(ParkedDevice parked)
        : target_(std::move(parked.target)),
          device_(parked.device),
          spec_(parked.spec),
          request_(parked.request) {}

    static void Callback(void* userdata, Uint8* stream, int length) {
        auto* target = static_cast<CallbackTarget*>(userdata);
        if (!target->pull) {
            std::memset(stream, 0, static_cast<size_t>(length));
            return;
        }
        const int frameBytes = static_cast<int>(sizeof(float)) * target->channels;
        target->pull(reinterpret_cast<float*>(stream), length / frameBytes);
    }

    std::unique_ptr<CallbackTarget> target_;
    SDL_AudioDeviceID device_ = 0;
    SDL_AudioSpec spec_{};
    DeviceRequest request_;
};

}  // namespace

SdlAudioSession::SdlAudioSession() {
    std::lock_guard lock(sdlMutex);
    if (sdlUsers++ == 0)
        closer.Start();
}

SdlAudioSession::~SdlAudioSession() {
    closer.CloseParked();  // SDL may go with this holder: no device stays open
    closer.WaitIdle();     // this holder's devices were handed over before it goes
    std::lock_guard lock(sdlMutex);
    if (--sdlUsers == 0) {
        closer.Stop();
        if (sdlTried && SDL_WasInit(SDL_INIT_AUDIO) != 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        } else if (sdlReady) {
            SDL_AudioQuit();
        }
        sdlTried = false;
        sdlReady = false;
        onDummyFallback = false;
    }
}

void PrepareSdlAudio() {
    std::lock_guard lock(sdlMutex);
    if (sdlUsers > 0)
        InitSdlAudio();
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
        if (!paused_)
            pull_(scratch.data(), bufferFrames_);
        std::this_thread::sleep_until(next);
        const auto now = std::chrono::steady_clock::now();
        if (now - next > std::chrono::milliseconds(200)) {
            next = now;  // after a stall, keep real-time pace instead of catching up
        }
    }
}

std::unique_ptr<AudioOutput> OpenAudioOutput(int rate, int channels, AudioOutput::Pull pull) {
    if (auto device = SdlAudioOutput::Open(rate, channels, pull))
        return device;
    return std::make_unique<ClockAudioOutput>(rate, std::clamp(channels, 1, 2), std::move(pull));
}

}  // namespace tolvane::player
