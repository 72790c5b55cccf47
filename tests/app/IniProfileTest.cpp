#include "IniProfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "IniTestFiles.h"
#include "MediaFixtures.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

class IniProfile : public ::testing::Test {
  protected:
    fs::path File(const std::string& bytes) {
        const fs::path file = dir_ / "test.ini";
        WriteBytes(file, bytes);
        return file;
    }
    TempDir dir_;
};

TEST_F(IniProfile, MatchesSectionAndKeyNamesWithoutCase) {
    const auto file = File("[Language]\nFile=english.ini\n");
    EXPECT_EQ(ReadProfileString(file, "LANGUAGE", "file"), "english.ini");
    EXPECT_EQ(ReadProfileString(file, "language", "FILE"), "english.ini");
}

TEST_F(IniProfile, ValueIsTheTextAfterTheFirstEqualsSignTrimmed) {
    const auto file = File("  [ DIR ]  \n  open   =  a = b \t\nempty=\n");
    EXPECT_EQ(ReadProfileString(file, "DIR", "open"), "a = b");
    EXPECT_EQ(ReadProfileString(file, "DIR", "empty", "default"), "");
}

TEST_F(IniProfile, MatchingQuotesAroundAValueAreRemoved) {
    const auto file = File("[T]\na=\"File \"\nb='x'\nc=\"unbalanced\nd=\"\n");
    EXPECT_EQ(ReadProfileString(file, "T", "a"), "File ");
    EXPECT_EQ(ReadProfileString(file, "T", "b"), "x");
    EXPECT_EQ(ReadProfileString(file, "T", "c"), "\"unbalanced");
    EXPECT_EQ(ReadProfileString(file, "T", "d"), "\"");
}

TEST_F(IniProfile, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(ReadProfileString(dir_ / "none.ini", "DIR", "open", "1"), "1");
    const auto file = File("[DIR]\nopen=0\n; name=commented\n[PATH]\n");
    EXPECT_EQ(ReadProfileString(file, "LANGUAGE", "file", "x"), "x");
    EXPECT_EQ(ReadProfileString(file, "DIR", "close", "y"), "y");
    EXPECT_EQ(ReadProfileString(file, "DIR", "; name", "z"), "z");
    EXPECT_EQ(ReadProfileString(file, "PATH", "name"), "");
    EXPECT_EQ(ReadProfileString(dir_.path(), "DIR", "open", "folder"), "folder");
}

TEST_F(IniProfile, KeysOfOtherSectionsAndBeforeAnySectionAreNotSeen) {
    const auto file = File("open=stray\n[PATH]\nopen=path\n[DIR]\nname=dir\n");
    EXPECT_EQ(ReadProfileString(file, "DIR", "open", "default"), "default");
    EXPECT_EQ(ReadProfileString(file, "PATH", "name", "default"), "default");
}

TEST_F(IniProfile, FirstMatchingSectionAndKeyWin) {
    const auto file = File("[A]\nk=1\nk=2\n[a]\nk=3\nj=4\n");
    EXPECT_EQ(ReadProfileString(file, "A", "k"), "1");
    EXPECT_EQ(ReadProfileString(file, "A", "j"), "");
}

TEST_F(IniProfile, UsesAtMost999CharactersOfAValue) {
    const std::string ascii(1500, 'a');
    std::string accented;
    for (int i = 0; i < 1200; ++i)
        accented += "é";
    const auto file = File("[T]\nascii=" + ascii + "\naccented=" + accented +
                           "\nshort=" + std::string(999, 'b') + "\n");
    EXPECT_EQ(ReadProfileString(file, "T", "ascii"), std::string(999, 'a'));
    const std::string cut = ReadProfileString(file, "T", "accented");
    EXPECT_EQ(cut.size(), 999u * 2);  // whole characters, never half of one
    EXPECT_EQ(cut, accented.substr(0, 999 * 2));
    EXPECT_EQ(ReadProfileString(file, "T", "short"), std::string(999, 'b'));
    EXPECT_EQ(ReadProfileString(file, "T", "missing", std::string(1200, 'c')),
              std::string(999, 'c'));
}

TEST_F(IniProfile, ReadsUtf16LittleEndianWithByteOrderMark) {
    const auto file = File(testing::Utf16LeBytes(u"[LANGUAGE]\r\nname6=日本語\r\nfile=x.ini\r\n"));
    EXPECT_EQ(ReadProfileString(file, "LANGUAGE", "name6"), "日本語");
    EXPECT_EQ(ReadProfileString(file, "language", "file"), "x.ini");
}

TEST_F(IniProfile, ReadsUtf8WithAndWithoutByteOrderMark) {
    EXPECT_EQ(ReadProfileString(File("\xEF\xBB\xBF[A]\nk=Español\n"), "A", "k"), "Español");
    EXPECT_EQ(ReadProfileString(File("[A]\r\nk=Français\r\n"), "A", "k"), "Français");
}

