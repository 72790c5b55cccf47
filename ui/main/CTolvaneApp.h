#pragma once
// The application object: runs the main window modally and ends when it closes. There
// is no loop of its own besides the window's.

#include <QStringList>

#include <functional>

#include "CTolvaneDlg.h"

namespace tolvane {

// The files named on a command line (`arguments` with the program first), made absolute
// against the current folder; a first "--" ends the options, which are otherwise files too.
QStringList FilesOfCommandLine(const QStringList& arguments);

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
    // Files to open once the window runs (the program's command line).
    void SetFilesToOpen(QStringList files) { filesToOpen_ = std::move(files); }
    // The main window's result of the last run (QDialog::Accepted or Rejected).
    int lastDialogResult() const { return lastDialogResult_; }

  private:
    std::function<CTolvaneDlg::Services()> makeServices_;
    WindowHook hook_;
    QStringList filesToOpen_;
    int lastDialogResult_ = -1;
    int endingSignal_ = 0;
};

}  // namespace tolvane
