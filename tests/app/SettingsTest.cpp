#include "Settings.h"

#include <gtest/gtest.h>

#include "IniTestFiles.h"
#include "LanguageTable.h"
#include "MediaFixtures.h"
#include "ProgramFolder.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

TEST(Settings, EveryKeyReadsItsDefaultWithoutAFile) {
    TempDir dir;
    const SettingsFile settings(dir.path());
    EXPECT_EQ(settings.Path(), dir.path() / "setting.ini");
    for (int i = 0; i < kLanguageListSize; ++i)
        EXPECT_EQ(settings.LanguageName(i), "");
    EXPECT_EQ(settings.LanguageFile(), "");
    EXPECT_EQ(settings.OpenFolderValue(), "1");
    EXPECT_TRUE(settings.OpenFolderWhenDone());
    EXPECT_EQ(settings.OutputFolder(), "");
    EXPECT_FALSE(fs::exists(settings.Path()));  // reading never creates the file
}

TEST(Settings, ReadsEveryKeyOfTheFile) {
    TempDir dir;
    WriteBytes(dir / "setting.ini",
               "[LANGUAGE]\nname1=English\nname2=Español\nname3=Deutsch\nname4=Français\n"
               "name5=Italiano\nname6=日本語\nfile=german.ini\n[DIR]\nopen=0\n"
               "[PATH]\nname=/home/user/Musik\n");
    const SettingsFile settings(dir.path());
    const std::array<std::string, kLanguageListSize> expected = {"English",  "Español",  "Deutsch",
                                                                 "Français", "Italiano", "日本語"};
    EXPECT_EQ(settings.LanguageNames(), expected);
    for (int i = 0; i < kLanguageListSize; ++i)
        EXPECT_EQ(settings.LanguageName(i), expected[static_cast<std::size_t>(i)]);
    EXPECT_EQ(settings.LanguageName(-1), "");
    EXPECT_EQ(settings.LanguageName(6), "");
    EXPECT_EQ(settings.LanguageFile(), "german.ini");
    EXPECT_FALSE(settings.OpenFolderWhenDone());
    EXPECT_EQ(settings.OutputFolder(), "/home/user/Musik");
    EXPECT_EQ(settings.LanguageFileInForce(), dir.path() / "languages" / "german.ini");
}

TEST(Settings, OnlyExactlyOneOpensTheFolder) {
    TempDir dir;
    const SettingsFile settings(dir.path());
    const std::pair<const char*, bool> cases[] = {
        {"1", true},     {" 1 ", true},  // the reader's own trimming
        {"0", false},    {"", false},    {"01", false},  {"yes", false},
        {"true", false}, {"1.0", false}, {"\"1\"", true}};
    for (const auto& [value, open] : cases) {
        WriteBytes(settings.Path(), std::string("[DIR]\nopen=") + value + "\n");
        EXPECT_EQ(settings.OpenFolderWhenDone(), open) << "open=" << value;
    }
}

TEST(Settings, AnOutputFolderLongerThan999CharactersIsCut) {
    TempDir dir;
    const SettingsFile settings(dir.path());
    const std::string longFolder = "/" + std::string(1200, 'd');
    settings.SetOutputFolder(longFolder);
    EXPECT_EQ(settings.OutputFolder(), longFolder.substr(0, 999));
}

TEST(Settings, WritersStoreOneKeyEachAndKeepTheRest) {
    TempDir dir;
    const std::string before = "[LANGUAGE]\nname1=English\nfile=english.ini\n";
    WriteBytes(dir / "setting.ini", before);
    const SettingsFile settings(dir.path());

    settings.SetLanguageFile("french.ini");
    EXPECT_EQ(settings.LanguageFile(), "french.ini");
    settings.SetOpenFolderWhenDone(false);
    EXPECT_EQ(settings.OpenFolderValue(), "0");
    settings.SetOpenFolderWhenDone(true);
    EXPECT_EQ(settings.OpenFolderValue(), "1");
    settings.SetOutputFolder("/media/Müsic folder/");
    EXPECT_EQ(settings.OutputFolder(), "/media/Müsic folder/");

    EXPECT_EQ(ReadBytes(settings.Path()),
              "[LANGUAGE]\nname1=English\nfile=french.ini\n\n[DIR]\nopen=1\n\n"
              "[PATH]\nname=/media/Müsic folder/\n");
}

TEST(Settings, TheFirstWriteCreatesTheFile) {
    TempDir dir;
    const SettingsFile settings(dir.path());
    settings.SetOutputFolder("/tmp");
    EXPECT_EQ(ReadBytes(settings.Path()), "[PATH]\nname=/tmp\n");
}

TEST(Settings, AFolderNameThatWouldInjectKeysIsNotWritten) {
    TempDir dir;
    const SettingsFile settings(dir.path());
    settings.SetOutputFolder("/tmp/ok");
    settings.SetOutputFolder("/tmp/x\n[LANGUAGE]\nfile=evil.ini");
    EXPECT_EQ(settings.OutputFolder(), "/tmp/ok");
    EXPECT_EQ(settings.LanguageFile(), "");
}

// The language setting names a file of the languages folder; a path in it never leads
// to a file elsewhere, whether it is absolute, climbs with ".." or is ".." itself.
TEST(Settings, TheLanguageFileInForceStaysInTheLanguagesFolder) {
    TempDir dir;
    fs::create_directory(dir / "languages");
    fs::create_directory(dir / "elsewhere");
    WriteBytes(dir / "elsewhere" / "german.ini", "[APPLICATION]\nname=outside\n");
    WriteBytes(dir / "languages" / "german.ini", "[APPLICATION]\nname=inside\n");
    const fs::path languages = dir / "languages";
    const struct {
        std::string setting;
        fs::path inForce;
    } cases[] = {
        {"german.ini", languages / "german.ini"},
        {(dir / "elsewhere" / "german.ini").string(), languages / "german.ini"},
        {"../elsewhere/german.ini", languages / "german.ini"},
        {"../../../../../../etc/passwd", languages / "passwd"},
        {"..", languages / ""},
        {"sub/..", languages / ""},
        {"/", languages / ""},
        {"odd\\name.ini", languages / "odd\\name.ini"},  // a plain name on this system
    };
    const SettingsFile settings(dir.path());
    for (const auto& [setting, inForce] : cases) {
        SCOPED_TRACE(setting);
        settings.SetLanguageFile(setting);
        ASSERT_EQ(settings.LanguageFile(), setting);
        EXPECT_EQ(settings.LanguageFileInForce(), inForce);
        const std::string name =
            ReadLanguageText(settings.LanguageFileInForce(), "APPLICATION", "name");
        EXPECT_NE(name, "outside");
        if (inForce == languages / "german.ini") {
            EXPECT_EQ(name, "inside");
        }
    }
}

TEST(Settings, ProgramFolderIsTheExecutablesFolderUnlessOverridden) {
    const fs::path executable = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(ProgramFolder(), executable.parent_path());
    EXPECT_EQ(SettingsFilePath(), executable.parent_path() / "setting.ini");
    EXPECT_EQ(LanguageFilePath("english.ini"),
              executable.parent_path() / "languages" / "english.ini");

    TempDir dir;
    OverrideProgramFolder(dir.path());
    EXPECT_EQ(ProgramFolder(), dir.path());
    EXPECT_EQ(SettingsFile().Path(), dir.path() / "setting.ini");
    OverrideProgramFolder({});
    EXPECT_EQ(ProgramFolder(), executable.parent_path());
}

}  // namespace
}  // namespace tolvane
