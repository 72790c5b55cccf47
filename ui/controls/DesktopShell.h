#pragma once
// Opening a web page or a folder in the desktop's own programs, behind an interface
// so tests can see what would have been opened.

#include <QString>

namespace tolvane {

class IDesktopShell {
  public:
    virtual ~IDesktopShell() = default;
    // Opens a web address, or a local file or folder path. False when it failed.
    virtual bool Open(const QString& target) = 0;
};

// The desktop's handler (QDesktopServices).
IDesktopShell& SystemDesktopShell();

}  // namespace tolvane
