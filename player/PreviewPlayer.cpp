#include "PreviewPlayer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

namespace tolvane::player {

namespace {

constexpr int kFadeInFrames = 256;  // about 6 ms: enough to keep a seek from clicking
constexpr uint64_t kNoGeneration = std::numeric_limits<uint64_t>::max();
constexpr int64_t kNoStop = std::numeric_limits<int64_t>::max();
constexpr int kFadeOutMs = 3;  // before a stop point: short enough not to be heard as a fade

}  // namespace

struct PreviewPlayer::Session {
    AudioDecoder decoder;
    std::unique_ptr<SampleRing> ring;
    HeardClock clock;
    std::unique_ptr<AudioOutput> output;
    int rate = 0;
    double duration = 0;
    uint64_t serial = 0;  // tells one Open from the next

    // Window side, under the player's operation lock.
    bool playing = false;
    double heldSeconds = 0;  // the position while not playing
    bool outputStarted = false;
    uint64_t generation = 0;  // bumped by every seek

    // Requests to the decoding thread.
    std::mutex commandMutex;
    std::condition_variable commandWake;
    uint64_t requestedGeneration = 0;
    double requestedSeconds = 0;
    bool quit = false;

    std::atomic<bool> playingNow{false};
    // The output plays the buffer; off, it sends silence (after fading out what played).
    std::atomic<bool> audible{false};
    std::atomic<uint64_t> endedGeneration{kNoGeneration};

    // The stop point: the output fades out over the frames before it and sends silence
    // from it on. The window side keeps the seconds asked, which the position then reads.
    std::atomic<int64_t> stopFrame{kNoStop};
    double stopSeconds = 0;
    int fadeOutFrames = 1;
    // Where the output began fading towards the stop point, and in which generation:
    // a stop point moved later after that resumes from there.
    std::atomic<int64_t> fadeOutFrom{0};
    std::atomic<uint64_t> fadeOutGeneration{kNoGeneration};

    // Output thread only.
    uint64_t fadeGeneration = kNoGeneration;
    int fadedFrames = 0;
    bool fadingOut = false;
    bool silenced = false;  // past the stop point: everything, old tails too, is silence
    bool sounded = false;   // this generation has handed frames already
    int64_t fadeOutBegin = 0;
    int64_t fadeOutEnd = 0;

    std::thread decoderThread;

    void Pull(float* out, int frames) {
        const int channels = ring->Channels();
        const SampleRing::Popped popped = ring->Pop(out, frames, audible);
        std::fill(out + static_cast<size_t>(popped.tailFrames + popped.frames) * channels,
                  out + static_cast<size_t>(frames) * channels, 0.0f);
        if (silenced) {
            // The old sound's fading tail lies past the stop point: never heard.
            std::fill(out, out + static_cast<size_t>(popped.tailFrames) * channels, 0.0f);
        }
        if (popped.generation != fadeGeneration) {
            fadeGeneration = popped.generation;
            fadedFrames = 0;
            fadingOut = false;
            silenced = false;
            sounded = false;
        }
        out += static_cast<size_t>(popped.tailFrames) * channels;
        for (int i = 0; i < popped.frames && fadedFrames < kFadeInFrames; ++i, ++fadedFrames) {
            const float gain = static_cast<float>(fadedFrames) / kFadeInFrames;
            for (int c = 0; c < channels; ++c)
                out[static_cast<size_t>(i) * channels + c] *= gain;
        }
        ApplyStop(out, popped.startFrame, popped.frames, popped.generation);
        sounded = sounded || popped.frames > 0;
        clock.Handed(popped.startFrame, popped.frames, popped.generation);
    }

    // Fades the frames before the stop point out and silences those from it on. A stop
    // point set behind what already sounds fades out from the first frame instead; one
    // the sound starts at or after is silent from the start (the fade-in starts at 0).
    void ApplyStop(float* out, int64_t startFrame, int frames, uint64_t generation) {
        const int64_t stop = stopFrame;
        if (!fadingOut && !silenced) {
            if (stop == kNoStop || startFrame + frames <= stop - fadeOutFrames)
                return;
            const int64_t begin = std::max(startFrame, stop - fadeOutFrames);
            fadingOut = true;
            fadeOutBegin = begin;
            fadeOutEnd = begin < stop ? stop : (sounded ? begin + fadeOutFrames : begin);
            fadeOutFrom = begin;
            fadeOutGeneration = generation;
        }
        const int channels = ring->Channels();
        const int first =
            static_cast<int>(std::clamp<int64_t>(fadeOutBegin - startFrame, 0, frames));
        const double length = static_cast<double>(fadeOutEnd - fadeOutBegin);
        for (int i = first; i < frames; ++i) {
            const int64_t frame = startFrame + i;
            if (frame >= fadeOutEnd)
                silenced = true;
            const float gain = silenced ? 0.0f : static_cast<float>((fadeOutEnd - frame) / length);
            for (int c = 0; c < channels; ++c)
                out[static_cast<size_t>(i) * channels + c] *= gain;
        }
    }

