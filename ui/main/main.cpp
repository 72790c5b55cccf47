#include <QApplication>

#include <csignal>

#include "CTolvaneApp.h"
#include "TerminationSignals.h"

int main(int argc, char* argv[]) {
    // Past a file-size limit (ulimit -f) a write then fails with EFBIG: the job fails and
    // removes its output instead of the process dying mid-file.
    std::signal(SIGXFSZ, SIG_IGN);
    tolvane::InstallTerminationSignals();
    QApplication application(argc, argv);
    tolvane::CTolvaneApp tolvane;
    tolvane.SetFilesToOpen(tolvane::FilesOfCommandLine(QCoreApplication::arguments()));
    return tolvane.Run();
}
