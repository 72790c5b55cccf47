#include "LanguageTable.h"

#include <algorithm>
#include <utility>

#include "IniProfile.h"
#include "SplitTabTexts.h"

namespace tolvane {

namespace {

constexpr std::string_view kAudioPatterns =
    "*.aac;*.ac3;*.flac;*.dts;*.amr;*.mid;*.aiff;*.ape;*.cue;*.mpa;*.au;*.mp3;*.ogg;*.ra;*.ram;"
    "*.wav;*.cda;*.m4a;*.wma;*.mp2"
    // Beyond the twenty: more types the engine reads and the desktop entry claims.
    ";*.opus;*.oga;*.wv;*.mka;*.m4b;*.aif;*.aifc;*.tta";

// Main window control ids with a tooltip from the HINT section.
constexpr std::pair<int, std::string_view> kHintOfControl[] = {
    {1000, "tjspwj"},  {1004, "ksjq"},    {1092, "sc"},     {1099, "hbcygwj"}, {1115, "cssz"},
    {1076, "szscml"},  {1005, "dkml"},    {1098, "bz"},     {1135, "bftz"},    {1140, "djsbzj"},
    {1154, "szksjqd"}, {1149, "szjsjqd"}, {1177, "bfjqdl"},
};
constexpr int kPlayButton = 1003;
constexpr int kDeleteAllButton = 1001;
constexpr int kFileList = 1114;

std::string TableKey(std::string_view section, std::string_view key) {
    std::string text;
    text.reserve(section.size() + key.size() + 1);
    for (const char c : section)
        text += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    text += '/';
    for (const char c : key)
        text += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

const std::string& EmptyText() {
    static const std::string empty;
    return empty;
}

}  // namespace

std::vector<std::pair<std::string_view, std::string_view>> LanguageKeysTheProgramReads() {
    std::vector<std::pair<std::string_view, std::string_view>> keys;
    const auto add = [&](std::string_view section, const auto& list) {
        for (const std::string_view key : list)
            keys.emplace_back(section, key);
    };
    add(kSectionApplication, kApplicationKeys);
    add(kSectionTishi, kTishiKeys);
    add(kSectionHint, kHintKeys);
    add(kSectionJiemian, kJiemianMainKeys);
    add(kSectionJiemian, kJiemianProgressKeys);
    add(kSectionJiemian, kJiemianSettingsKeys);
    return keys;
}

bool HoldsEveryLanguageText(const IniDocument& document) {
    for (const auto& [section, key] : LanguageKeysTheProgramReads()) {
        const auto text = document.Find(section, key);
        if (!text || text->empty())
            return false;
    }
    return true;
}

int LanguageListIndexOfFile(std::string_view fileName) {
    const auto it = std::find(kLanguageListFiles.begin(), kLanguageListFiles.end(), fileName);
    return it == kLanguageListFiles.end() ? -1 : static_cast<int>(it - kLanguageListFiles.begin());
}

std::string_view LanguageFileOfListIndex(int index) {
    if (index < 0 || index >= static_cast<int>(kLanguageListFiles.size()))
        return {};
    return kLanguageListFiles[static_cast<std::size_t>(index)];
}

std::optional<std::string_view> HintKeyOfControl(int controlId, std::string_view playbackState) {
    if (controlId == kPlayButton) {
        return playbackState == kPlaybackStatePlay ? std::string_view("bf")
                                                   : std::string_view("zanting");
    }
    for (const auto& [id, key] : kHintOfControl) {
        if (id == controlId)
            return key;
    }
    return std::nullopt;
}

LanguageTable LanguageTable::Load(const std::filesystem::path& languageFile) {
    return FromDocument(IniDocument::Load(languageFile).value_or(IniDocument()));
}

LanguageTable LanguageTable::FromDocument(const IniDocument& document) {
    LanguageTable table;
    const auto readSection = [&](std::string_view section, const auto& keys) {
        for (const std::string_view key : keys)
            table.texts_[TableKey(section, key)] = document.Get(section, key);
    };
    readSection(kSectionApplication, kApplicationKeys);
    readSection(kSectionTishi, kTishiKeys);
    readSection(kSectionHint, kHintKeys);
    readSection(kSectionJiemian, kJiemianMainKeys);
    for (const DefaultedKey& own : kTishiOwnKeys) {
        table.texts_[TableKey(kSectionTishi, own.key)] =
            document.Find(kSectionTishi, own.key).value_or(std::string(own.english));
    }
    for (const SectionDefaultedKey& own : kSplitTabKeys) {
        table.texts_[TableKey(own.section, own.key)] =
            document.Find(own.section, own.key).value_or(std::string(own.english));
    }
    return table;
}

const std::string& LanguageTable::Text(std::string_view section, std::string_view key) const {
    const auto it = texts_.find(TableKey(section, key));
    return it == texts_.end() ? EmptyText() : it->second;
}

const std::string& LanguageTable::Application(std::string_view key) const {
    return Text(kSectionApplication, key);
}
const std::string& LanguageTable::Tishi(std::string_view key) const {
    return Text(kSectionTishi, key);
}
const std::string& LanguageTable::Hint(std::string_view key) const {
    return Text(kSectionHint, key);
}
const std::string& LanguageTable::Jiemian(std::string_view key) const {
    return Text(kSectionJiemian, key);
}

std::string LanguageTable::WindowTitle() const {
    return Application("name") + " " + Application("version");
}

std::string LanguageTable::OpenFileFilter() const {
    std::string filter = Jiemian("symtwj");
    filter += '|';
    filter += kAudioPatterns;
    filter += '|';
    filter += Jiemian("mp3wj");
    filter += "(*.mp3)|*.mp3|";
    filter += Jiemian("sywj");
    filter += "(*.*)|*.*|";
    return filter;
}

std::optional<std::string> LanguageTable::Tooltip(int controlId,
                                                  std::string_view playbackState) const {
    if (controlId == kDeleteAllButton)
        return std::string(kDeleteAllTooltip);
    if (controlId == kFileList)
        return std::string(kFileListTooltip);
    const auto key = HintKeyOfControl(controlId, playbackState);
    if (!key)
        return std::nullopt;
    return Hint(*key);
}

std::string LanguageTable::RejectedFileMessage(std::string_view fileNameWithoutFolder) const {
    return Tishi("wj") + std::string(fileNameWithoutFolder) + " " + Tishi("wx");
}

std::string ReadLanguageText(const std::filesystem::path& languageFile, std::string_view section,
                             std::string_view key) {
    return ReadProfileString(languageFile, section, key);
}

ProgressDialogTexts ProgressDialogTexts::Read(const std::filesystem::path& languageFile) {
    const auto document = IniDocument::Load(languageFile).value_or(IniDocument());
    ProgressDialogTexts texts;
    texts.title = document.Get(kSectionApplication, "name");
    texts.currentFile = document.Get(kSectionJiemian, "dqwj");
    texts.overall = document.Get(kSectionJiemian, "zgwj");
    texts.stop = document.Get(kSectionJiemian, "tz");
    return texts;
}

SettingsDialogTexts SettingsDialogTexts::Read(const std::filesystem::path& languageFile) {
    const auto document = IniDocument::Load(languageFile).value_or(IniDocument());
    const auto get = [&](std::string_view key) { return document.Get(kSectionJiemian, key); };
    SettingsDialogTexts texts;
    texts.format = get("yzfa");
    texts.audioOptions = get("ypcs");
    texts.encoder = get("bmq");
    texts.quality = get("ypzl");
    texts.sampleRate = get("cyl");
    texts.channels = get("td");
    texts.ok = get("qd");
    texts.cancel = get("qx");
    texts.title = get("cssz");
    for (const DefaultedKey& own : kTishiOwnKeys) {
        const std::string text =
            document.Find(kSectionTishi, own.key).value_or(std::string(own.english));
        if (own.key == "mlgb")
            texts.bitRateMoved = text;
        else if (own.key == "bm_copy")
            texts.copyEncoder = text;
    }
    return texts;
}

}  // namespace tolvane
