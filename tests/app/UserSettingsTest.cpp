// setting.ini and language files of a user who may not write the program's folder (an
// installed copy): the user's own folder is made from the program's default at the first
// start, every change is saved there and read back at the next start, and language files
// are looked up there first. Run as an unprivileged user in a child process: as root the
// child takes user 65534, otherwise the program folder is made read-only.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "ChildProcess.h"
#include "IniTestFiles.h"
#include "MediaFixtures.h"
#include "MusicFolder.h"
#include "ProgramFolder.h"
#include "Settings.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::RunInChild;
using testing::TempDir;
using testing::WriteBytes;

constexpr uid_t kNobody = 65534;

const char kDefaultSettings[] =
    "[LANGUAGE]\nname1=English\nname2=Deutsch\nfile=english.ini\n[DIR]\nopen=1\n[PATH]\nname=\n";

// The program's folder as an installation leaves it, and a home of the user's own.
class InstalledProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::permissions(root.path(), fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
        fs::create_directories(program / "languages");
        WriteBytes(program / "setting.ini", kDefaultSettings);
        WriteBytes(program / "languages" / "english.ini", "[APPLICATION]\nname=installed\n");
        WriteBytes(program / "languages" / "german.ini", "[APPLICATION]\nname=installed\n");
        fs::create_directories(home);
        if (geteuid() == 0) {
            ASSERT_EQ(chown(home.c_str(), kNobody, kNobody), 0);
        } else {
            fs::permissions(program / "setting.ini", fs::perms::owner_read);
            fs::permissions(program, fs::perms::owner_read | fs::perms::owner_exec);
        }
    }
    void TearDown() override { fs::permissions(program, fs::perms::owner_all); }

    // Runs `body` in a child as a user who may not write the program folder, with HOME
    // and XDG_CONFIG_HOME as given (nullptr: unset).
    int AsUser(const char* xdgConfigHome, const std::function<int()>& body) {
        return RunInChild([&] {
            setenv("HOME", home.c_str(), 1);
            if (xdgConfigHome != nullptr)
                setenv("XDG_CONFIG_HOME", xdgConfigHome, 1);
            else
                unsetenv("XDG_CONFIG_HOME");
            if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
                return 99;
            if (access(program.c_str(), W_OK) == 0)
                return 98;  // the program folder is still writable: nothing would be tested
            return body();
        });
    }

    TempDir root;
    const fs::path program = root.path() / "usr-lib-tolvane";
    const fs::path home = root.path() / "home";
};

TEST_F(InstalledProgram, ChangedOutputFolderIsFoundAtTheNextStart) {
    struct Case {
        const char* name;
        std::string xdgConfigHome;  // "-": unset
        fs::path expectedFolder;
    };
    const std::vector<Case> cases = {
        {"XDG_CONFIG_HOME", (home / "config").string(), home / "config" / "tolvane"},
        {"no XDG_CONFIG_HOME", "-", home / ".config" / "tolvane"},
        {"relative XDG_CONFIG_HOME", "config", home / ".config" / "tolvane"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int status = AsUser(c.xdgConfigHome == "-" ? nullptr : c.xdgConfigHome.c_str(), [&] {
            for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"})
                unsetenv(name);
            // The first start makes the user's folder from the default.
            const fs::path folder = SettingsFolderFor(program);
            if (folder != c.expectedFolder)
                return 10;
            if (ReadBytes(folder / "setting.ini") != kDefaultSettings)
                return 11;
            SettingsFile(folder).SetOutputFolder("/srv/music/out");
            SettingsFile(folder).SetLanguageFile("german.ini");
            // The next start finds the change and keeps every other key.
            const SettingsFile next(SettingsFolderFor(program));
            if (next.Path() != folder / "setting.ini" || next.OutputFolder() != "/srv/music/out")
                return 12;
            if (next.LanguageName(1) != "Deutsch" || next.OpenFolderValue() != "1")
                return 13;
            // Language files: the program's until the user has one of the name.
            if (next.LanguageFileInForce() != program / "languages" / "german.ini")
                return 14;
            WriteBytes(folder / "languages" / "german.ini", "[APPLICATION]\nname=own\n");
            if (next.LanguageFileInForce() != folder / "languages" / "german.ini")
                return 15;
            if (LanguageFilePath("english.ini", folder) != program / "languages" / "english.ini")
                return 16;
            return 0;
        });
        EXPECT_EQ(status, 0) << "10: another folder, 11: not the default, 12: the change is "
                                "lost, 13: other keys lost, 14/15/16: wrong language file, "
                                "98/99: could not become a user who may not write the folder";
        EXPECT_EQ(ReadBytes(program / "setting.ini"), kDefaultSettings)
            << "the program's own file is never written";
        fs::remove_all(c.expectedFolder);
    }
}

// A folder the user may write keeps its setting.ini, as a copy of the program unpacked
// into the home folder does.
TEST(UserSettings, WritableProgramFolderKeepsItsOwnSettings) {
    TempDir dir;
    WriteBytes(dir / "setting.ini", kDefaultSettings);
    TempDir config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    EXPECT_EQ(SettingsFolderFor(dir.path()), dir.path());
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_FALSE(fs::exists(config / "tolvane"));
    EXPECT_EQ(LanguageFilePath("english.ini", dir.path()),
              dir.path() / "languages" / "english.ini");
}

// A new user's settings name the language of the locale; a user's existing settings
// are left as they are at later starts, whatever the locale says then.
TEST_F(InstalledProgram, FirstStartChoosesTheLanguageOfTheLocale) {
    const int status = AsUser(nullptr, [&] {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
            unsetenv(name);
        setenv("LANG", "de_DE.UTF-8", 1);
        const fs::path folder = SettingsFolderFor(program);
        if (SettingsFile(folder).LanguageFile() != "german.ini")
            return 10;
        if (SettingsFile(folder).LanguageName(1) != "Deutsch")
            return 11;  // the rest is the default's
        SettingsFile(folder).SetLanguageFile("english.ini");
        if (SettingsFile(SettingsFolderFor(program)).LanguageFile() != "english.ini")
            return 12;
        return 0;
    });
    EXPECT_EQ(status, 0) << "10: not German, 11: defaults lost, 12: chosen again later";
    EXPECT_EQ(ReadBytes(program / "setting.ini"), kDefaultSettings);
}

TEST(UserSettings, LanguageFileOfTheLocale) {
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        const char* language;
        const char* expected;
    };
    const Case cases[] = {
        {"", "", "de_DE.UTF-8", "", "german.ini"},
        {"", "", "fr_CA", "", "french.ini"},
        {"", "", "ja_JP.eucJP", "", "japanese.ini"},
        {"", "", "zh_CN.UTF-8", "", "chinese.ini"},
        {"es_ES.UTF-8", "", "de_DE.UTF-8", "", "spanish.ini"},  // LC_ALL first
        {"", "it_IT.UTF-8", "de_DE.UTF-8", "", "italian.ini"},  // then LC_MESSAGES
        {"", "", "en_GB.UTF-8", "sv:de:fr", "german.ini"},      // LANGUAGE's first known
        {"", "", "C", "de", "english.ini"},                     // ignored in "C"
        {"", "", "", "de", "english.ini"},                      // and with no locale
        {"", "", "sv_SE.UTF-8", "", "english.ini"},
        {"", "", "", "", "english.ini"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lcAll) + "|" + c.lcMessages + "|" + c.lang + "|" + c.language);
        const int status = testing::RunInChild([&] {
            const auto set = [](const char* name, const char* value) {
                if (value[0] != '\0')
                    setenv(name, value, 1);
                else
                    unsetenv(name);
            };
            set("LC_ALL", c.lcAll);
            set("LC_MESSAGES", c.lcMessages);
            set("LANG", c.lang);
            set("LANGUAGE", c.language);
            return LanguageFileForLocale() == c.expected ? 0 : 1;
        });
        EXPECT_EQ(status, 0) << c.expected;
    }
}

