#pragma once
// A main window on a program folder of the test's own, with the player, the message box,
// the file and folder choosers and the desktop shell replaced by recording fakes.

#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CTolvaneDlg.h"
#include "DesktopShell.h"
#include "MediaFixtures.h"
#include "RecordingPlayerModule.h"
#include "UserPrompts.h"

namespace tolvane::testing {

class RecordingMessageBox final : public IMessageBox {
  public:
    void Show(QWidget*, const QString& text) override {
        messages.push_back(text);
        if (onShow)
            onShow();
    }
    std::vector<QString> messages;
    std::function<void()> onShow;  // runs while the message is up
};

class ScriptedFileChooser final : public IFileChooser {
  public:
    QStringList ChooseFiles(const QString& filter) override {
        filters.push_back(filter);
        return answer;
    }
    QStringList answer;
    std::vector<QString> filters;
};

class ScriptedFolderChooser final : public IFolderChooser {
  public:
    QString ChooseFolder(const QString& title) override {
        titles.push_back(title);
        if (answers.empty())
            return QString();
        QString next = answers.front();
        answers.erase(answers.begin());
        return next;
    }
    std::vector<QString> answers;
    std::vector<QString> titles;
};

class RecordingShell final : public IDesktopShell {
  public:
    bool Open(const QString& target) override {
        opened.push_back(target);
        return result;
    }
    bool result = true;
    std::vector<QString> opened;
};

// Every main-window key of a language file, each with a text that names its language and
// key ("English zysybrj"), for files the tests write.
std::string LanguageFileText(const std::string& language);

// A program folder: setting.ini and languages/ as a test wants them.
class ProgramFolderFixture {
  public:
    ProgramFolderFixture();
    const std::filesystem::path& path() const { return dir_.path(); }
    void WriteSettings(const std::string& text) const;
    void WriteLanguageFile(const std::string& fileName, const std::string& text) const;
    std::string ReadSettings() const;

  private:
    TempDir dir_;
};

// The usual folder: six language names, "english.ini" in force, English and German texts.
void WriteStandardProgramFolder(const ProgramFolderFixture& folder);

// The fakes a window is given; they must outlive the window.
struct WindowFakes {
    // Services over these fakes and `programFolder`: a new recording player (left in
    // `player`), no language refresh (the folders are recorded) and modal dialogs
    // rejected unrun. A test changes what it needs before handing them over.
    WindowServices Services(const std::filesystem::path& programFolder);

    RecordingPlayerModule* player = nullptr;  // owned by the window
    RecordingMessageBox messageBox;
    ScriptedFileChooser fileChooser;
    ScriptedFolderChooser folderChooser;
    RecordingShell shell;
    std::vector<std::string> refreshedFolders;
    std::vector<QDialog*> modalDialogs;  // valid only while the dialog runs
    std::vector<QString> modalDialogClasses;
};

// A window with fakes; the fakes live as long as this object.
struct WindowUnderTest : WindowFakes {
    explicit WindowUnderTest(const std::filesystem::path& programFolder);
    std::unique_ptr<CTolvaneDlg> window;

    CTolvaneDlg& operator*() { return *window; }
    CTolvaneDlg* operator->() { return window.get(); }
};

}  // namespace tolvane::testing
