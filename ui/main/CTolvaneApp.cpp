#include "CTolvaneApp.h"

#include <QFileInfo>
#include <QTimer>

#include "TerminationSignals.h"

namespace tolvane {

namespace {

constexpr int kExitSignalBase = 128;

}  // namespace

QStringList FilesOfCommandLine(const QStringList& arguments) {
    QStringList files;
    bool separatorSeen = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--") && !separatorSeen) {
            separatorSeen = true;
            continue;
        }
        if (!argument.isEmpty())
            files << QFileInfo(argument).absoluteFilePath();
    }
    return files;
}

CTolvaneApp::CTolvaneApp(std::function<CTolvaneDlg::Services()> makeServices)
    : makeServices_(std::move(makeServices)) {}

int CTolvaneApp::Run() {
    InitInstance();
    return ExitInstance();
}

bool CTolvaneApp::InitInstance() {
    CTolvaneDlg window(makeServices_ ? makeServices_() : CTolvaneDlg::Services{});
    const TerminationSignalWatcher terminationWatcher(
        [&window](int) { window.CloseFromAnyState(); });
    if (!filesToOpen_.isEmpty()) {
        // Opened from inside the window's loop, so messages about them show over it.
        QTimer::singleShot(0, &window,
                           [&window, files = filesToOpen_] { window.OpenFiles(files); });
    }
    if (hook_)
        hook_(window);
    lastDialogResult_ = window.exec();
    endingSignal_ = terminationWatcher.received();
    return false;
}

int CTolvaneApp::ExitInstance() {
    return endingSignal_ != 0 ? kExitSignalBase + endingSignal_ : 0;
}

}  // namespace tolvane