TEST_F(IniProfile, WriteCreatesFileSectionAndKey) {
    const fs::path file = dir_ / "new.ini";
    EXPECT_TRUE(WriteProfileString(file, "DIR", "open", "0"));
    EXPECT_EQ(ReadProfileString(file, "DIR", "open"), "0");
    EXPECT_TRUE(WriteProfileString(file, "PATH", "name", "/tmp/out"));
    EXPECT_TRUE(WriteProfileString(file, "DIR", "other", "x"));
    EXPECT_EQ(ReadBytes(file), "[DIR]\nopen=0\nother=x\n\n[PATH]\nname=/tmp/out\n");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
}

TEST_F(IniProfile, WriteReplacesTheValueAndKeepsEveryOtherLine) {
    const std::string before =
        "; settings\n[LANGUAGE]\nname1 = English\n  File = german.ini   ; old\n\n"
        "; comment of DIR\n[DIR]\nopen=1\n";
    const auto file = File(before);
    EXPECT_TRUE(WriteProfileString(file, "language", "FILE", "english.ini"));
    EXPECT_EQ(ReadBytes(file),
              "; settings\n[LANGUAGE]\nname1 = English\nFile=english.ini\n\n"
              "; comment of DIR\n[DIR]\nopen=1\n");
    EXPECT_TRUE(WriteProfileString(file, "LANGUAGE", "name2", "Español"));
    EXPECT_EQ(ReadBytes(file),
              "; settings\n[LANGUAGE]\nname1 = English\nFile=english.ini\nname2=Español\n\n"
              "; comment of DIR\n[DIR]\nopen=1\n");
}

TEST_F(IniProfile, WriteKeepsLineEndsAndAMissingFinalLineEnd) {
    auto file = File("[A]\r\nk=1\r\n[B]\r\nj=2");
    EXPECT_TRUE(WriteProfileString(file, "A", "k", "9"));
    EXPECT_EQ(ReadBytes(file), "[A]\r\nk=9\r\n[B]\r\nj=2");
    EXPECT_TRUE(WriteProfileString(file, "B", "i", "3"));
    EXPECT_EQ(ReadBytes(file), "[A]\r\nk=9\r\n[B]\r\nj=2\r\ni=3\r\n");
}

TEST_F(IniProfile, WriteKeepsTheEncodingTheFileWasReadIn) {
    auto file = File(testing::Utf16LeBytes(u"[LANGUAGE]\r\nname6=日本語\r\n"));
    EXPECT_TRUE(WriteProfileString(file, "LANGUAGE", "file", "japanese.ini"));
    EXPECT_EQ(ReadBytes(file),
              testing::Utf16LeBytes(u"[LANGUAGE]\r\nname6=日本語\r\nfile=japanese.ini\r\n"));

    file = File("\xEF\xBB\xBF[A]\nk=1\n");
    EXPECT_TRUE(WriteProfileString(file, "A", "k", "ü"));
    EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF[A]\nk=ü\n");
}

TEST_F(IniProfile, ValuesWithOuterBlanksOrQuotesReadBackUnchanged) {
    const fs::path file = dir_ / "q.ini";
    for (const std::string value : {" /tmp/lead", "/tmp/trail ", "\"quoted\"", "'x'", "a\"b"}) {
        ASSERT_TRUE(WriteProfileString(file, "PATH", "name", value));
        EXPECT_EQ(ReadProfileString(file, "PATH", "name"), value);
    }
}

TEST_F(IniProfile, WriteRefusesTextThatWouldBreakTheFile) {
    const std::string before = "[PATH]\nname=/old\n";
    const auto file = File(before);
    EXPECT_FALSE(WriteProfileString(file, "PATH", "name", "/tmp/a\n[LANGUAGE]\nfile=x"));
    EXPECT_FALSE(WriteProfileString(file, "PATH", "na=me", "x"));
    EXPECT_FALSE(WriteProfileString(file, "PA]TH", "name", "x"));
    EXPECT_FALSE(WriteProfileString(file, "", "name", "x"));
    EXPECT_FALSE(WriteProfileString(file, "PATH", " ", "x"));
    EXPECT_EQ(ReadBytes(file), before);
}

TEST_F(IniProfile, WriteToAReadOnlyFileChangesNothing) {
    const std::string before = "[DIR]\nopen=1\n";
    const auto file = File(before);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_FALSE(WriteProfileString(file, "DIR", "open", "0"));
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_EQ(testing::FolderEntries(dir_.path()).size(), 1u);
}

