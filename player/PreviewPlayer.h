#pragma once
// The real preview player: a decoding thread fills a bounded buffer at the output's
// format, the sound output pulls from it, and a notifier thread delivers the end
// callback. Every operation is meant for one calling thread (the window's) and may
// come in any order; queries return 0 while nothing is open.

#include "AudioDecoder.h"
#include "AudioOutput.h"
#include "HeardClock.h"
#include "PlayerModule.h"
#include "SampleRing.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tolvane::player {

class PreviewPlayer : public IPlayerModule {
  public:
    enum class Output { SdlThenClock, ClockOnly };
    // ClockOnly skips SDL: what the player does when no sound output opens at all.
    explicit PreviewPlayer(Output output = Output::SdlThenClock);
    ~PreviewPlayer() override;
    PreviewPlayer(const PreviewPlayer&) = delete;
    PreviewPlayer& operator=(const PreviewPlayer&) = delete;

    void PlayerModule_Initialize(EndCallback onEnd, SecondCallback onSecond,
                                 const std::string& fixedText) override;
    void PlayerModule_SetFileName(const std::string& path) override;
    int PlayerModule_Open() override;
    void PlayerModule_GetMideaType(int* first, int* second) override;
    void PlayerModule_Start() override;
    void PlayerModule_Pause() override;
    void PlayerModule_Stop() override;
    void PlayerModule_Close() override;
    void PlayerModule_GetPos(float* fraction) override;
    void PlayerModule_SetPos(float fraction) override;
    void PlayerModule_GetCurrentPosition(double* seconds) override;
    void PlayerModule_SetCurrentPosition(double seconds) override;
    void PlayerModule_GetDuration(double* seconds) override;
    void PlayerModule_SetStopPoint(double seconds) override;
    void PlayerModule_ClearStopPoint() override;

    // True when sound goes to an SDL device (possibly SDL's dummy one), false when
    // the wall-clock stand-in runs or nothing is open.
    bool UsesSdlOutput() const;

  private:
    struct Session;  // everything that exists while a file is open

    void CloseLocked();
    void SeekLocked(double seconds);
    double PositionSecondsLocked() const;
    // Replaces the stop point (kNoStop: none), resuming from where the sound stopped
    // when the old one already silenced it and the new one lies later.
    void MoveStopLocked(int64_t frame, double seconds);
    struct PendingEnd {
        uint64_t serial;
        uint64_t generation;
    };
    void PostEnd(uint64_t serial, uint64_t generation);
    bool EndStillCurrent(const PendingEnd& end) const;

    SdlAudioSession sdl_;  // first in, last out: outlives every device
    const Output outputChoice_;
    mutable std::mutex apiMutex_;  // serialises the operations
    std::string fileName_;
    std::unique_ptr<Session> session_;
    uint64_t sessionSerial_ = 0;

    std::mutex callbackMutex_;
    EndCallback onEnd_;
    SecondCallback onSecond_;
    std::string fixedText_;

    // The notifier thread delivers end callbacks without holding any player lock. Its
    // queue is shared with it, so when the end callback destroys the player the thread
    // sees the quit request there and leaves without touching the player again.
    struct NotifierQueue {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<PendingEnd> pending;
        bool quit = false;
    };
    static void NotifierLoop(PreviewPlayer* player, std::shared_ptr<NotifierQueue> queue);
    std::shared_ptr<NotifierQueue> notifyQueue_ = std::make_shared<NotifierQueue>();
    std::thread notifier_;
};

}  // namespace tolvane::player
