#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "MediaFixtures.h"
#include "engine/split/PartNaming.h"
#include "TextEncoding.h"

namespace tolvane::split {
namespace {

TEST(PartNaming, TextsLoseWhatAFileNameCannotHold) {
    const struct {
        const char* text;
        const char* safe;
    } cases[] = {
        {"AC/DC", "AC_DC"},
        {"a\\b:c*d?e\"f<g>h|i", "a_b_c_d_e_f_g_h_i"},
        {"tab\there\x7F\x01", "tab_here__"},
        {"  Song. . ", "Song"},
        {"...And Justice", "...And Justice"},
        {"Caf\u00E9 \u2013 \u65E5\u672C", "Caf\u00E9 \u2013 \u65E5\u672C"},
        {" . ", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileNameSafe(c.text), c.safe) << c.text;
}

TEST(PartNaming, LongNamesAreCutBetweenCharacters) {
    for (const std::string unit : {"\u00E9", "\u65E5", "\U0001F3B5", "a"}) {
        std::string title;
        while (title.size() < 400)
            title += unit;
        std::vector<SplitPart> parts(1);
        parts[0].tags = PartTags{};
        parts[0].tags->title = title;
        NameParts(parts, PartNameStyle::TrackTitle, "src", ".flac");
        const std::string& name = parts[0].name;
        EXPECT_LE(name.size(), kMaxPartNameBytes);
        EXPECT_GT(name.size(), kMaxPartNameBytes - unit.size());
        EXPECT_TRUE(IsValidUtf8(name)) << unit;
        EXPECT_EQ(name.substr(0, 5), "01 - ");
        EXPECT_EQ(name.substr(name.size() - 5), ".flac");
    }
    // A long source name is cut before its number.
    std::vector<SplitPart> parts(2);
    NameParts(parts, PartNameStyle::Numbered, std::string(300, 'x'), ".ogg");
    EXPECT_EQ(parts[1].name, std::string(kMaxPartNameBytes - 9, 'x') + " (02).ogg");
}

TEST(PartNaming, NumbersTakeTheDigitsTheLastPartNeeds) {
    const struct {
        std::size_t count;
        PartNameStyle style;
        const char* first;
        const char* last;
    } cases[] = {
        {3, PartNameStyle::Numbered, "live (01).mp3", "live (03).mp3"},
        {99, PartNameStyle::Numbered, "live (01).mp3", "live (99).mp3"},
        {120, PartNameStyle::Numbered, "live (001).mp3", "live (120).mp3"},
        {2, PartNameStyle::TrackTitle, "01 - Intro.mp3", "02 - live.mp3"},
        {100, PartNameStyle::TrackTitle, "001 - Intro.mp3", "100 - live.mp3"},
    };
    for (const auto& c : cases) {
        std::vector<SplitPart> parts(c.count);
        parts.front().tags = PartTags{};
        parts.front().tags->title = "Intro";
        NameParts(parts, c.style, "live", ".mp3");
        EXPECT_EQ(parts.front().name, c.first);
        EXPECT_EQ(parts.back().name, c.last);
    }
}

TEST(PartNaming, ATakenNameGetsTheFreeNumberSuffix) {
    testing::TempDir dir;
    const std::string folder = dir.path().string();
    std::ofstream(dir / "live (01).mp3") << "x";
    std::ofstream(dir / "live (01)(0).mp3") << "x";
    EXPECT_EQ(FreePartPath(folder, "live (01).mp3"), folder + "/live (01)(1).mp3");
    EXPECT_EQ(FreePartPath(folder, "live (02).mp3"), folder + "/live (02).mp3");
    EXPECT_EQ(FreePartPath(folder, "../up/x.mp3"), folder + "/.._up_x.mp3");
    OutputNamingError why{};
    EXPECT_FALSE(FreePartPath(folder, "noextension", &why));
    EXPECT_EQ(why, OutputNamingError::NoExtension);
}

}  // namespace
}  // namespace tolvane::split