// A setting.ini the user may write, in a folder the user may not (0555): the setting is
// written into the file itself. A file the user may not write, or no file at all, still
// changes nothing. Root ignores permissions, so root tries it as an unprivileged user.
TEST_F(IniProfile, WriteInAnUnwritableFolderRewritesAWritableFileInPlace) {
    const struct {
        const char* what;
        std::string before;  // empty: no file
        fs::perms filePerms;
        std::string value;
        bool written;
        std::string after;
    } cases[] = {
        {"a longer file", "[DIR]\nopen=1\n", fs::perms::all, "/a/much/longer/folder", true,
         "[DIR]\nopen=1\n\n[PATH]\nname=/a/much/longer/folder\n"},
        {"a shorter file", "[PATH]\nname=/a/much/longer/folder\n[DIR]\nopen=1\n", fs::perms::all,
         "/s", true, "[PATH]\nname=/s\n[DIR]\nopen=1\n"},
        {"a read-only file", "[DIR]\nopen=1\n", fs::perms::owner_read | fs::perms::others_read,
         "/x", false, "[DIR]\nopen=1\n"},
        {"no file", "", fs::perms::none, "/x", false, ""},
    };
    const fs::perms readOnlyFolder = fs::perms::owner_read | fs::perms::owner_exec |
                                     fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec;
    for (const auto& [what, before, filePerms, value, written, after] : cases) {
        SCOPED_TRACE(what);
        const fs::path folder = dir_ / "locked";
        fs::create_directory(folder);
        const fs::path file = folder / "setting.ini";
        ino_t inodeBefore = 0;
        if (!before.empty()) {
            WriteBytes(file, before);
            fs::permissions(file, filePerms);
            struct stat info {};
            ::stat(file.c_str(), &info);
            inodeBefore = info.st_ino;
        }
        fs::permissions(folder, readOnlyFolder);
        const auto write = [&] {
            // 2: the folder cannot even be searched, so the result would prove nothing.
            if (::access(folder.c_str(), X_OK) != 0)
                return 2;
            return WriteProfileString(file, "PATH", "name", value) ? 1 : 0;
        };
        // The test folder must be passable for the unprivileged user.
        fs::permissions(dir_.path(), fs::perms::others_exec, fs::perm_options::add);
        const int result = ::geteuid() == 0 ? testing::RunAsNobody(write) : write();
        fs::permissions(folder, fs::perms::owner_all);
        if (result < 0)
            GTEST_SKIP() << "cannot switch to an unprivileged user";
        EXPECT_EQ(result, written ? 1 : 0);
        if (before.empty()) {
            EXPECT_FALSE(fs::exists(file));
        } else {
            EXPECT_EQ(ReadBytes(file), after);
            struct stat info {};
            ::stat(file.c_str(), &info);
            EXPECT_EQ(info.st_ino, inodeBefore);
            EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, filePerms);
        }
        EXPECT_EQ(testing::FolderEntries(folder).size(), before.empty() ? 0u : 1u);
        fs::remove_all(folder);
    }
}

TEST_F(IniProfile, WriteOnAFullDiskLeavesTheOldFileWhole) {
    const fs::path mount = dir_ / "small";
    fs::create_directory(mount);
    if (testing::RunCommand("mount -t tmpfs -o size=64k tmpfs " +
                            testing::ShellQuote(mount.string()) + " 2>/dev/null") != 0) {
        GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
    }
    struct Unmount {
        fs::path mount;
        ~Unmount() { testing::RunCommand("umount " + testing::ShellQuote(mount.string())); }
    } unmount{mount};
    const fs::path file = mount / "setting.ini";
    const std::string before = "[DIR]\nopen=1\n[PATH]\nname=/old\n";
    WriteBytes(file, before);
    // Fill what is left, then ask for a write larger than any gap.
    WriteBytes(mount / "filler", std::string(64 * 1024, 'x'));
    EXPECT_FALSE(WriteProfileString(file, "PATH", "name", std::string(32 * 1024, 'p')));
    EXPECT_EQ(ReadBytes(file), before);
    const auto entries = testing::FolderEntries(mount);
    EXPECT_EQ(entries.size(), 2u);
}

TEST_F(IniProfile, WriteKeepsPermissionsAndFollowsASymbolicLink) {
    const auto file = File("[A]\nk=1\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    const fs::path link = dir_ / "link.ini";
    fs::create_symlink(file, link);
    EXPECT_TRUE(WriteProfileString(link, "A", "k", "2"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(file), "[A]\nk=2\n");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(IniProfile, WritersAtTheSameTimeKeepEachOthersKeys) {
    // Two instances of the program share setting.ini; neither may lose the other's key.
    const fs::path file = dir_ / "shared.ini";
    const auto writer = [&](const std::string& prefix) {
        for (int i = 0; i < 40; ++i)
            WriteProfileString(file, "S", prefix + std::to_string(i), std::to_string(i));
    };
    std::thread first(writer, "a");
    std::thread second(writer, "b");
    first.join();
    second.join();
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(ReadProfileString(file, "S", "a" + std::to_string(i)), std::to_string(i));
        EXPECT_EQ(ReadProfileString(file, "S", "b" + std::to_string(i)), std::to_string(i));
    }
    EXPECT_EQ(testing::FolderEntries(dir_.path()).size(), 1u);
}

TEST_F(IniProfile, DocumentSerializesUnchangedWhenNothingWasSet) {
    for (const std::string& bytes :
         {std::string("; c\n[A]\n k = v \n\n"), std::string("[A]\r\nk=v"), std::string(""),
          std::string("\xEF\xBB\xBF[A]\n"), testing::Utf16LeBytes(u"[A]\r\nk=日本\r\n"),
          std::string("[A]\nk=\xFF\xFE latin-1 bytes\n")}) {
        EXPECT_EQ(IniDocument::Parse(bytes).Serialize(), bytes);
    }
}

}  // namespace
}  // namespace tolvane
