#pragma once
// What the About button and the link lead to. A web address is opened as it is; any
// other address names a page in the program's help folder, which is opened as a local
// file, but only when it exists there: a name that climbs out of the folder ("..", an
// absolute path, a link pointing elsewhere) or names no file is refused.

#include <QString>

#include <functional>

#include "DesktopShell.h"

namespace tolvane {

struct HelpDestination {
    bool allowed = false;
    QString address;  // what to open: the web address, or the page's file URL
};

// True for an http or https address (the scheme in any case).
bool IsWebAddress(const QString& address);

// An empty address is passed on as it is (there is nothing to open, and nothing to refuse).
HelpDestination ResolveHelpAddress(const QString& address, const QString& helpFolder);

// A shell that resolves addresses as above before handing them to the desktop's shell,
// and tells its owner of a refused one instead; `failed` hears of an allowed address
// that the desktop could not open (no program to open it).
class HelpOpeningShell final : public IDesktopShell {
  public:
    using FolderSource = std::function<QString()>;
    using RefusalHandler = std::function<void(const QString& address)>;

    HelpOpeningShell(IDesktopShell& desktop, FolderSource helpFolder, RefusalHandler refused,
                     RefusalHandler failed = {});
    bool Open(const QString& target) override;

  private:
    IDesktopShell& desktop_;
    FolderSource helpFolder_;
    RefusalHandler refused_;
    RefusalHandler failed_;
};

}  // namespace tolvane
