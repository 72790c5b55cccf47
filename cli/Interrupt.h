#pragma once
// Ctrl-C (SIGINT), SIGTERM and SIGHUP become a request to cancel the running job; the
// tool then exits with 128 + the signal's number. A second signal of the same kind acts
// as usual (ends the program at once). A signal that was ignored when the tool started
// (nohup, a background job of a script) stays ignored.

namespace tolvane::cli {

void InstallInterruptHandlers();
// The signal number received first, 0 when none.
int ReceivedInterrupt();

}  // namespace tolvane::cli