    void Decode(const std::function<void(uint64_t generation)>& postEnd) {
        std::vector<float> chunk;
        uint64_t generation = 0;
        bool atEnd = false;
        bool endPosted = false;
        int64_t endFrame = 0;
        while (true) {
            {
                std::unique_lock lock(commandMutex);
                if (quit)
                    return;
                if (requestedGeneration != generation) {
                    generation = requestedGeneration;
                    const double target = requestedSeconds;
                    lock.unlock();
                    decoder.Seek(target);
                    atEnd = false;
                    endPosted = false;
                    endFrame = std::llround(target * rate);
                    continue;
                }
                if (atEnd) {
                    if (!endPosted && playingNow && ring->BufferedFrames() == 0 &&
                        clock.HeardFrame() >= endFrame) {
                        endPosted = true;
                        endedGeneration = generation;
                        lock.unlock();
                        postEnd(generation);
                        continue;
                    }
                    commandWake.wait_for(lock, std::chrono::milliseconds(10));
                    continue;
                }
            }
            int64_t startFrame = 0;
            const int frames = decoder.Next(chunk, startFrame);
            if (frames <= 0) {
                atEnd = true;
                ring->MarkComplete(generation);
                continue;
            }
            endFrame = startFrame + frames;
            ring->Push(chunk.data(), frames, generation);  // refused after a seek or Close
        }
    }

