#include <QApplication>
#include <QDir>
#include <QTabBar>
#include <QTimer>

#include "CTolvaneApp.h"

namespace {

// TOLVANE_SCREENSHOT=<folder>: once the window is up, save a picture of each tab there
// and close. For checking the looks on a machine without a person in front of it.
void TakeScreenshotsThenClose(tolvane::CTolvaneDlg& window, const QString& folder) {
    QTimer::singleShot(800, &window, [&window, folder] {
        QDir().mkpath(folder);
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
    tolvane::CTolvaneApp tolvane;
    const QString screenshotFolder = qEnvironmentVariable("TOLVANE_SCREENSHOT");
    if (!screenshotFolder.isEmpty()) {
        tolvane.SetWindowHook([screenshotFolder](tolvane::CTolvaneDlg& window) {
            TakeScreenshotsThenClose(window, screenshotFolder);
        });
    }
    return tolvane.Run();
}
