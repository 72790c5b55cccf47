// Runs the program's own window as the program does (same application object, same
// program folder beside the executable, real services) and saves a picture of each tab
// once it is up, then closes it. For checking the looks on a machine without a person in
// front of it; scripts/screenshot.sh runs it under a virtual display.
//
// tolvane_screenshots OUTPUT_FOLDER

#include <QApplication>
#include <QDir>
#include <QTabBar>
#include <QTimer>

#include <cstdio>

#include "CTolvaneApp.h"

namespace {

void TakeScreenshotsThenClose(tolvane::CTolvaneDlg& window, const QString& folder) {
    QTimer::singleShot(800, &window, [&window, folder] {
        window.grab().save(QDir(folder).filePath(QStringLiteral("cut-tab.png")));
        window.Item<QTabBar>(tolvane::ControlId::Tabs)->setCurrentIndex(1);
        QTimer::singleShot(300, &window, [&window, folder] {
            window.grab().save(QDir(folder).filePath(QStringLiteral("merge-tab.png")));
            window.close();
        });
    });
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: tolvane_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    const QString folder = QDir(arguments[1]).absolutePath();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "tolvane_screenshots: cannot make %s\n", qPrintable(folder));
        return 1;
    }
    tolvane::CTolvaneApp tolvane;
    tolvane.SetWindowHook(
        [folder](tolvane::CTolvaneDlg& window) { TakeScreenshotsThenClose(window, folder); });
    return tolvane.Run();
}
