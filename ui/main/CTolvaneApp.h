#pragma once
// The application object: runs the main window modally and ends when it closes. There
// is no loop of its own besides the window's.

#include <functional>

#include "CTolvaneDlg.h"

namespace tolvane {

class CTolvaneApp {
  public:
    // Called with the window after its initialisation, before it runs (tests, screenshots).
    using WindowHook = std::function<void(CTolvaneDlg&)>;

    explicit CTolvaneApp(std::function<CTolvaneDlg::Services()> makeServices = {});

    // InitInstance, then ExitInstance: the process's exit code.
    int Run();

    // Builds the main window, runs it modally and destroys it. False: no loop follows.
    bool InitInstance();
    // The exit code: 0, or 128 + the number of the signal that ended the window.
    int ExitInstance();

    void SetWindowHook(WindowHook hook) { hook_ = std::move(hook); }
    // The main window's result of the last run (QDialog::Accepted or Rejected).
    int lastDialogResult() const { return lastDialogResult_; }

  private:
    std::function<CTolvaneDlg::Services()> makeServices_;
    WindowHook hook_;
    int lastDialogResult_ = -1;
    int endingSignal_ = 0;
};

}  // namespace tolvane
