// The language files and the default setting.ini as shipped, and their copies beside
// the built program.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>

#include "IniProfile.h"
#include "IniTestFiles.h"
#include "LanguageTable.h"
#include "Settings.h"
#include "SplitTabTexts.h"
#include "TextEncoding.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

const fs::path kSourceResources = TOLVANE_SOURCE_RESOURCES;
const fs::path kBuiltProgramFolder = TOLVANE_BUILT_PROGRAM_FOLDER;

const char* const kShippedFiles[] = {"english.ini", "spanish.ini",  "german.ini", "french.ini",
                                     "italian.ini", "japanese.ini", "chinese.ini"};

struct SectionKeys {
    std::string_view section;
    std::vector<std::string_view> keys;
};

std::vector<SectionKeys> Vocabulary() {
    std::vector<std::string_view> jiemian(kJiemianMainKeys.begin(), kJiemianMainKeys.end());
    jiemian.insert(jiemian.end(), kJiemianProgressKeys.begin(), kJiemianProgressKeys.end());
    jiemian.insert(jiemian.end(), kJiemianSettingsKeys.begin(), kJiemianSettingsKeys.end());
    std::vector<std::string_view> tishi(kTishiKeys.begin(), kTishiKeys.end());
    for (const DefaultedKey& own : kTishiOwnKeys)
        tishi.push_back(own.key);
    std::vector<std::string_view> hint(kHintKeys.begin(), kHintKeys.end());
    for (const SectionDefaultedKey& own : kSplitTabKeys) {
        auto& section = own.section == kSectionTishi  ? tishi
                        : own.section == kSectionHint ? hint
                                                      : jiemian;
        section.push_back(own.key);
    }
    return {{kSectionApplication, {kApplicationKeys.begin(), kApplicationKeys.end()}},
            {kSectionTishi, tishi},
            {kSectionHint, hint},
            {kSectionJiemian, jiemian}};
}

class LanguageFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(LanguageFiles, EveryKeyIsPresentAndNotEmpty) {
    const fs::path file = kSourceResources / "languages" / GetParam();
    const auto document = IniDocument::Load(file);
    ASSERT_TRUE(document.has_value()) << file;
    std::size_t keys = 0;
    for (const auto& [section, sectionKeys] : Vocabulary()) {
        for (const std::string_view key : sectionKeys) {
            const auto value = document->Find(section, key);
            ASSERT_TRUE(value.has_value()) << GetParam() << " [" << section << "] " << key;
            EXPECT_FALSE(value->empty()) << GetParam() << " [" << section << "] " << key;
            ++keys;
        }
    }
    EXPECT_EQ(keys, 99u + kSplitTabKeys.size());
}

TEST_P(LanguageFiles, IsUtf8WithoutUnknownKeys) {
    const fs::path file = kSourceResources / "languages" / GetParam();
    const std::string bytes = testing::ReadBytes(file);
    EXPECT_TRUE(IsValidUtf8(bytes));
    EXPECT_FALSE(bytes.starts_with("\xEF\xBB\xBF"));

    std::set<std::string> known;
    for (const auto& [section, keys] : Vocabulary()) {
        for (const std::string_view key : keys)
            known.insert(std::string(section) + "/" + std::string(key));
    }
    std::string section;
    const IniDocument document = IniDocument::Parse(bytes);
    for (const std::string& line : document.Lines()) {
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        const std::string key = line.substr(0, line.find('='));
        EXPECT_TRUE(known.count(section + "/" + key)) << GetParam() << ": " << line;
    }
}

TEST_P(LanguageFiles, NamesTheProgramAndItsHelpPage) {
    const auto table = LanguageTable::Load(kSourceResources / "languages" / GetParam());
    EXPECT_EQ(table.WindowTitle(), "Tolvane 1.0");
    // The page is shipped in the help folder and copied beside the built program.
    const std::string page = table.Application("url");
    ASSERT_FALSE(page.empty());
    EXPECT_EQ(page.find(".."), std::string::npos);
    EXPECT_NE(page.front(), '/');
    EXPECT_TRUE(fs::is_regular_file(kSourceResources / "help" / page)) << page;
    EXPECT_EQ(testing::ReadBytes(kBuiltProgramFolder / "help" / page),
              testing::ReadBytes(kSourceResources / "help" / page));
    // The rejected-file message reads as one sentence with blanks around the name.
    const std::string message = table.RejectedFileMessage("song.mp3");
    EXPECT_NE(message.find(" song.mp3 "), std::string::npos) << message;
    EXPECT_NE(table.OpenFileFilter().find("(*.mp3)|*.mp3|"), std::string::npos);
}

