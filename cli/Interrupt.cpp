#include "Interrupt.h"

#include <atomic>
#include <csignal>

namespace tolvane::cli {

namespace {

// The handler may run on any thread, the worker's included, so the flag is a lock-free
// atomic rather than a volatile sig_atomic_t: async-signal-safe and free of data races.
std::atomic<int> receivedSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void NoteSignal(int signalNumber) {
    receivedSignal.store(signalNumber);
}

}  // namespace

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // the second Ctrl-C is not caught
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int ReceivedInterrupt() {
    return receivedSignal.load();
}

}  // namespace tolvane::cli
