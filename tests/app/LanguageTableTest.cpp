#include "LanguageTable.h"

#include <gtest/gtest.h>

#include "IniTestFiles.h"
#include "MediaFixtures.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteBytes;

constexpr std::string_view kSample =
    "[APPLICATION]\nname=Tolvane\nversion=1.0\nurl=https://tolvane.example/\n"
    "[TISHI]\nwj=\"The file \"\nwx=is not usable.\njqcg=Cut done\n"
    "[HINT]\ntjspwj=Add a file\nbf=Play\nzanting=Pause\nksjq=Start cutting\ncssz=Settings\n"
    "[JIEMIAN]\nksjq=Start time:\ncssz=Output Settings\nsymtwj=Audio files\n"
    "mp3wj=\"MP3 files \"\nsywj=\"All files \"\nzb=Ready\nempty=\n"
    "dqwj=Current file:\nzgwj=Overall:\ntz=Cancel\nyzfa=Format:\nypcs=Audio\nbmq=Encoder:\n"
    "ypzl=Quality:\ncyl=Sample rate:\ntd=Channels:\nqd=OK\nqx=Cancel\n";

class LanguageTableFile : public ::testing::Test {
  protected:
    void SetUp() override { WriteBytes(file_, kSample); }
    TempDir dir_;
    fs::path file_ = dir_ / "english.ini";
};

TEST_F(LanguageTableFile, LoadsTheMainWindowKeysBySectionAndKey) {
    const auto table = LanguageTable::Load(file_);
    EXPECT_EQ(table.Text("APPLICATION", "name"), "Tolvane");
    EXPECT_EQ(table.Application("url"), "https://tolvane.example/");
    EXPECT_EQ(table.Tishi("jqcg"), "Cut done");
    EXPECT_EQ(table.Hint("tjspwj"), "Add a file");
    EXPECT_EQ(table.Jiemian("zb"), "Ready");
    EXPECT_EQ(table.Text("jiemian", "ZB"), "Ready");
}

TEST_F(LanguageTableFile, SameKeyInTwoSectionsIsReadSeparately) {
    const auto table = LanguageTable::Load(file_);
    EXPECT_EQ(table.Hint("ksjq"), "Start cutting");
    EXPECT_EQ(table.Jiemian("ksjq"), "Start time:");
    EXPECT_EQ(table.Hint("cssz"), "Settings");
}

TEST_F(LanguageTableFile, MissingKeysAndKeysOutsideTheVocabularyAreEmpty) {
    const auto table = LanguageTable::Load(file_);
    EXPECT_EQ(table.Tishi("hbsb"), "");     // absent
    EXPECT_EQ(table.Jiemian("empty"), "");  // not a main window key
    EXPECT_EQ(table.Jiemian("dqwj"), "");   // a progress dialog key: read by the dialog
    EXPECT_EQ(table.Text("NOSECTION", "name"), "");
}

