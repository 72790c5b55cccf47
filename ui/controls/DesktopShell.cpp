#include "DesktopShell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace tolvane {

namespace {

class SystemShell final : public IDesktopShell {
  public:
    bool Open(const QString& target) override {
        if (target.isEmpty())
            return false;
        QUrl url = QUrl::fromUserInput(target, QString(), QUrl::AssumeLocalFile);
        if (!url.isValid())
            return false;
        if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile()))
            return false;
        return QDesktopServices::openUrl(url);
    }
};

}  // namespace

IDesktopShell& SystemDesktopShell() {
    static SystemShell shell;
    return shell;
}

}  // namespace tolvane
