// Runs the program's own window as the program does (same application object, same
// program folder beside the executable, real services) and saves a picture of each tab
// and of the language menu once it is up, then closes it. For checking the looks on a machine
// without a person in front of it; scripts/screenshot.sh runs it under a virtual display.
//
// tolvane_screenshots OUTPUT_FOLDER

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QScreen>
#include <QTabBar>
#include <QTimer>

#include <cstdio>

#include "CTolvaneApp.h"

namespace {

// The window's context menu with its language entries open, taken from the screen (the
// menus are windows of their own).
void ShowLanguageMenuThenClose(tolvane::CTolvaneDlg& window, const QString& folder) {
    QMenu* menu = window.MakeWindowMenu().release();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(window.mapToGlobal(QPoint(window.width() / 3, window.height() / 3)));
    QTimer::singleShot(300, &window, [&window, folder, menu] {
        QMenu* languages = menu->findChild<QMenu*>(QStringLiteral("languages"));
        if (languages != nullptr) {
            menu->setActiveAction(languages->menuAction());
            languages->popup(
                menu->mapToGlobal(menu->actionGeometry(languages->menuAction()).topRight()));
        }
        QTimer::singleShot(400, &window, [&window, folder, menu] {
            const QRect area = window.frameGeometry();
            QGuiApplication::primaryScreen()
                ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                .save(QDir(folder).filePath(QStringLiteral("language-menu.png")));
            menu->close();
            window.close();
        });
    });
}

void TakeScreenshotsThenClose(tolvane::CTolvaneDlg& window, const QString& folder) {
    QTimer::singleShot(800, &window, [&window, folder] {
        window.grab().save(QDir(folder).filePath(QStringLiteral("cut-tab.png")));
        window.Item<QTabBar>(tolvane::ControlId::Tabs)->setCurrentIndex(1);
        QTimer::singleShot(300, &window, [&window, folder] {
            window.grab().save(QDir(folder).filePath(QStringLiteral("merge-tab.png")));
            window.Item<QTabBar>(tolvane::ControlId::Tabs)->setCurrentIndex(2);
            QTimer::singleShot(300, &window, [&window, folder] {
                window.grab().save(QDir(folder).filePath(QStringLiteral("split-tab.png")));
                ShowLanguageMenuThenClose(window, folder);
            });
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
