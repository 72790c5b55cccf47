#pragma once
// Ctrl-C (SIGINT), SIGTERM and SIGHUP become a request to cancel the running job; the
// tool then exits with 128 + the signal's number. A second signal of the same kind acts
// as usual (ends the program at once). A signal that was ignored when the tool started
// (nohup, a background job of a script) stays ignored.

#include <atomic>

namespace tolvane::cli {

void InstallInterruptHandlers();
// The signal number received first, 0 when none.
int ReceivedInterrupt();

// While one lives, the signal handler itself sets the given cancel flag, so a job sees
// Ctrl-C at once rather than at the next poll of the main thread (a fast copy can finish
// a whole part within one poll period). One at a time; the flag must outlive it.
class InterruptCancels {
  public:
    explicit InterruptCancels(std::atomic<bool>& cancelFlag);
    ~InterruptCancels();
    InterruptCancels(const InterruptCancels&) = delete;
    InterruptCancels& operator=(const InterruptCancels&) = delete;
};

}  // namespace tolvane::cli
