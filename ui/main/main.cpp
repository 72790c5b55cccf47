#include <QApplication>
#include <QTimer>

#include <csignal>

#include <memory>

#include "CTolvaneApp.h"
#include "MediaLibraries.h"
#include "AudioOutput.h"
#include "ProgramOptions.h"
#include "SingleInstance.h"
#include "StartWarmUp.h"
#include "TerminationSignals.h"

namespace {
constexpr int kLoadLibrariesAfterMs = 300;
}

int main(int argc, char* argv[]) {
    // Answered before Qt starts: without a display QApplication would abort.
    if (const auto status = tolvane::AnswerInformationOptions(argc, argv, stdout))
        return *status;
    // Past a file-size limit (ulimit -f) a write then fails with EFBIG: the job fails and
    // removes its output instead of the process dying mid-file.
    std::signal(SIGXFSZ, SIG_IGN);
    tolvane::InstallTerminationSignals();
    tolvane::MediaLibraries mediaLibraries;
    tolvane::StartWarmUp warmUp;
    warmUp.BeforeApplication();
    QApplication application(argc, argv);
    warmUp.AfterApplication();
    const QStringList files = tolvane::FilesOfCommandLine(QCoreApplication::arguments());
    if (tolvane::HandFilesToRunningWindow(files)) {
        warmUp.Join();  // before QApplication goes
        return 0;
    }
    tolvane::CTolvaneApp tolvane;
    tolvane.SetFilesToOpen(files);
    std::unique_ptr<tolvane::SingleInstanceListener> listener;
    tolvane.SetWindowHook([&listener, &mediaLibraries, &warmUp](tolvane::CTolvaneDlg& window) {
        warmUp.Join();  // the window is made: what the threads did is in use
        // Once the window has had time to show.
        QTimer::singleShot(kLoadLibrariesAfterMs, &window, [&mediaLibraries] {
            mediaLibraries.LoadInBackground(tolvane::player::PrepareSdlAudio);
        });
        listener =
            std::make_unique<tolvane::SingleInstanceListener>([&window](const QStringList& handed) {
                window.showNormal();
                window.raise();
                window.activateWindow();
                window.OpenFiles(handed);
            });
    });
    const int status = tolvane.Run();
    listener.reset();
    return status;
}
