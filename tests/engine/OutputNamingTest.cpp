#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>

#include "MediaFixtures.h"
#include "engine/cut/MislabelledCut.h"
#include "engine/naming/OutputNaming.h"
#include "engine/job/OutputProfile.h"

namespace tolvane {
namespace {

using testing::TempDir;

void Touch(const std::filesystem::path& path, const std::string& content = "x") {
    std::ofstream(path, std::ios::binary) << content;
}

TEST(OutputNaming, BaseIsTheFileNameCutAtItsLastDot) {
    EXPECT_EQ(OutputBaseName("/music/live.set.mp3"), "live.set");
    EXPECT_EQ(OutputBaseName("song.wav"), "song");
    EXPECT_EQ(OutputBaseName("/a.b/c/.mp3"), "");
}

// Only "/" separates folders here; a backslash is one more character of a file name.
TEST(OutputNaming, ABackslashIsPartOfTheFileName) {
    const struct {
        std::string_view path;
        std::string_view fileName;
        std::string_view base;
    } cases[] = {
        {"/x/odd\\name.flac", "odd\\name.flac", "odd\\name"},
        {"back\\slash.mp3", "back\\slash.mp3", "back\\slash"},
        {"C:\\music\\x.y/z.mp3", "z.mp3", "z"},
        {"/in/dir\\/a.b\\c", "a.b\\c", "a"},
        {"/in/trailing\\", "trailing\\", ""},
    };
    for (const auto& [path, fileName, base] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(InputFileName(path), fileName);
        const auto made = OutputBaseName(path);
        if (base.empty()) {
            EXPECT_FALSE(made);
        } else {
            EXPECT_EQ(made, base);
        }
    }
    TempDir dir;
    const std::string folder = dir.path().string();
    EXPECT_EQ(MakeCutOutputPath(folder, "/in/back\\slash.mp3", MislabelFlags{}),
              folder + "/back\\slash.mp3");
    EXPECT_EQ(MakeJoinOutputPath(folder, "/in/back\\slash.wav", OutputProfile{}.formatEntry),
              folder + "/back\\slash.mp3");
}

TEST(OutputNaming, InputWithoutDotInItsFileNameGetsNoName) {
    MislabelFlags flags;
    EXPECT_FALSE(OutputBaseName("/music.d/song"));
    OutputNamingError why = OutputNamingError::None;
    EXPECT_FALSE(MakeCutOutputPath("/tmp", "/music.d/song", flags, &why));
    EXPECT_EQ(why, OutputNamingError::NoExtension);
    EXPECT_FALSE(MakeJoinOutputPath("/tmp", "/music.d/song", OutputProfile{}.formatEntry, &why));
    EXPECT_EQ(why, OutputNamingError::NoExtension);
}

TEST(OutputNaming, CutKeepsTheInputsOwnExtension) {
    TempDir dir;
    MislabelFlags flags;
    EXPECT_EQ(MakeCutOutputPath(dir.path().string(), "/in/Song.FLAC", flags),
              dir.path().string() + "/Song.FLAC");
    EXPECT_EQ(MakeCutOutputPath(dir.path().string() + "/", "/in/a.m4a", flags),
              dir.path().string() + "/a.m4a");
}

TEST(OutputNaming, JoinExtensionComesFromTheFormatEntry) {
    EXPECT_EQ(JoinOutputExtension(OutputProfile{}.formatEntry), ".mp3");
    EXPECT_EQ(JoinOutputExtension("Two (kinds) *.x *.ogg) tail)"), ".ogg");
    EXPECT_EQ(JoinOutputExtension("Wave(*.wav"), ".wav");
    EXPECT_FALSE(JoinOutputExtension("MP3 Audio"));
    EXPECT_FALSE(JoinOutputExtension("MP3(*mp3)"));
    EXPECT_FALSE(JoinOutputExtension("MP3(*.)"));
    TempDir dir;
    OutputNamingError why = OutputNamingError::None;
    EXPECT_FALSE(MakeJoinOutputPath(dir.path().string(), "a.wav", "MP3", &why));
    EXPECT_EQ(why, OutputNamingError::BadFormatEntry);
    EXPECT_EQ(MakeJoinOutputPath(dir.path().string(), "/in/a.wav", OutputProfile{}.formatEntry),
              dir.path().string() + "/a.mp3");
}

TEST(OutputNaming, NumberedCandidatesSkipExistingFiles) {
    TempDir dir;
    Touch(dir / "a.mp3");
    Touch(dir / "a(0).mp3");
    const std::string folder = dir.path().string();
    EXPECT_EQ(MakeJoinOutputPath(folder, "/in/a.mp3", OutputProfile{}.formatEntry),
              folder + "/a(1).mp3");
    // Gaps are used: only existence matters.
    Touch(dir / "a(2).mp3");
    EXPECT_EQ(MakeJoinOutputPath(folder, "/in/a.mp3", OutputProfile{}.formatEntry),
              folder + "/a(1).mp3");
    // The number goes before the last dot of the name only.
    Touch(dir / "live.set.wav");
    EXPECT_EQ(MakeCutOutputPath(folder, "/x/live.set.wav", MislabelFlags{}),
              folder + "/live.set(0).wav");
}

TEST(OutputNaming, DanglingLinkAndFolderCountAsTaken) {
    TempDir dir;
    ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "s.ogg").c_str()), 0);
    std::filesystem::create_directory(dir / "s(0).ogg");
    EXPECT_EQ(MakeCutOutputPath(dir.path().string(), "s.ogg", MislabelFlags{}),
              dir.path().string() + "/s(1).ogg");
}

