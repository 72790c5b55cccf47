#include <QApplication>

#include <csignal>

#include <memory>

#include "CTolvaneApp.h"
#include "ProgramOptions.h"
#include "SingleInstance.h"
#include "TerminationSignals.h"

extern "C" {
#include <libavutil/log.h>
}

int main(int argc, char* argv[]) {
    // Answered before Qt starts: without a display QApplication would abort.
    if (const auto status = tolvane::AnswerInformationOptions(argc, argv, stdout))
        return *status;
    // Past a file-size limit (ulimit -f) a write then fails with EFBIG: the job fails and
    // removes its output instead of the process dying mid-file.
    std::signal(SIGXFSZ, SIG_IGN);
    tolvane::InstallTerminationSignals();
    // FFmpeg's stream dumps and notes would fill the terminal the window was started
    // from; the window says itself what failed, and FFmpeg's errors still show there.
    av_log_set_level(AV_LOG_ERROR);
    QApplication application(argc, argv);
    const QStringList files = tolvane::FilesOfCommandLine(QCoreApplication::arguments());
    if (tolvane::HandFilesToRunningWindow(files))
        return 0;
    tolvane::CTolvaneApp tolvane;
    tolvane.SetFilesToOpen(files);
    std::unique_ptr<tolvane::SingleInstanceListener> listener;
    tolvane.SetWindowHook([&listener](tolvane::CTolvaneDlg& window) {
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
