#pragma once
// Ctrl-C (SIGINT) and SIGTERM become a request to cancel the running job. A second
// signal of the same kind acts as usual (ends the program at once).

namespace tolvane::cli {

void InstallInterruptHandlers();
// The signal number received so far, 0 when none.
int ReceivedInterrupt();

}  // namespace tolvane::cli
