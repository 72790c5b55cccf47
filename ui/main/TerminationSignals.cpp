#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tolvane {

namespace {

// The pipe's ends, -1 before InstallTerminationSignals made them. Lock-free atomics, so
// the handler reads them safely on whatever thread the signal lands.
std::atomic<int> pipeReadEnd{-1};
std::atomic<int> pipeWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void WriteSignalToPipe(int signalNumber) {
    const int savedErrno = errno;  // the interrupted code may be about to read errno
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a signal to act on: losing this one changes nothing.
    [[maybe_unused]] const ssize_t written = ::write(pipeWriteEnd.load(), &byte, 1);
    errno = savedErrno;
}

}  // namespace

bool InstallTerminationSignals() {
    if (pipeWriteEnd.load() < 0) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return false;
        pipeReadEnd.store(ends[0]);
        pipeWriteEnd.store(ends[1]);
    }
    struct sigaction action {};
    action.sa_handler = WriteSignalToPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction inherited {};
        if (sigaction(signalNumber, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
            continue;
        sigaction(signalNumber, &action, nullptr);
    }
    return true;
}

TerminationSignalWatcher::TerminationSignalWatcher(std::function<void(int)> onSignal,
                                                   QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    const int readEnd = pipeReadEnd.load();
    if (readEnd < 0)
        return;  // no handlers installed: nothing will ever arrive
    notifier_ = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignalWatcher::OnReadable);
}

TerminationSignalWatcher::~TerminationSignalWatcher() = default;

void TerminationSignalWatcher::OnReadable() {
    unsigned char bytes[64];
    const ssize_t count = ::read(pipeReadEnd.load(), bytes, sizeof bytes);
    if (count <= 0 || received_ != 0)
        return;  // the first signal is being acted on; later ones change nothing
    received_ = bytes[0];
    if (onSignal_)
        onSignal_(received_);
}

}  // namespace tolvane