TEST_P(LanguageFiles, IsCopiedBesideTheBuiltProgram) {
    EXPECT_EQ(testing::ReadBytes(kBuiltProgramFolder / "languages" / GetParam()),
              testing::ReadBytes(kSourceResources / "languages" / GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Shipped, LanguageFiles, ::testing::ValuesIn(kShippedFiles),
                         [](const auto& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

TEST(LanguageFilesTranslations, DifferFromEnglishWhereTheWordsDiffer) {
    const auto english = LanguageTable::Load(kSourceResources / "languages" / "english.ini");
    for (const char* file : kShippedFiles) {
        if (std::string_view(file) == "english.ini")
            continue;
        const auto table = LanguageTable::Load(kSourceResources / "languages" / file);
        // Sentences are never left in English.
        for (const std::string_view key : {"jqcg", "hbsb", "qxtjsp", "mlbcz", "zslgwj"})
            EXPECT_NE(table.Tishi(key), english.Tishi(key)) << file << " " << key;
        EXPECT_NE(table.Jiemian("nykyzjsr"), english.Jiemian("nykyzjsr")) << file;
    }
}

// The program's own messages: English as the built-in texts say, every other file in
// its own words, each with the placeholders the program fills in.
TEST(LanguageFilesTranslations, OwnMessagesAreTranslatedWithTheirPlaceholders) {
    const auto placeholders = [](std::string_view text) {
        return std::pair(text.find("%1") != std::string_view::npos,
                         text.find("%2") != std::string_view::npos);
    };
    for (const char* file : kShippedFiles) {
        const auto document = IniDocument::Load(kSourceResources / "languages" / file);
        ASSERT_TRUE(document.has_value()) << file;
        for (const DefaultedKey& own : kTishiOwnKeys) {
            const std::string text = document->Get(kSectionTishi, own.key);
            if (std::string_view(file) == "english.ini") {
                EXPECT_EQ(text, own.english) << own.key;
            } else {
                EXPECT_NE(text, own.english) << file << " " << own.key;
            }
            EXPECT_EQ(placeholders(text), placeholders(own.english)) << file << " " << own.key;
        }
    }
}

// The split tab's texts: English as the built-in texts say, every file with the
// placeholders the program fills in, and the sentences in each language's own words.
TEST(LanguageFilesTranslations, SplitTabTextsKeepTheirPlaceholders) {
    for (const char* file : kShippedFiles) {
        const auto document = IniDocument::Load(kSourceResources / "languages" / file);
        ASSERT_TRUE(document.has_value()) << file;
        for (const SectionDefaultedKey& own : kSplitTabKeys) {
            const std::string text = document->Get(own.section, own.key);
            if (std::string_view(file) == "english.ini") {
                EXPECT_EQ(text, own.english) << own.key;
            } else if (own.section == kSectionTishi) {
                EXPECT_NE(text, own.english) << file << " " << own.key;
            }
            for (const char* mark : {"%1", "%2", "%3"}) {
                EXPECT_EQ(text.find(mark) != std::string::npos,
                          own.english.find(mark) != std::string_view::npos)
                    << file << " " << own.key << " " << mark;
            }
        }
    }
}

TEST(DefaultSettings, NamesTheSixLanguagesAndPutsEnglishInForce) {
    const SettingsFile settings(kSourceResources);
    const std::array<std::string, kLanguageListSize> expected = {"English",  "Español",  "Deutsch",
                                                                 "Français", "Italiano", "日本語"};
    EXPECT_EQ(settings.LanguageNames(), expected);
    EXPECT_EQ(settings.LanguageFile(), "english.ini");
    EXPECT_EQ(LanguageListIndexOfFile(settings.LanguageFile()), 0);
    EXPECT_TRUE(settings.OpenFolderWhenDone());
    EXPECT_EQ(settings.OpenFolderValue(), "1");
    EXPECT_EQ(settings.OutputFolder(), "");
    EXPECT_TRUE(IniDocument::Load(settings.Path())->Find("PATH", "name").has_value());
}

TEST(DefaultSettings, IsPlacedBesideTheBuiltProgram) {
    // The build copies it only when none is there; a user's file is never replaced, so
    // only its presence is certain.
    EXPECT_TRUE(fs::exists(kBuiltProgramFolder / "setting.ini"));
}

}  // namespace
}  // namespace tolvane

namespace tolvane {
namespace {

int RunCopyIfMissing(const fs::path& source, const fs::path& target) {
    const std::string command = std::string(TOLVANE_CMAKE_COMMAND) +
                                " -DSOURCE=" + source.string() + " -DTARGET=" + target.string() +
                                " -P " + TOLVANE_COPY_IF_MISSING_SCRIPT;
    return std::system(command.c_str());
}

TEST(DefaultSettings, BuildRuleNeverOverwritesAnExistingSettingsFile) {
    const fs::path folder =
        fs::temp_directory_path() / ("tolvane-copy-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    const fs::path target = folder / "bin" / "setting.ini";
    ASSERT_EQ(RunCopyIfMissing(kSourceResources / "setting.ini", target), 0);
    EXPECT_EQ(testing::ReadBytes(target), testing::ReadBytes(kSourceResources / "setting.ini"));

    testing::WriteBytes(target, "[PATH]\nname=/mine\n");
    ASSERT_EQ(RunCopyIfMissing(kSourceResources / "setting.ini", target), 0);
    EXPECT_EQ(testing::ReadBytes(target), "[PATH]\nname=/mine\n");
    fs::remove_all(folder);
}

}  // namespace
}  // namespace tolvane
