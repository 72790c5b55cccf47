// Files named on the program's command line: one becomes the cut tab's file, several go
// to the merge list, and each is examined as Add examines it, with the same messages.

#include <QTabBar>
#include <QTimer>

#include <functional>

#include "CTolvaneApp.h"
#include "OperationsTestSupport.h"

namespace tolvane::testing {
namespace {

class OpenFiles : public WindowOperations {};

// What the window shows of its files after a batch.
struct FilesShown {
    int tab = -1;
    QString currentFile;
    QStringList rows;
    std::vector<QString> messages;
    std::vector<std::string> playerCommands;
};

FilesShown Shown(WindowUnderTest& window) {
    FilesShown shown;
    shown.tab = window->Item<QTabBar>(Id::Tabs)->currentIndex();
    shown.currentFile = window->currentFile();
    auto* list = window->Item<CCheckListCtrl>(Id::FileList);
    for (int row = 0; row < list->GetRowCount(); ++row)
        shown.rows << list->GetItemText(row, 0);
    shown.messages = window.messageBox.messages;
    shown.playerCommands = CommandsAfterStart(*window.player);
    return shown;
}

TEST_F(OpenFiles, OneFileIsTheCutTabsAndSeveralGoToTheMergeListAsAddTakesThem) {
    const QString a = Q(Wav("a.wav", 1)), b = Q(Wav("b.wav", 2));
    const QString garbage = Q(fixtures.Garbage());
    const QString missing = Q(media.path() / "missing.mp3");
    struct Case {
        const char* name;
        QStringList files;
        int tab;  // the tab they open on, and the tab Add is given them on
        int rows;
    };
    const std::vector<Case> cases = {
        {"one file", {a}, 0, 0},
        {"two files", {a, b}, 1, 2},
        {"a bad file after a good one", {a, garbage, b}, 1, 1},
        {"one bad file", {garbage}, 0, 0},
        {"a missing file", {missing}, 0, 0},
        {"a bad first file of several", {missing, a}, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowUnderTest opened(folder.path());
        opened->OpenFiles(c.files);
        const FilesShown byOpen = Shown(opened);

        WindowUnderTest added(folder.path());
        added->Item<QTabBar>(Id::Tabs)->setCurrentIndex(c.tab);
        AddFiles(added, c.files);
        const FilesShown byAdd = Shown(added);

        EXPECT_EQ(byOpen.tab, c.tab);
        EXPECT_EQ(byOpen.rows.size(), c.rows);
        EXPECT_EQ(byOpen.rows, byAdd.rows);
        EXPECT_EQ(byOpen.currentFile, byAdd.currentFile);
        EXPECT_EQ(byOpen.messages, byAdd.messages);
        EXPECT_EQ(byOpen.playerCommands, byAdd.playerCommands);
    }
}

TEST_F(OpenFiles, OneGoodFileIsLoadedAndPlays) {
    const QString a = Q(Wav("a.wav", 2));
    WindowUnderTest window(folder.path());
    window->OpenFiles({a});
    EXPECT_TRUE(window.messageBox.messages.empty());
    EXPECT_EQ(window->currentFile(), a);
    EXPECT_EQ(LabelText(*window, Id::CurrentFilePath), a);
    EXPECT_EQ(EditText(*window, Id::EndEdit), "00:00:02.000");
    EXPECT_EQ(window->playMode(), "PAUSE");
}

// The application opens them once its window runs, from the command line's words.
TEST_F(OpenFiles, TheApplicationOpensTheCommandLinesFiles) {
    const fs::path a = Wav("a.wav", 1), b = Wav("b.wav", 1);
    const fs::path cwd = fs::current_path();
    fs::current_path(media.path());
    const QStringList files =
        FilesOfCommandLine({"tolvane", "a.wav", "--", "b.wav", QString(), "--"});
    fs::current_path(cwd);
    ASSERT_EQ(files, (QStringList{Q(a), Q(b), Q(media.path() / "--")}));

    RecordingShell shell;
    RecordingMessageBox messageBox;
    CTolvaneApp app([&] {
        WindowServices services;
        services.player = std::make_unique<RecordingPlayerModule>();
        services.programFolder = folder.path().string();
        services.refreshLanguageFile = [](const std::string&) {};
        services.shell = &shell;
        services.messageBox = &messageBox;
        return services;
    });
    app.SetFilesToOpen({Q(a), Q(b)});
    QStringList rows;
    std::function<void(CTolvaneDlg&)> readRowsWhenAdded;
    readRowsWhenAdded = [&](CTolvaneDlg& window) {
        // The batch lets the loop run between its files: wait until it is over.
        if (window.addingFiles()) {
            QTimer::singleShot(0, &window, [&] { readRowsWhenAdded(window); });
            return;
        }
        auto* list = window.Item<CCheckListCtrl>(Id::FileList);
        for (int row = 0; row < list->GetRowCount(); ++row)
            rows << list->GetItemText(row, 0);
        window.close();
    };
    app.SetWindowHook([&](CTolvaneDlg& window) {
        // Queued after the opening, so it runs once the batch has begun.
        QTimer::singleShot(0, &window, [&] { readRowsWhenAdded(window); });
    });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_EQ(rows, (QStringList{Q(a), Q(b)}));
    EXPECT_TRUE(messageBox.messages.empty());
}

}  // namespace
}  // namespace tolvane::testing
