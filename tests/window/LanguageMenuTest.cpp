// The window's context menu offers the language list the template keeps hidden; a
// choice there changes every text at once. Also what the window does for a user who
// has chosen nothing yet: the output folder box names the music folder, and a help page
// that no program could open is told.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QTabBar>

#include <cstdlib>

#include "CCheckListCtrl.h"
#include "CHyperLink.h"
#include "Settings.h"
#include "WindowTestSupport.h"

namespace tolvane::testing {
namespace {

namespace Id = ControlId;
namespace fs = std::filesystem;

// LanguageFileText with the menu's own key.
std::string WithMenuKey(const std::string& language) {
    std::string text = LanguageFileText(language);
    const std::string section = "[TISHI]\n";
    text.insert(text.find(section) + section.size(), "xzyy=" + language + " TISHI xzyy\n");
    return text;
}

class LanguageMenu : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteStandardProgramFolder(folder);
        folder.WriteLanguageFile("english.ini", WithMenuKey("English"));
        folder.WriteLanguageFile("german.ini", WithMenuKey("German"));
    }
    ProgramFolderFixture folder;
};

QMenu* LanguagesOf(QMenu& menu) {
    return menu.findChild<QMenu*>(QStringLiteral("languages"));
}

TEST_F(LanguageMenu, ListsTheLanguagesWithTheOneInForceTicked) {
    WindowUnderTest window(folder.path());
    const auto menu = window->MakeWindowMenu();
    QMenu* languages = LanguagesOf(*menu);
    ASSERT_NE(languages, nullptr);
    EXPECT_EQ(languages->title(), "English TISHI xzyy");
    const auto* list = window->Item<QComboBox>(Id::LanguageList);
    ASSERT_EQ(languages->actions().size(), list->count());
    for (int i = 0; i < list->count(); ++i) {
        EXPECT_EQ(languages->actions()[i]->text(), list->itemText(i));
        EXPECT_EQ(languages->actions()[i]->isChecked(), i == 0) << i;
    }
    EXPECT_TRUE(list->isHidden()) << "the template's list stays hidden";
}

TEST_F(LanguageMenu, ChoosingALanguageChangesEveryTextAtOnce) {
    WindowUnderTest window(folder.path());
    LanguagesOf(*window->MakeWindowMenu())->actions()[2]->trigger();

    EXPECT_EQ(window->languageFileName(), "german.ini");
    EXPECT_EQ(SettingsFile(folder.path()).LanguageFile(), "german.ini");
    EXPECT_EQ(window->windowTitle(), "German APPLICATION name German APPLICATION version");
    for (const auto& [id, key] :
         std::vector<std::pair<int, const char*>>{{Id::Link, "zysybrj"},
                                                  {Id::StartLabel, "ksjq"},
                                                  {Id::EndLabel, "jsjq"},
                                                  {Id::LengthLabel, "jqsj"},
                                                  {Id::OutputLabel, "output"},
                                                  {Id::Hint, "nykyzjsr"}}) {
        EXPECT_EQ(window->Item<QLabel>(id)->text(), QString("German JIEMIAN ") + key);
    }
    EXPECT_EQ(window->Item<QTabBar>(Id::Tabs)->tabText(0), "German JIEMIAN mp3jq");
    // Lists made after the switch (they are made when first used) speak it too.
    EXPECT_EQ(window->Item<CCheckListCtrl>(Id::FileList)->GetColumnHeaderText(0),
              "German JIEMIAN ywj");
    EXPECT_EQ(window->Item<CCheckListCtrl>(Id::PartsList)->GetColumnHeaderText(5),
              "German JIEMIAN zt");
    EXPECT_EQ(window->ToolTipText(Id::Add), "German HINT tjspwj");
    EXPECT_EQ(window->Item<QComboBox>(Id::LanguageList)->currentIndex(), 2);
    // The next menu speaks the new language and ticks it.
    const auto next = window->MakeWindowMenu();
    EXPECT_EQ(LanguagesOf(*next)->title(), "German TISHI xzyy");
    EXPECT_TRUE(LanguagesOf(*next)->actions()[2]->isChecked());
}

TEST_F(LanguageMenu, EmptyOutputFolderSettingShowsTheMusicFolder) {
    TempDir home;
    fs::create_directories(home / "Music");
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", home.path().c_str(), 1);
    folder.WriteSettings("[LANGUAGE]\nfile=english.ini\n[PATH]\nname=\n");
    {
        WindowUnderTest window(folder.path());
        EXPECT_EQ(window->Item<QComboBox>(Id::OutputFolderBox)->currentText().toStdString(),
                  (home / "Music").string());
    }
    setenv("HOME", savedHome.c_str(), 1);
    EXPECT_EQ(SettingsFile(folder.path()).OutputFolder(), "") << "only a chosen folder is kept";
}

TEST_F(LanguageMenu, HelpPageNoProgramCouldOpenIsTold) {
    WindowUnderTest window(folder.path());
    window.shell.result = false;
    window->Item<CHyperLink>(Id::Link)->SetURL("https://example.org/English");
    QMetaObject::invokeMethod(window->GetDlgItem(Id::About), "click");
    ASSERT_EQ(window.messageBox.messages.size(), 1u);
    EXPECT_TRUE(window.messageBox.messages[0].startsWith("\"https://example.org/English\""))
        << window.messageBox.messages[0].toStdString();
    EXPECT_TRUE(window.messageBox.messages[0].contains("xdg-utils"));
}

}  // namespace
}  // namespace tolvane::testing
