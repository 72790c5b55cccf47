#include "HelpPage.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace tolvane {

bool IsWebAddress(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

HelpDestination ResolveHelpAddress(const QString& address, const QString& helpFolder) {
    if (address.isEmpty() || IsWebAddress(address))
        return {true, address};
    const HelpDestination refused{false, QString()};
    if (helpFolder.isEmpty() || QDir::isAbsolutePath(address) ||
        address.contains(QLatin1Char('\\')))
        return refused;
    for (const QString& part : address.split(QLatin1Char('/'))) {
        if (part == QLatin1String(".."))
            return refused;
    }
    // The real paths are compared too, so a link inside the folder cannot lead out of it.
    const QString folder = QFileInfo(helpFolder).canonicalFilePath();
    const QFileInfo page(QDir(helpFolder).filePath(address));
    const QString pagePath = page.canonicalFilePath();
    if (folder.isEmpty() || pagePath.isEmpty() || !QFileInfo(pagePath).isFile())
        return refused;
    if (!pagePath.startsWith(folder + QLatin1Char('/')))
        return refused;
    return {true, QUrl::fromLocalFile(pagePath).toString(QUrl::FullyEncoded)};
}

HelpOpeningShell::HelpOpeningShell(IDesktopShell& desktop, FolderSource helpFolder,
                                   RefusalHandler refused, RefusalHandler failed)
    : desktop_(desktop),
      helpFolder_(std::move(helpFolder)),
      refused_(std::move(refused)),
      failed_(std::move(failed)) {}

bool HelpOpeningShell::Open(const QString& target) {
    const HelpDestination destination = ResolveHelpAddress(target, helpFolder_());
    if (!destination.allowed) {
        if (refused_)
            refused_(target);
        return false;
    }
    const bool opened = desktop_.Open(destination.address);
    if (!opened && !destination.address.isEmpty() && failed_)
        failed_(destination.address);
    return opened;
}

}  // namespace tolvane
