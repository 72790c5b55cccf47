#include <QComboBox>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "OperationsTestSupport.h"
#include "Settings.h"

namespace tolvane::testing {
namespace {

const QString kNotWritable = QStringLiteral("没有写权限，请保存到其他目录!");
const QString kInvalid = QStringLiteral("The output folder name is invalid!");
constexpr const char* kProbeFile = "jlewhqlhqwenqfwk.mp3";
constexpr const char* kChildFolderVariable = "TOLVANE_TEST_UNWRITABLE_FOLDER";

QComboBox* Box(CTolvaneDlg& window) {
    return window.Item<QComboBox>(Id::OutputFolderBox);
}

QStringList BoxEntries(CTolvaneDlg& window) {
    QStringList entries;
    for (int i = 0; i < Box(window)->count(); ++i)
        entries << Box(window)->itemText(i);
    return entries;
}

// Browse on a folder the user cannot write to: refused, and nothing changes.
void ExpectRefusedAsUnwritable(const ProgramFolderFixture& folder, const QString& unwritable) {
    WindowUnderTest window(folder.path());
    window.folderChooser.answers = {unwritable};
    Click(*window, Id::Browse);
    ASSERT_EQ(window.messageBox.messages.size(), 1u);
    EXPECT_EQ(window.messageBox.messages[0], kNotWritable);
    EXPECT_EQ(Box(*window)->currentText(), "/tmp");
    EXPECT_EQ(Box(*window)->count(), 0);
    EXPECT_EQ(window->outputFolder(), "/tmp");
    EXPECT_EQ(SettingsFile(folder.path()).OutputFolder(), "/tmp");
    EXPECT_FALSE(fs::exists(fs::path(unwritable.toStdString()) / kProbeFile));
}

class OutputFolder : public WindowOperations {};
using OutputFolderBrowse = OutputFolder;

TEST_F(OutputFolderBrowse, AcceptsAFolderAndRemembersItAcrossARestart) {
    TempDir out;
    const QString chosen = Q(out.path());
    {
        WindowUnderTest window(folder.path());
        EXPECT_EQ(Box(*window)->currentText(), "/tmp");
        window.folderChooser.answers = {chosen};
        Click(*window, Id::Browse);
        ASSERT_EQ(window.folderChooser.titles.size(), 1u);
        EXPECT_EQ(window.folderChooser.titles[0], "Please select output folder:");
        EXPECT_TRUE(window.messageBox.messages.empty());
        EXPECT_EQ(Box(*window)->currentText(), chosen);
        EXPECT_EQ(BoxEntries(*window), QStringList{chosen});
        EXPECT_EQ(window->outputFolder(), chosen);
        EXPECT_FALSE(fs::exists(out.path() / kProbeFile));
        EXPECT_TRUE(fs::is_empty(out.path()));
    }
    EXPECT_EQ(SettingsFile(folder.path()).OutputFolder(), chosen.toStdString());
    WindowUnderTest restarted(folder.path());
    EXPECT_EQ(Box(*restarted)->currentText(), chosen);
    EXPECT_EQ(restarted->outputFolder(), chosen);
    EXPECT_EQ(Box(*restarted)->count(), 0);  // the list is not kept
}

TEST_F(OutputFolderBrowse, SameFolderTwiceIsListedTwiceInOrder) {
    TempDir b;
    TempDir a;
    WindowUnderTest window(folder.path());
    window.folderChooser.answers = {Q(b.path())};
    Click(*window, Id::Browse);
    window.folderChooser.answers = {Q(a.path())};
    Click(*window, Id::Browse);
    window.folderChooser.answers = {Q(b.path())};
    Click(*window, Id::Browse);
    QStringList expected{Q(a.path()), Q(b.path()), Q(b.path())};
    // The list sorts without regard to case.
    std::sort(expected.begin(), expected.end(), [](const QString& left, const QString& right) {
        return QString::compare(left, right, Qt::CaseInsensitive) < 0;
    });
    EXPECT_EQ(BoxEntries(*window), expected);
    EXPECT_EQ(Box(*window)->currentText(), Q(b.path()));
}

TEST_F(OutputFolderBrowse, InvalidNameAsksAgain) {
    TempDir good;
    WindowUnderTest window(folder.path());
    window.folderChooser.answers = {Q(good.path() / "missing"), Q(good.path())};
    Click(*window, Id::Browse);
    ASSERT_EQ(window.messageBox.messages.size(), 1u);
    EXPECT_EQ(window.messageBox.messages[0], kInvalid);
    EXPECT_EQ(window.folderChooser.titles.size(), 2u);
    EXPECT_EQ(window->outputFolder(), Q(good.path()));
}

TEST_F(OutputFolderBrowse, CancelChangesNothing) {
    WindowUnderTest window(folder.path());
    Click(*window, Id::Browse);
    EXPECT_TRUE(window.messageBox.messages.empty());
    EXPECT_EQ(window->outputFolder(), "/tmp");
    EXPECT_EQ(Box(*window)->currentText(), "/tmp");
}

TEST_F(OutputFolderBrowse, RefusesAFolderWithoutWriteRights) {
    TempDir parent;
    const fs::path unwritable = parent.path() / "read-only";
    fs::create_directories(unwritable);
    ::chmod(unwritable.c_str(), 0555);
    if (::geteuid() != 0) {
        ExpectRefusedAsUnwritable(folder, Q(unwritable));
        return;
    }
    // Root writes anywhere: the check runs in a child process as nobody.
    if (RunCommand("command -v setpriv >/dev/null") != 0)
        GTEST_SKIP() << "setpriv is missing: cannot run the check unprivileged";
    ::chmod(parent.path().c_str(), 0755);
    std::string output;
    const std::string command =
        std::string(kChildFolderVariable) + "=" + ShellQuote(unwritable.string()) +
        " setpriv --reuid=65534 --regid=65534 --clear-groups /proc/" + std::to_string(::getpid()) +
        "/exe --gtest_filter=OutputFolderUnprivileged.* 2>&1";
    const int status = RunCommand(command, &output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

// Run by the case above in a child process as an unprivileged user; skipped otherwise.
TEST(OutputFolderUnprivileged, RefusesTheFolderItWasGiven) {
    const char* unwritable = std::getenv(kChildFolderVariable);
    if (unwritable == nullptr)
        GTEST_SKIP() << "runs only as the child of OutputFolderBrowse";
    ASSERT_NE(::geteuid(), 0u);
    ProgramFolderFixture folder;
    WriteStandardProgramFolder(folder);
    ExpectRefusedAsUnwritable(folder, QString::fromLocal8Bit(unwritable));
}

TEST_F(OutputFolderBrowse, ExistingFileOfTheProbeNameIsKeptAndTheFolderRefused) {
    TempDir out;
    const fs::path existing = out.path() / kProbeFile;
    std::ofstream(existing, std::ios::binary) << "a user's own file";
    WindowUnderTest window(folder.path());
    EXPECT_FALSE(window->WriteTestPasses(Q(out.path())));
    window.folderChooser.answers = {Q(out.path())};
    Click(*window, Id::Browse);
    ASSERT_EQ(window.messageBox.messages.size(), 1u);
    EXPECT_EQ(window.messageBox.messages[0], kNotWritable);
    EXPECT_EQ(ReadFileBytes(existing), "a user's own file");
}

TEST_F(OutputFolder, WriteTestLeavesNothingBehind) {
    TempDir out;
    WindowUnderTest window(folder.path());
    EXPECT_TRUE(window->WriteTestPasses(Q(out.path())));
    EXPECT_TRUE(fs::is_empty(out.path()));
    EXPECT_FALSE(window->WriteTestPasses(Q(out.path() / "missing")));
    EXPECT_FALSE(window->WriteTestPasses(QString()));
}

TEST_F(OutputFolder, FindTargetOpensTheTypedText) {
    WindowUnderTest window(folder.path());
    Box(*window)->setEditText("/srv/typed");
    Click(*window, Id::FindTarget);
    ASSERT_EQ(window.shell.opened.size(), 1u);
    EXPECT_EQ(window.shell.opened[0], "/srv/typed");
    EXPECT_EQ(window->outputFolder(), "/tmp");
}

}  // namespace
}  // namespace tolvane::testing