    void Shutdown() {
        {
            std::lock_guard lock(commandMutex);
            quit = true;
        }
        commandWake.notify_all();
        if (ring)
            ring->Abort();
        if (decoderThread.joinable())
            decoderThread.join();
        output.reset();  // closes the device and joins its thread before the ring goes
    }
};

PreviewPlayer::PreviewPlayer(Output output)
    : outputChoice_(output), notifier_(&PreviewPlayer::NotifierLoop, this, notifyQueue_) {}

PreviewPlayer::~PreviewPlayer() {
    {
        std::lock_guard lock(apiMutex_);
        CloseLocked();
    }
    {
        std::lock_guard lock(notifyQueue_->mutex);
        notifyQueue_->quit = true;
    }
    notifyQueue_->wake.notify_all();
    if (notifier_.get_id() == std::this_thread::get_id()) {
        // Destroyed from within the end callback: the thread ends as soon as the
        // callback returns, touching only the queue it shares.
        notifier_.detach();
    } else {
        notifier_.join();
    }
}

void PreviewPlayer::PlayerModule_Initialize(EndCallback onEnd, SecondCallback onSecond,
                                            const std::string& fixedText) {
    std::lock_guard lock(callbackMutex_);
    onEnd_ = std::move(onEnd);
    onSecond_ = std::move(onSecond);
    fixedText_ = fixedText;  // kept only; the player needs no key
}

void PreviewPlayer::PlayerModule_SetFileName(const std::string& path) {
    std::lock_guard lock(apiMutex_);
    fileName_ = path;
}

int PreviewPlayer::PlayerModule_Open() {
    std::lock_guard lock(apiMutex_);
    CloseLocked();
    if (fileName_.empty())
        return -1;
    auto session = std::make_unique<Session>();
    Session* raw = session.get();
    if (!session->decoder.Open(fileName_))
        return -1;
    const int rate = session->decoder.SourceRate();
    const int channels = session->decoder.SourceChannels();
    auto pull = [raw](float* out, int frames) { raw->Pull(out, frames); };
    session->output = outputChoice_ == Output::ClockOnly
                          ? std::make_unique<ClockAudioOutput>(rate, std::min(channels, 2), pull)
                          : OpenAudioOutput(rate, channels, pull);
    if (!session->decoder.ConfigureOutput(session->output->Rate(), session->output->Channels())) {
        session->Shutdown();
        return -1;
    }
    // The output stays paused until Start, so it does not pull before the ring exists.
    session->rate = session->output->Rate();
    session->duration = session->decoder.DurationSeconds();
    // Half a second at the device's rate: what the device takes, not what the file claims.
    const int ringFrames = std::clamp(session->rate, 8000, ff::kMaxSampleRate) / 2;
    session->ring = std::make_unique<SampleRing>(session->output->Channels(), ringFrames);
    session->fadeOutFrames = std::max(session->rate * kFadeOutMs / 1000, 1);
    session->clock.Configure(session->rate, session->output->BufferFrames());
    session->clock.Reset(0, 0);
    session->ring->Reset(0, 0);
    session->serial = ++sessionSerial_;
    const uint64_t serial = session->serial;
    session->decoderThread = std::thread([this, raw, serial] {
        raw->Decode([this, serial](uint64_t generation) { PostEnd(serial, generation); });
    });
    session_ = std::move(session);
    return 0;
}

void PreviewPlayer::PlayerModule_GetMideaType(int* first, int* second) {
    std::lock_guard lock(apiMutex_);
    // first: 1 when an audio file is open; second: 1 when it also holds a video stream.
    if (first)
        *first = session_ ? 1 : 0;
    if (second)
        *second = session_ && session_->decoder.HasVideo() ? 1 : 0;
}

void PreviewPlayer::PlayerModule_Start() {
    std::lock_guard lock(apiMutex_);
    Session* s = session_.get();
    if (!s)
        return;
    const bool ended = s->endedGeneration == s->generation;
    if (s->playing && !ended)
        return;
    if (ended) {
        SeekLocked(0);  // played to the end: play again from the start
    }
    s->playing = true;
    s->playingNow = true;
    s->audible = true;
    if (!s->outputStarted) {
        s->outputStarted = true;
        s->output->SetPaused(false);
    }
}

void PreviewPlayer::PlayerModule_Pause() {
    std::lock_guard lock(apiMutex_);
    Session* s = session_.get();
    if (!s || !s->playing)
        return;
    // The output keeps running on silence once the device has played what it holds and
    // the ring's short fade-out: the sound stops there, so Start resumes there.
    const int64_t silentFrom = std::max(s->clock.HeardFrame(), s->clock.HandedEndFrame()) +
                               std::min(s->ring->BufferedFrames(), SampleRing::kTailFrames);
    SeekLocked(silentFrom >= s->stopFrame ? s->stopSeconds
                                          : static_cast<double>(silentFrom) / s->rate);
    s->playing = false;
    s->playingNow = false;
    s->audible = false;
}

void PreviewPlayer::PlayerModule_Stop() {
    std::lock_guard lock(apiMutex_);
    Session* s = session_.get();
    if (!s)
        return;
    s->stopFrame = kNoStop;
    SeekLocked(0);
    s->playing = false;
    s->playingNow = false;
    s->audible = false;
}

void PreviewPlayer::PlayerModule_Close() {
    std::lock_guard lock(apiMutex_);
    CloseLocked();
}

void PreviewPlayer::CloseLocked() {
    if (session_) {
        session_->Shutdown();
        session_.reset();
    }
}

void PreviewPlayer::SeekLocked(double seconds) {
    Session* s = session_.get();
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    if (s->duration > 0)
        seconds = std::min(seconds, s->duration);
    const uint64_t generation = ++s->generation;
    const int64_t frame = std::llround(seconds * s->rate);
    s->clock.Reset(frame, generation);
    s->ring->Reset(generation, frame, s->playing && s->audible);
    {
        std::lock_guard lock(s->commandMutex);
        s->requestedGeneration = generation;
        s->requestedSeconds = seconds;
    }
    s->commandWake.notify_all();
    s->heldSeconds = seconds;
}

double PreviewPlayer::PositionSecondsLocked() const {
    const Session* s = session_.get();
    if (!s)
        return 0;
    double seconds = s->heldSeconds;
    if (s->playing) {
        const int64_t heard = s->clock.HeardFrame();
        // Once there, the stop point reads as asked, not as a rounded frame.
        seconds = heard >= s->stopFrame ? s->stopSeconds : static_cast<double>(heard) / s->rate;
    }
    seconds = std::max(seconds, 0.0);
    return s->duration > 0 ? std::min(seconds, s->duration) : seconds;
}

void PreviewPlayer::PlayerModule_GetPos(float* fraction) {
    if (!fraction)
        return;
    std::lock_guard lock(apiMutex_);
    const double duration = session_ ? session_->duration : 0;
    *fraction = duration > 0
                    ? static_cast<float>(std::clamp(PositionSecondsLocked() / duration, 0.0, 1.0))
                    : 0.0f;
}

void PreviewPlayer::PlayerModule_SetPos(float fraction) {
    std::lock_guard lock(apiMutex_);
    if (!session_)
        return;
    const double clamped = std::isfinite(fraction) ? std::clamp<double>(fraction, 0.0, 1.0) : 0.0;
    SeekLocked(clamped * session_->duration);
}

void PreviewPlayer::PlayerModule_GetCurrentPosition(double* seconds) {
    if (!seconds)
        return;
    std::lock_guard lock(apiMutex_);
    *seconds = PositionSecondsLocked();
}

void PreviewPlayer::PlayerModule_SetCurrentPosition(double seconds) {
    std::lock_guard lock(apiMutex_);
    if (session_)
        SeekLocked(seconds);
}

void PreviewPlayer::PlayerModule_GetDuration(double* seconds) {
    if (!seconds)
        return;
    std::lock_guard lock(apiMutex_);
    *seconds = session_ ? session_->duration : 0.0;
}

void PreviewPlayer::PlayerModule_SetStopPoint(double seconds) {
    std::lock_guard lock(apiMutex_);
    if (!session_)
        return;
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    const double frame = std::round(seconds * session_->rate);
    MoveStopLocked(frame < 9e18 ? static_cast<int64_t>(frame) : kNoStop - 1, seconds);
}

void PreviewPlayer::PlayerModule_ClearStopPoint() {
    std::lock_guard lock(apiMutex_);
    if (session_)
        MoveStopLocked(kNoStop, 0);
}

void PreviewPlayer::MoveStopLocked(int64_t frame, double seconds) {
    Session* s = session_.get();
    const bool reached = s->fadeOutGeneration == s->generation;
    const int64_t fadeFrom = s->fadeOutFrom;
    s->stopFrame = frame;
    s->stopSeconds = seconds;
    if (reached && frame > fadeFrom + s->fadeOutFrames) {
        // The frames after the fade's start were dropped as they came: play them again.
        SeekLocked(static_cast<double>(fadeFrom) / s->rate);
    }
}

bool PreviewPlayer::UsesSdlOutput() const {
    std::lock_guard lock(apiMutex_);
    return session_ && dynamic_cast<ClockAudioOutput*>(session_->output.get()) == nullptr;
}

void PreviewPlayer::PostEnd(uint64_t serial, uint64_t generation) {
    {
        std::lock_guard lock(notifyQueue_->mutex);
        notifyQueue_->pending.push_back({serial, generation});
    }
    notifyQueue_->wake.notify_all();
}

bool PreviewPlayer::EndStillCurrent(const PendingEnd& end) const {
    std::lock_guard lock(apiMutex_);
    const Session* s = session_.get();
    // A Stop, seek, Close or new Open since the end was heard makes it stale.
    return s && s->serial == end.serial && s->generation == end.generation && s->playing;
}

void PreviewPlayer::NotifierLoop(PreviewPlayer* player, std::shared_ptr<NotifierQueue> queue) {
    std::unique_lock lock(queue->mutex);
    while (true) {
        queue->wake.wait(lock, [&queue] { return queue->quit || !queue->pending.empty(); });
        if (queue->quit)
            return;
        const PendingEnd end = queue->pending.front();
        queue->pending.pop_front();
        lock.unlock();
        if (player->EndStillCurrent(end)) {
            EndCallback callback;
            {
                std::lock_guard callbackLock(player->callbackMutex_);
                callback = player->onEnd_;
            }
            if (callback) {
                callback();  // no player lock held: the callback may Stop, Close or destroy
            }
        }
        lock.lock();  // the queue outlives the player; `player` is used only if !quit
    }
}

}  // namespace tolvane::player

namespace tolvane {

std::unique_ptr<IPlayerModule> CreatePlayerModule() {
    return std::make_unique<player::PreviewPlayer>();
}

}  // namespace tolvane
