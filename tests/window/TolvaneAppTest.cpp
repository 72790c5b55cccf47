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
    RecordingPlayerModule* player = nullptr;
    RecordingShell shell;
    CTolvaneApp app([&] {
        WindowServices services;
        auto fake = std::make_unique<RecordingPlayerModule>();
        player = fake.get();
        services.player = std::move(fake);
        services.programFolder = folder.path().string();
        services.refreshLanguageFile = [](const std::string&) {};
        services.shell = &shell;
        return services;
    });
    bool wasShown = false;
    std::vector<std::string> playerCalls;
    app.SetWindowHook([&](CTolvaneDlg& window) {
        QTimer::singleShot(0, &window, [&] {
            wasShown = window.isVisible() && window.isModal();
            window.close();
            playerCalls = player->Commands();
        });
    });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_TRUE(wasShown);
    EXPECT_EQ(app.lastDialogResult(), QDialog::Accepted);
    EXPECT_EQ(playerCalls.back(), "Close");
    // The window object is gone with the run: no window of ours remains.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        EXPECT_EQ(qobject_cast<CTolvaneDlg*>(widget), nullptr);
    }
}

TEST(TolvaneApp, RunsWithoutSettingsAndLanguages) {
    ProgramFolderFixture empty;
    RecordingShell shell;
    CTolvaneApp app([&] {
        WindowServices services;
        services.player = std::make_unique<RecordingPlayerModule>();
        services.programFolder = empty.path().string();
        services.refreshLanguageFile = [](const std::string&) {};
        services.shell = &shell;
        return services;
    });
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
