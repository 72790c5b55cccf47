#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "CTolvaneApp.h"
#include "WindowTestSupport.h"

namespace tolvane::testing {
namespace {

TEST(TolvaneApp, RunEndsWithTheBaseExitCodeWhenTheWindowCloses) {
    ProgramFolderFixture folder;
    WriteStandardProgramFolder(folder);
    WindowFakes fakes;
    CTolvaneApp app([&] { return fakes.Services(folder.path()); });
    bool wasShown = false;
    std::vector<std::string> playerCalls;
    app.SetWindowHook([&](CTolvaneDlg& window) {
        QTimer::singleShot(0, &window, [&] {
            wasShown = window.isVisible() && window.isModal();
            window.close();
            playerCalls = fakes.player->Commands();
        });
    });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_TRUE(wasShown);
    EXPECT_EQ(app.lastDialogResult(), QDialog::Accepted);
    EXPECT_EQ(playerCalls.back(), "Close");
    // The window object is gone with the run: no window of ours remains.
    for (QWidget* widget : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<CTolvaneDlg*>(widget), nullptr);
}

TEST(TolvaneApp, RunsWithoutSettingsAndLanguages) {
    ProgramFolderFixture empty;
    WindowFakes fakes;
    CTolvaneApp app([&] { return fakes.Services(empty.path()); });
    QString title;
    app.SetWindowHook([&](CTolvaneDlg& window) {
        QTimer::singleShot(0, &window, [&] {
            title = window.windowTitle();
            window.close();
        });
    });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_EQ(title, " ");
}

}  // namespace
}  // namespace tolvane::testing
