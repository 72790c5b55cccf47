#include "Interrupt.h"

#include <csignal>

namespace tolvane::cli {

namespace {

volatile std::sig_atomic_t receivedSignal = 0;

extern "C" void NoteSignal(int signalNumber) {
    receivedSignal = signalNumber;
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
    return receivedSignal;
}

}  // namespace tolvane::cli