// Installed: below /usr, or not the user's; a build folder of the user's own is not.
TEST(UserSettings, InstalledFolders) {
    TempDir own;
    EXPECT_FALSE(IsInstalledFolder(own.path(), getuid()));
    EXPECT_TRUE(IsInstalledFolder(own.path(), getuid() + 1));
    EXPECT_TRUE(IsInstalledFolder("/usr/share", 0)) << "root's start of an installed program";
    EXPECT_TRUE(IsInstalledFolder("/usr/bin/../share", 0));
    EXPECT_TRUE(IsInstalledFolder(own / "missing", getuid()));
}

// The data lies beside a build's program, or in <prefix>/share/tolvane for one installed
// in <prefix>/bin.
TEST(UserSettings, DataFolderOfTheProgram) {
    TempDir root;
    fs::create_directories(root / "build" / "languages");
    fs::create_directories(root / "usr" / "bin");
    fs::create_directories(root / "usr" / "share" / "tolvane" / "languages");
    fs::create_directories(root / "bare");
    EXPECT_EQ(DataFolderOf(root / "build"), root / "build");
    EXPECT_EQ(DataFolderOf(root / "usr" / "bin"), root / "usr" / "share" / "tolvane");
    EXPECT_EQ(DataFolderOf(root / "bare"), root / "bare");
}

// The output folder before the user chose one.
TEST(UserSettings, MusicFolderChoice) {
    TempDir home;
    fs::create_directories(home / "Musik");
    const fs::path musik = home / "Musik";
    EXPECT_EQ(ChooseMusicFolder(musik.string() + "\n", home.path()), musik);
    EXPECT_EQ(ChooseMusicFolder(home.path().string() + "\n", home.path()), home.path())
        << "xdg-user-dir answers the home folder when no music folder is set";
    EXPECT_EQ(ChooseMusicFolder("", home.path()), home.path());
    EXPECT_EQ(ChooseMusicFolder((home / "gone").string(), home.path()), home.path());
    fs::create_directories(home / "Music");
    EXPECT_EQ(ChooseMusicFolder("", home.path()), home / "Music");
    EXPECT_EQ(ChooseMusicFolder("Musik", home.path()), home / "Music") << "not absolute";
}

// The music folder as the desktop's user-dirs.dirs sets it (xdg-user-dirs writes it).
TEST(UserSettings, MusicFolderOfUserDirs) {
    const struct {
        const char* text;
        std::string folder;
    } cases[] = {
        {"# written by xdg-user-dirs-update\nXDG_MUSIC_DIR=\"$HOME/Musik\"\n", "/home/u/Musik"},
        {"XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_MUSIC_DIR=\"/srv/audio\"\r\n", "/srv/audio"},
        {"XDG_MUSIC_DIR=\"$HOME/a\"\n  XDG_MUSIC_DIR=\"$HOME/b\"\n", "/home/u/b"},
        {"XDG_MUSIC_DIR=\"$HOME\"\n", "/home/u"},
        {"XDG_MUSIC_DIR=\"$HOMEWORK/x\"\n", "$HOMEWORK/x"},
        {"#XDG_MUSIC_DIR=\"$HOME/Musik\"\nXDG_MUSIC_DIRS=\"/x\"\n", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MusicFolderOfUserDirs(c.text, "/home/u"), c.folder) << c.text;
}

}  // namespace
}  // namespace tolvane
