#include <gtest/gtest.h>

#include <string>

#include "MediaFixtures.h"
#include "engine/split/CuePlan.h"
#include "engine/split/CueSheet.h"
#include "engine/split/SheetText.h"
#include "SplitTestSupport.h"
#include "TextEncoding.h"

namespace tolvane::split {
namespace {

constexpr std::int64_t kFrameUs = 13'333;  // 1/75 s, rounded down

// A ripper's sheet: album lines, a pregap, quoted and unquoted values, CRLF lines.
const std::string kAlbum =
    "REM GENRE \"Jazz Rock\"\r\n"
    "REM DATE 1977\r\n"
    "REM COMMENT \"ExactAudioCopy v1.6\"\r\n"
    "PERFORMER \"The Band\"\r\n"
    "TITLE Live at the Hall\r\n"
    "FILE \"C:\\Rips\\Live at the Hall.wav\" WAVE\r\n"
    "  TRACK 01 AUDIO\r\n"
    "    TITLE \"Intro\"\r\n"
    "    INDEX 01 00:00:00\r\n"
    "  TRACK 02 AUDIO\r\n"
    "    TITLE \"Say \"Hello\"\"\r\n"
    "    PERFORMER \"Guest\"\r\n"
    "    FLAGS DCP\r\n"
    "    INDEX 00 01:58:70\r\n"
    "    INDEX 01 02:00:01\r\n"
    "  TRACK 03 AUDIO\r\n"
    "    TITLE Outro\r\n"
    "    INDEX 01 05:30:00\r\n";

SplitPlan PlanOf(const std::string& bytes, std::int64_t length = 600 * kSec,
                 const std::string& source = "/music/Live at the Hall.flac") {
    const CueSheetReading reading = ParseCueSheet(bytes);
    if (!reading.ok())
        return SplitPlan::Failed(reading.failure.error, reading.failure.message,
                                 reading.failure.line);
    return PartsFromCueSheet(reading.sheet, source, length);
}

TEST(CueSheet, TracksStartAtIndexOneWithTheSheetsTags) {
    for (const std::string& bytes : {kAlbum, "\xEF\xBB\xBF" + kAlbum}) {
        const SplitPlan plan = PlanOf(bytes);
        ASSERT_TRUE(plan.ok()) << plan.failure.message;
        // The pregap of track 2 (INDEX 00) ends track 1.
        const std::int64_t second = 120 * kSec + kFrameUs;
        EXPECT_EQ(SpansOf(plan),
                  (Spans{{0, second}, {second, 330 * kSec}, {330 * kSec, 600 * kSec}}));
        const auto tags = [](const char* title, const char* performer, int track) {
            return PartTags{title, performer, "Live at the Hall", "The Band", "1977", "Jazz Rock",
                            track, 3};
        };
        EXPECT_EQ(plan.parts[0].tags, tags("Intro", "The Band", 1));
        EXPECT_EQ(plan.parts[1].tags, tags("Say \"Hello\"", "Guest", 2));
        EXPECT_EQ(plan.parts[2].tags, tags("Outro", "The Band", 3));
    }
}

TEST(CueSheet, EightBitSheetsAreReadAsWindows1252) {
    const SplitPlan plan = PlanOf(
        "PERFORMER \"Beyonc\xE9\"\nFILE \"a.wav\" WAVE\nTRACK 01 AUDIO\n"
        "TITLE \"Halo \x96 Live \x80\x81\"\nINDEX 01 00:00:00\n",
        10 * kSec, "/x/a.mp3");
    ASSERT_TRUE(plan.ok()) << plan.failure.message;
    EXPECT_EQ(plan.parts[0].tags->albumArtist, "Beyonc\u00E9");
    EXPECT_EQ(plan.parts[0].tags->title, "Halo \u2013 Live \u20AC\u0081");
}

// The sheet as UTF-16 with its byte order mark, as some Windows tools save it.
std::string Utf16Sheet(const std::string& utf8, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : Utf8ToUtf16(utf8)) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST(CueSheet, Utf16SheetsAreReadByTheirByteOrderMark) {
    const std::string sheet =
        "FILE \"a.wav\" WAVE\nTRACK 01 AUDIO\nTITLE \"Caf\u00E9 \U0001F3B5\"\nINDEX 01 00:00:00\n"
        "TRACK 02 AUDIO\nINDEX 01 00:05:00\n";
    for (bool bigEndian : {false, true}) {
        const SplitPlan plan = PlanOf(Utf16Sheet(sheet, bigEndian), 10 * kSec, "/x/a.mp3");
        ASSERT_TRUE(plan.ok()) << plan.failure.message;
        EXPECT_EQ(plan.parts[0].tags->title, "Caf\u00E9 \U0001F3B5");
        EXPECT_EQ(SpansOf(plan), (Spans{{0, 5 * kSec}, {5 * kSec, 10 * kSec}}));
    }
}

TEST(CueSheet, FaultsNameTheirLineAndGiveNoParts) {
    const std::string head = "FILE \"album.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    const struct {
        std::string sheet;
        PlanError error;
        int line;
    } cases[] = {
        {head + "TRACK 02 AUDIO\nTITLE \"x\nINDEX 01 01:00:00\n", PlanError::SheetSyntax, 5},
        {head + "\nGARBAGE here\n", PlanError::SheetSyntax, 5},
        {"\x7F\x45LF\x01\x01\x00\x00\x02", PlanError::SheetSyntax, 1},
        {head + "\u00C4rger " + std::string(60, '\x01') + "\u00E9\u00E9", PlanError::SheetSyntax,
         4},
        {head + std::string(39, 'x') + "\u00E9\u00E9", PlanError::SheetSyntax, 4},
        {head + "TRACK 02 AUDIO\nINDEX 01 00:61:00\n", PlanError::SheetSyntax, 5},
        {head + "TRACK 02 MODE1/2352\nINDEX 01 01:00:00\n", PlanError::SheetSyntax, 4},
        {head + "TRACK 02 AUDIO\nTITLE \"no index\"\n", PlanError::SheetSyntax, 4},
        {head + "TRACK 01 AUDIO\nINDEX 01 01:00:00\n", PlanError::SheetSyntax, 4},
        {head + "TRACK 02 AUDIO\nINDEX 01 00:00:00\n", PlanError::SheetIndexOrder, 5},
        {"FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:30:00\nTRACK 02 AUDIO\n"
         "INDEX 00 00:40:00\nINDEX 01 00:20:00\n",
         PlanError::SheetIndexOrder, 6},
        {head + "TRACK 02 AUDIO\nINDEX 01 10:00:00\n", PlanError::SheetIndexPastEnd, 5},
        {head + "TRACK 02 AUDIO\nINDEX 00 10:00:00\nINDEX 01 10:00:01\n",
         PlanError::SheetIndexPastEnd, 5},
        {"REM only a comment\n", PlanError::SheetNoTracks, 0},
        {"FILE \"other.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", PlanError::SheetOtherFile,
         1},
        {head + "FILE \"album-2.wav\" WAVE\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n",
         PlanError::SheetOtherFile, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sheet);
        const SplitPlan plan = PlanOf(c.sheet, 600 * kSec, "/m/album.flac");
        EXPECT_EQ(plan.failure.error, c.error) << plan.failure.message;
        EXPECT_EQ(plan.failure.line, c.line) << plan.failure.message;
        if (c.line > 0) {
            EXPECT_EQ(plan.failure.message.rfind("line " + std::to_string(c.line) + ": ", 0), 0u)
                << plan.failure.message;
        }
        EXPECT_TRUE(plan.parts.empty());
        // The message shows whole characters and no control codes.
        EXPECT_TRUE(IsValidUtf8(plan.failure.message)) << plan.failure.message;
        EXPECT_EQ(plan.failure.message.find_first_of(std::string("\x01\x7F\0", 3)),
                  std::string::npos);
    }
}

TEST(CueSheet, FileLineMeansTheSourceByNameOrBaseName) {
    const struct {
        const char* sheetName;
        const char* source;
        bool same;
    } cases[] = {
        {"album.flac", "/m/album.flac", true},
        {"C:\\Rips\\ALBUM.WAV", "/m/album.flac", true},
        {"../rips/album.wav", "/m/album.flac", true},
        {"album.flac", "/m/album (live).flac", false},
        {"album.cd1.wav", "/m/album.flac", false},
        {"C\u00C9.wav", "/m/c\u00E9.flac", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CueFileMeans(c.sheetName, c.source), c.same) << c.sheetName << " " << c.source;
}

TEST(CueSheet, IndexTimesCountSeventyFiveFramesASecond) {
    const struct {
        const char* text;
        std::int64_t us;
    } cases[] = {
        {"00:00:00", 0},
        {"00:00:01", 13'333},
        {"00:00:02", 26'667},
        {"01:02:74", 62'986'667},
        {"120:00:00", 7200 * kSec},
        {"00:60:00", -1},
        {"00:00:75", -1},
        {"00:00", -1},
        {"0a:00:00", -1},
        {"00:00:00 x", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseCueTime(c.text), c.us) << c.text;
}

TEST(CueSheet, AMissingSheetIsUnreadable) {
    testing::TempDir dir;
    EXPECT_EQ(ReadCueSheet((dir / "none.cue").string()).failure.error, PlanError::SheetUnreadable);
    EXPECT_EQ(ReadCueSheet(dir.path().string()).failure.error, PlanError::SheetUnreadable);
}

}  // namespace
}  // namespace tolvane::split
