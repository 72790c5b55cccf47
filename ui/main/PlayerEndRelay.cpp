#include "PlayerEndRelay.h"

#include <QSocketNotifier>
#include <QThread>

#include <sys/eventfd.h>
#include <unistd.h>

namespace tolvane {

PlayerEndRelay::PlayerEndRelay(std::function<void()> handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
    wakeFd_.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (wakeFd_.valid()) {
        wakeNotifier_ = new QSocketNotifier(wakeFd_.get(), QSocketNotifier::Read, this);
        connect(wakeNotifier_, &QSocketNotifier::activated, this, &PlayerEndRelay::OnWake);
    }
}

PlayerEndRelay::~PlayerEndRelay() {
    Shutdown();
    delete wakeNotifier_;  // before the descriptor it watches is closed
}

void PlayerEndRelay::Deliver() {
    if (QThread::currentThread() == thread()) {
        handler_();
        return;
    }
    std::unique_lock lock(mutex_);
    if (shutDown_ || !wakeFd_.valid())
        return;
    const std::uint64_t ticket = ++requestedCount_;
    const std::uint64_t one = 1;
    if (write(wakeFd_.get(), &one, sizeof one) != static_cast<ssize_t>(sizeof one)) {
        return;  // the counter is full: a wake-up is pending anyway
    }
    handled_.wait(lock, [&] { return shutDown_ || handledCount_ >= ticket; });
}

void PlayerEndRelay::Shutdown() {
    {
        std::lock_guard lock(mutex_);
        shutDown_ = true;
    }
    handled_.notify_all();
}

void PlayerEndRelay::OnWake() {
    std::uint64_t count = 0;
    while (read(wakeFd_.get(), &count, sizeof count) > 0) {
    }
    std::uint64_t target = 0;
    {
        std::lock_guard lock(mutex_);
        if (shutDown_ || handledCount_ >= requestedCount_)
            return;
        target = requestedCount_;
    }
    handler_();  // without the lock: the handler calls into the player
    {
        std::lock_guard lock(mutex_);
        handledCount_ = target;
    }
    handled_.notify_all();
}

}  // namespace tolvane
