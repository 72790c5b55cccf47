#pragma once
// Carries the player's end of file from the player's own thread to the window's and
// waits there until the window has handled it, as a message sent across threads would.
// The wake-up goes through an eventfd watched on the window's thread, and the hand-over
// through a mutex and a condition variable, so no object crosses the threads and a
// closing window can always release a waiting player thread.

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "UniqueFd.h"

class QSocketNotifier;

namespace tolvane {

class PlayerEndRelay : public QObject {
  public:
    // `handler` runs on the thread that creates the relay.
    explicit PlayerEndRelay(std::function<void()> handler, QObject* parent = nullptr);
    ~PlayerEndRelay() override;

    // Any thread: runs the handler on the relay's thread and returns when it has run, or
    // at once when the relay is shut down. On the relay's own thread it runs directly.
    void Deliver();
    // Releases every waiting Deliver and refuses new ones (before the player goes away).
    void Shutdown();

  private:
    void OnWake();

    std::function<void()> handler_;
    UniqueFd wakeFd_;
    QSocketNotifier* wakeNotifier_ = nullptr;
    std::mutex mutex_;
    std::condition_variable handled_;
    bool shutDown_ = false;
    std::uint64_t requestedCount_ = 0;
    std::uint64_t handledCount_ = 0;
};

}  // namespace tolvane