// The program's own messages fall back to English where a file lacks them, so a
// message never shows empty; a text the file gives (even an empty one) wins.
TEST(LanguageTableOwnMessages, MissingKeysTakeTheEnglishText) {
    TempDir dir;
    const fs::path file = dir / "french.ini";
    WriteBytes(file, "[TISHI]\nyy_full=le disque est plein\nyy_none=\n");
    struct Case {
        const fs::path path;
        std::string_view key;
        std::string_view expected;
    };
    const Case cases[] = {
        {file, "yy_full", "le disque est plein"},
        {file, "yy_none", ""},
        {file, "qxwbl", "The job was cancelled; nothing of the output was kept."},
        {dir / "missing.ini", "mcsb", "No output file can be made for \"%1\": %2."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LanguageTable::Load(c.path).Tishi(c.key), c.expected) << c.key;
}

TEST(LanguageTable, WithoutAFileEveryTextIsEmpty) {
    TempDir dir;
    const auto table = LanguageTable::Load(dir / "missing.ini");
    EXPECT_EQ(table.WindowTitle(), " ");
    EXPECT_EQ(table.Application("name"), "");
    EXPECT_EQ(LanguageTable().Hint("bf"), "");
    EXPECT_EQ(LanguageTable::Load(dir / "languages" / "").WindowTitle(), " ");
}

TEST_F(LanguageTableFile, WindowTitleIsNameBlankVersion) {
    EXPECT_EQ(LanguageTable::Load(file_).WindowTitle(), "Tolvane 1.0");
}

TEST_F(LanguageTableFile, OpenFileFilterIsBuiltFromTheThreeNames) {
    EXPECT_EQ(LanguageTable::Load(file_).OpenFileFilter(),
              "Audio files|*.aac;*.ac3;*.flac;*.dts;*.amr;*.mid;*.aiff;*.ape;*.cue;*.mpa;*.au;"
              "*.mp3;*.ogg;*.ra;*.ram;*.wav;*.cda;*.m4a;*.wma;*.mp2;*.opus;*.oga;*.wv;*.mka;*.m4b;"
              "*.aif;*.aifc;*.tta|MP3 files (*.mp3)|*.mp3|"
              "All files (*.*)|*.*|");
    EXPECT_EQ(LanguageTable().OpenFileFilter(),
              "|*.aac;*.ac3;*.flac;*.dts;*.amr;*.mid;*.aiff;*.ape;*.cue;*.mpa;*.au;*.mp3;*.ogg;"
              "*.ra;*.ram;*.wav;*.cda;*.m4a;*.wma;*.mp2;*.opus;*.oga;*.wv;*.mka;*.m4b;*.aif;*.aifc;"
              "*.tta|(*.mp3)|*.mp3|(*.*)|*.*|");
}

TEST_F(LanguageTableFile, RejectedFileMessageJoinsTheTwoHalves) {
    EXPECT_EQ(LanguageTable::Load(file_).RejectedFileMessage("song.mp3"),
              "The file song.mp3 is not usable.");
}

TEST(LanguageTableHints, ControlsMapToTheirHintKeys) {
    const std::pair<int, std::string_view> expected[] = {
        {1000, "tjspwj"},  {1004, "ksjq"},    {1092, "sc"},    {1099, "hbcygwj"}, {1115, "cssz"},
        {1076, "szscml"},  {1005, "dkml"},    {1098, "bz"},    {1135, "bftz"},    {1140, "djsbzj"},
        {1154, "szksjqd"}, {1149, "szjsjqd"}, {1177, "bfjqdl"}};
    for (const auto& [id, key] : expected)
        EXPECT_EQ(HintKeyOfControl(id, "PLAY"), key) << id;
    EXPECT_EQ(HintKeyOfControl(1003, "PLAY"), "bf");
    EXPECT_EQ(HintKeyOfControl(1003, "PAUSE"), "zanting");
    EXPECT_EQ(HintKeyOfControl(1003, "play"), "zanting");
    EXPECT_EQ(HintKeyOfControl(1003, ""), "zanting");
    for (const int id : {1001, 1114, 1077, 1187, 1160, 1202, 0, -1})
        EXPECT_FALSE(HintKeyOfControl(id, "PLAY").has_value()) << id;
}

TEST_F(LanguageTableFile, TooltipsComeFromTheTableOrAreFixed) {
    const auto table = LanguageTable::Load(file_);
    EXPECT_EQ(table.Tooltip(1000, "PLAY"), "Add a file");
    EXPECT_EQ(table.Tooltip(1003, "PLAY"), "Play");
    EXPECT_EQ(table.Tooltip(1003, "STOP"), "Pause");
    EXPECT_EQ(table.Tooltip(1092, "PLAY"), "");  // key missing: empty tooltip
    EXPECT_EQ(table.Tooltip(1001, "PLAY"), "删除所有文件");
    EXPECT_EQ(table.Tooltip(1114, "PLAY"), "拖放文件到这里");
    EXPECT_FALSE(table.Tooltip(1077, "PLAY").has_value());
}

TEST(LanguageList, SixEntriesMapToTheirFilesExactly) {
    const char* files[] = {"english.ini", "spanish.ini", "german.ini",
                           "french.ini",  "italian.ini", "japanese.ini"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(LanguageListIndexOfFile(files[i]), i);
        EXPECT_EQ(LanguageFileOfListIndex(i), files[i]);
    }
    EXPECT_EQ(LanguageListIndexOfFile("English.ini"), -1);
    EXPECT_EQ(LanguageListIndexOfFile("chinese.ini"), -1);
    EXPECT_EQ(LanguageListIndexOfFile(""), -1);
    EXPECT_EQ(LanguageFileOfListIndex(-1), "");
    EXPECT_EQ(LanguageFileOfListIndex(6), "");
}

TEST_F(LanguageTableFile, DialogsReadTheirOwnKeysFromTheFile) {
    const auto progress = ProgressDialogTexts::Read(file_);
    EXPECT_EQ(progress.title, "Tolvane");
    EXPECT_EQ(progress.currentFile, "Current file:");
    EXPECT_EQ(progress.overall, "Overall:");
    EXPECT_EQ(progress.stop, "Cancel");

    const auto settings = SettingsDialogTexts::Read(file_);
    EXPECT_EQ(settings.format, "Format:");
    EXPECT_EQ(settings.audioOptions, "Audio");
    EXPECT_EQ(settings.encoder, "Encoder:");
    EXPECT_EQ(settings.quality, "Quality:");
    EXPECT_EQ(settings.sampleRate, "Sample rate:");
    EXPECT_EQ(settings.channels, "Channels:");
    EXPECT_EQ(settings.ok, "OK");
    EXPECT_EQ(settings.cancel, "Cancel");
    EXPECT_EQ(settings.title, "Output Settings");

    EXPECT_EQ(ReadLanguageText(file_, "JIEMIAN", "tz"), "Cancel");
    EXPECT_EQ(ProgressDialogTexts::Read(dir_ / "missing.ini").title, "");
}

}  // namespace
}  // namespace tolvane
