#include "Interrupt.h"

#include <atomic>
#include <csignal>

namespace tolvane::cli {

namespace {

// The handler may run on any thread, the worker's included, so the flag is a lock-free
// atomic rather than a volatile sig_atomic_t: async-signal-safe and free of data races.
std::atomic<int> receivedSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<std::atomic<bool>*> cancelTarget{nullptr};
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void NoteSignal(int signalNumber) {
    // The first signal names the exit status, whatever follows it.
    int none = 0;
    receivedSignal.compare_exchange_strong(none, signalNumber);
    if (std::atomic<bool>* target = cancelTarget.load())
        target->store(true);
}

}  // namespace

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    // The second Ctrl-C is not caught; the worker's reads and writes are not broken off.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction inherited {};
        if (sigaction(signalNumber, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
            continue;
        sigaction(signalNumber, &action, nullptr);
    }
}

int ReceivedInterrupt() {
    return receivedSignal.load();
}

InterruptCancels::InterruptCancels(std::atomic<bool>& cancelFlag) {
    cancelTarget.store(&cancelFlag);
    // A signal that came before the flag was registered still cancels.
    if (receivedSignal.load() != 0)
        cancelFlag.store(true);
}

InterruptCancels::~InterruptCancels() {
    cancelTarget.store(nullptr);
}

}  // namespace tolvane::cli
