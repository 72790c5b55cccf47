#pragma once
// The texts of a language file: the key vocabulary of its four sections, the table the
// main window puts on its controls, and the few helpers built on the texts (window
// title, open-file filter, tooltips). Missing files, sections and keys give empty texts;
// the program carries no texts of its own for these places.

#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvane {

class IniDocument;

inline constexpr std::string_view kSectionApplication = "APPLICATION";
inline constexpr std::string_view kSectionTishi = "TISHI";      // message boxes, status words
inline constexpr std::string_view kSectionHint = "HINT";        // main window tooltips
inline constexpr std::string_view kSectionJiemian = "JIEMIAN";  // labels, captions, headers

inline constexpr std::array<std::string_view, 3> kApplicationKeys = {"name", "version", "url"};
inline constexpr std::array<std::string_view, 14> kTishiKeys = {
    "wj",  "wx", "qxtjsp", "mlbcz", "zslgwj", "wjwc", "wjwczg",
    "wj1", "sb", "wc",     "jqcg",  "jqsb",   "hbcg", "hbsb"};
inline constexpr std::array<std::string_view, 15> kHintKeys = {
    "tjspwj", "ksjq",    "sc",   "hbcygwj", "cssz",    "szscml",  "dkml",  "bz",
    "bf",     "zanting", "bftz", "djsbzj",  "szksjqd", "szjsjqd", "bfjqdl"};
// TISHI keys of the program's own messages, each with the English text used when a
// language file lacks the key. "%1", "%2" stand for the file and the reason or counts.
struct DefaultedKey {
    std::string_view key;
    std::string_view english;
};
inline constexpr std::array<DefaultedKey, 38> kTishiOwnKeys = {{
    {"mcsb", "No output file can be made for \"%1\": %2."},
    {"mc_noext", "the input's file name has no extension"},
    {"mc_format", "the output format names no file extension"},
    {"mc_long", "the output's file name would be too long for the file system"},
    {"mc_folder", "the output folder cannot be searched for existing files"},
    {"mc_taken", "every numbered output name is taken in the output folder"},
    {"zdwj", "A merge takes at most %1 files; %2 are checked. Uncheck some of them."},
    {"sbwj", "\"%1\" could not be processed: %2."},
    {"yy_missing", "the file cannot be found"},
    {"yy_access", "permission was denied"},
    {"yy_full", "the disk is full"},
    {"yy_big", "the file grew past the size the system allows"},
    {"yy_damaged", "its audio data is damaged or cannot be read"},
    {"yy_noaudio", "the marked stretch holds no audio that can be played"},
    {"yy_other", "an error occurred (%1)"},
    {"yy_changed", "the file was changed while it was being read"},
    {"yy_none", "no reason was recorded"},
    {"jqqx", "The cut was cancelled. The part written so far is in \"%1\"."},
    {"hbqx", "The merge was cancelled. The part written so far is in \"%1\"."},
    {"qxwbl", "The job was cancelled; nothing of the output was kept."},
    {"xsbx", "Show the file's waveform"},
    {"bzwj", "The help page \"%1\" cannot be opened: it is not a file in the help folder \"%2\"."},
    {"wfdk",
     "\"%1\" could not be opened: no program to open it was found. The package "
     "xdg-utils provides one."},
    {"xzyy", "Language"},
    {"jsqks",
     "The end time %2 does not lie after the start time %1: there is nothing to cut. "
     "Please correct the times."},
    {"kswjw",
     "The start time %1 lies at or past the end of the file (%2): there is nothing to "
     "cut. Please correct the times."},
    {"mlgb", "MP3 at %1 Hz has no %2 kbps; %3 kbps will be used."},
    {"bm_copy", "Copy (no re-encoding)"},
    {"sc_stretch", "Remove the marked stretch"},
    {"sc_all",
     "The marked stretch is the whole file: nothing would remain. Please correct the times."},
    {"hb_unlike",
     "\"%1\" cannot be joined to the others without re-encoding: %2. Choose MP3 in the output "
     "settings to re-encode."},
    {"bf_around", "Play around the marked stretch: two seconds before it, then on from its end"},
    // Zoom and marks on the waveform.
    {"bx_in", "Zoom in on the waveform (Ctrl++ or the mouse wheel)"},
    {"bx_out", "Zoom out of the waveform (Ctrl+-)"},
    {"bx_fit", "Show the whole file (Ctrl+0)"},
    {"bx_pan", "Move along the zoomed waveform"},
    {"bx_snap", "Snap marks to quiet points"},
    {"bx_snaptip",
     "A mark set by a button, by dragging its handle or by typing moves to the quietest spot "
     "within 50 ms"},
}};
// JIEMIAN keys of the main window.
inline constexpr std::array<std::string_view, 17> kJiemianMainKeys = {
    "zysybrj", "ksjq", "jsjq", "jqsj", "output", "nykyzjsr", "mp3jq", "mp3hb", "ywj",
    "kssj",    "jssj", "scgs", "zt",   "zb",     "symtwj",   "mp3wj", "sywj"};
