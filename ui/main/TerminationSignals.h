#pragma once
// SIGTERM, SIGINT and SIGHUP end the window program the way its close box does. The
// handler may only do what is async-signal-safe, so it writes the signal's number into a
// pipe (the self-pipe trick); a watcher reads the pipe through a socket notifier on the
// window's thread, where the window can be closed like any other event.

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace tolvane {

// Catches the three signals into the pipe. Call early in main, before any thread starts.
// A signal that was ignored when the program started (nohup) stays ignored. A second
// signal of the same kind acts as usual, so a close that hangs can still be cut short.
// Returns false when the pipe cannot be made (the signals then keep their defaults).
bool InstallTerminationSignals();

class TerminationSignalWatcher : public QObject {
  public:
    // `onSignal` runs on the creating thread for the first signal, with its number; a
    // signal that came before the watcher existed is delivered once the event loop runs.
    explicit TerminationSignalWatcher(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~TerminationSignalWatcher() override;

    // The first signal received, 0 when none.
    int received() const { return received_; }

  private:
    void OnReadable();

    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
    int received_ = 0;
};

}  // namespace tolvane