TEST(OutputNaming, TooLongNamesGetNoName) {
    TempDir dir;
    const std::string folder = dir.path().string();
    OutputNamingError why = OutputNamingError::None;
    // 251 + ".mp3" = 255 bytes: allowed.
    std::string base(251, 'b');
    EXPECT_EQ(MakeCutOutputPath(folder, base + ".mp3", MislabelFlags{}, &why),
              folder + "/" + base + ".mp3");
    // Taken: "(0)" would pass 255 bytes.
    Touch(dir / (base + ".mp3"));
    EXPECT_FALSE(MakeCutOutputPath(folder, base + ".mp3", MislabelFlags{}, &why));
    EXPECT_EQ(why, OutputNamingError::NameTooLong);
    EXPECT_FALSE(MakeCutOutputPath(folder, std::string(300, 'c') + ".mp3", MislabelFlags{}, &why));
    EXPECT_EQ(why, OutputNamingError::NameTooLong);
}

TEST(OutputNaming, MissingFolderStillGivesTheFirstCandidate) {
    // Nothing exists there; the job then fails to create the output and says so.
    TempDir dir;
    EXPECT_EQ(MakeCutOutputPath((dir / "gone").string(), "a.mp3", MislabelFlags{}),
              (dir / "gone").string() + "/a.mp3");
}

TEST(OutputNaming, MislabelledMp3GetsItsTrueExtension) {
    MislabelFlags flags;
    flags.aac = true;
    EXPECT_EQ(CutOutputExtension("/in/x.mp3", flags), ".aac");
    EXPECT_EQ(CutOutputExtension("/in/x.MP3", flags), ".aac");
    // Stale flags of another probe never touch a name that is not ".mp3".
    EXPECT_EQ(CutOutputExtension("/in/x.wav", flags), ".wav");
    flags.aac = false;
    flags.mp2 = true;
    EXPECT_EQ(CutOutputExtension("/in/x.mp3", flags), ".mp2");
    flags.mp2 = false;
    flags.wav = true;
    EXPECT_EQ(CutOutputExtension("/in/x.mp3", flags), ".wav");
    flags.flac = true;
    EXPECT_EQ(CutOutputExtension("/in/x.mp3", flags), ".flac");
    EXPECT_EQ(CutOutputExtension("/in/x.mp3", MislabelFlags{}), ".mp3");
}

TEST(MislabelledCut, OutputMovesToItsMp3NameWhenFree) {
    TempDir dir;
    MislabelFlags flags;
    flags.aac = true;
    Touch(dir / "x.aac", "cut");
    std::string final = FinishMislabelledCut("/src/x.mp3", (dir / "x.aac").string(), flags);
    EXPECT_EQ(final, (dir / "x.mp3").string());
    EXPECT_FALSE(std::filesystem::exists(dir / "x.aac"));
    EXPECT_EQ(testing::ReadFileBytes(dir / "x.mp3"), "cut");
}

TEST(MislabelledCut, ExistingMp3IsNeverReplaced) {
    TempDir dir;
    MislabelFlags flags;
    flags.flac = true;
    Touch(dir / "x(0).flac", "cut");
    Touch(dir / "x(0).mp3", "theirs");
    std::string final = FinishMislabelledCut("x.mp3", (dir / "x(0).flac").string(), flags);
    EXPECT_EQ(final, (dir / "x(0).flac").string());
    EXPECT_EQ(testing::ReadFileBytes(dir / "x(0).mp3"), "theirs");
    EXPECT_EQ(testing::ReadFileBytes(dir / "x(0).flac"), "cut");
}

TEST(MislabelledCut, OrdinaryCutsAreLeftAlone) {
    TempDir dir;
    Touch(dir / "x.aac", "cut");
    EXPECT_EQ(FinishMislabelledCut("x.aac", (dir / "x.aac").string(), MislabelFlags{}),
              (dir / "x.aac").string());
    MislabelFlags flags;
    flags.aac = true;  // stale flags, input not ".mp3"
    EXPECT_EQ(FinishMislabelledCut("x.aac", (dir / "x.aac").string(), flags),
              (dir / "x.aac").string());
    EXPECT_TRUE(std::filesystem::exists(dir / "x.aac"));
}

TEST(MislabelledCut, MoveWithoutReplacingRefusesExistingTargets) {
    TempDir dir;
    Touch(dir / "a", "a");
    Touch(dir / "b", "b");
    EXPECT_FALSE(MoveWithoutReplacing((dir / "a").string(), (dir / "b").string()));
    EXPECT_EQ(testing::ReadFileBytes(dir / "b"), "b");
    EXPECT_EQ(testing::ReadFileBytes(dir / "a"), "a");
    EXPECT_FALSE(MoveWithoutReplacing((dir / "gone").string(), (dir / "c").string()));
    EXPECT_TRUE(MoveWithoutReplacing((dir / "a").string(), (dir / "c").string()));
    EXPECT_EQ(testing::ReadFileBytes(dir / "c"), "a");
    EXPECT_EQ(Mp3NameOf("/d.x/name"), "");
    EXPECT_EQ(Mp3NameOf("/d/n.a.aac"), "/d/n.a.mp3");
}

}  // namespace
}  // namespace tolvane

namespace tolvane {
namespace {

TEST(OutputNaming, NextCandidateFollowsTheFreeNameRow) {
    const struct {
        const char* path;
        const char* next;
    } cases[] = {
        {"/m/song.mp3", "/m/song(0).mp3"},       {"/m/song(0).mp3", "/m/song(1).mp3"},
        {"/m/song(41).mp3", "/m/song(42).mp3"},  {"/m/a.b/song", "/m/a.b/song(0)"},
        {"/m/song(x).mp3", "/m/song(x)(0).mp3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NextOutputCandidate(c.path), c.next) << c.path;
}

}  // namespace
}  // namespace tolvane