// JIEMIAN keys the progress dialog reads when it opens (with APPLICATION "name").
inline constexpr std::array<std::string_view, 3> kJiemianProgressKeys = {"dqwj", "zgwj", "tz"};
// JIEMIAN keys the output settings dialog reads when it opens.
inline constexpr std::array<std::string_view, 9> kJiemianSettingsKeys = {
    "yzfa", "ypcs", "bmq", "ypzl", "cyl", "td", "qd", "qx", "cssz"};

// Every (section, key) the program reads from a language file: the four sections'
// keys above, the dialogs' JIEMIAN keys included.
std::vector<std::pair<std::string_view, std::string_view>> LanguageKeysTheProgramReads();

// True when the document holds every key the program reads, each with a non-empty
// text: a complete language file, fit to replace one that works.
bool HoldsEveryLanguageText(const IniDocument& document);

// The language list: entries 0..5 and their files, compared exactly (case matters).
inline constexpr std::array<std::string_view, 6> kLanguageListFiles = {
    "english.ini", "spanish.ini", "german.ini", "french.ini", "italian.ini", "japanese.ini"};
// The file refreshed from the web at start-up; in force only when setting.ini names it.
inline constexpr std::string_view kRefreshedLanguageFile = "chinese.ini";

// Entry of the language list for a file name; -1 (no selection) for any other name.
int LanguageListIndexOfFile(std::string_view fileName);
// File name of a list entry; empty for -1 or any index outside 0..5 (the current file
// name then stays).
std::string_view LanguageFileOfListIndex(int index);

// The two tooltips that are fixed texts rather than language keys.
inline constexpr std::string_view kDeleteAllTooltip = "删除所有文件";   // button 1001
inline constexpr std::string_view kFileListTooltip = "拖放文件到这里";  // file list 1114
// Playback state text in which the Play button's tooltip is "bf" ("zanting" otherwise).
inline constexpr std::string_view kPlaybackStatePlay = "PLAY";

// HINT key of a main window control id; nullopt for controls without a language tooltip.
// The Play button (1003) gives "bf" while `playbackState` is exactly "PLAY", else "zanting".
std::optional<std::string_view> HintKeyOfControl(int controlId, std::string_view playbackState);

class LanguageTable {
  public:
    // Every text empty (no language file).
    LanguageTable() = default;

    // Reads every main window key of the four sections from a language file.
    static LanguageTable Load(const std::filesystem::path& languageFile);
    static LanguageTable FromDocument(const IniDocument& document);

    // The text of a key of the main window's vocabulary; empty for a missing key or one
    // outside the vocabulary. Section and key names match without regard to case.
    const std::string& Text(std::string_view section, std::string_view key) const;
    const std::string& Application(std::string_view key) const;
    const std::string& Tishi(std::string_view key) const;
    const std::string& Hint(std::string_view key) const;
    const std::string& Jiemian(std::string_view key) const;

    // "name", " ", "version" (a single blank without a language file).
    std::string WindowTitle() const;

    // The open-file dialog's filter in its "|"-separated form: "symtwj" text, the twenty
    // audio patterns, "mp3wj" text "(*.mp3)", "sywj" text "(*.*)", each name followed by
    // its pattern, every item ended by "|".
    std::string OpenFileFilter() const;

    // The tooltip a main window control shows: the fixed texts of 1001 and 1114, the HINT
    // text of the others that have one (possibly empty), nullopt for controls without one.
    std::optional<std::string> Tooltip(int controlId, std::string_view playbackState) const;

    // "wj" text, the file name without its folder, " ", "wx" text.
    std::string RejectedFileMessage(std::string_view fileNameWithoutFolder) const;

  private:
    std::map<std::string, std::string, std::less<>> texts_;  // "SECTION/key" -> text
};

// One text straight from a language file (missing file, section or key: empty).
std::string ReadLanguageText(const std::filesystem::path& languageFile, std::string_view section,
                             std::string_view key);

// The progress dialog's texts, read from the language file when it opens.
struct ProgressDialogTexts {
    std::string title;        // APPLICATION "name"
    std::string currentFile;  // JIEMIAN "dqwj", label 1158
    std::string overall;      // JIEMIAN "zgwj", label 1159
    std::string stop;         // JIEMIAN "tz", button 1000 and its tooltip

    static ProgressDialogTexts Read(const std::filesystem::path& languageFile);
};

// The output settings dialog's texts, read from the language file when it opens.
struct SettingsDialogTexts {
    std::string format;        // JIEMIAN "yzfa", label 1196
    std::string audioOptions;  // JIEMIAN "ypcs", group box 1197
    std::string encoder;       // JIEMIAN "bmq", label 1198
    std::string quality;       // JIEMIAN "ypzl", label 1199
    std::string sampleRate;    // JIEMIAN "cyl", label 1200
    std::string channels;      // JIEMIAN "td", label 1201
    std::string ok;            // JIEMIAN "qd", button 1
    std::string cancel;        // JIEMIAN "qx", button 2
    std::string title;         // JIEMIAN "cssz"
    std::string bitRateMoved;  // TISHI "mlgb": the bit rate moved to one the sample rate has
    std::string copyEncoder;   // TISHI "bm_copy": the encoder entry of a join without re-encoding

    static SettingsDialogTexts Read(const std::filesystem::path& languageFile);
};

}  // namespace tolvane
