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

}  // namespace
}  // namespace tolvane
