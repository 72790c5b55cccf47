#pragma once
// setting.ini: the program's only lasting settings. Every reader opens the file when it
// needs a value; every writer stores one key at once. Writes that fail are not reported:
// the caller keeps its in-memory value.
//
//   [LANGUAGE] name1 .. name6  display names of the language list entries (default empty)
//   [LANGUAGE] file            language file in force, e.g. "english.ini" (default empty)
//   [DIR]      open            "1": open the output folder after a job (default "1")
//   [PATH]     name            output folder (default empty)
//   [VIEW]     waveform        "1": the position slider shows the file's own waveform
//                              (default "0", the fixed picture)

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

namespace tolvane {

inline constexpr int kLanguageListSize = 6;

class SettingsFile {
  public:
    // setting.ini in the program folder.
    SettingsFile();
    // setting.ini in `folder` (tests, or an explicit program folder).
    explicit SettingsFile(const std::filesystem::path& folder);

    const std::filesystem::path& Path() const { return path_; }

    // [LANGUAGE] "name1".."name6" as entries 0..5; an index outside 0..5 gives "".
    std::string LanguageName(int index) const;
    std::array<std::string, kLanguageListSize> LanguageNames() const;
    // [LANGUAGE] "file".
    std::string LanguageFile() const;
    // [DIR] "open" as stored (default "1").
    std::string OpenFolderValue() const;
    // True only when [DIR] "open" is exactly "1".
    bool OpenFolderWhenDone() const;
    // [PATH] "name".
    std::string OutputFolder() const;
    // True only when [VIEW] "waveform" is exactly "1".
    bool ShowFileWaveform() const;
    // [VIEW] snap: marks set on the waveform move to the quiet point near them.
    bool SnapMarks() const;

    // The path of the language file in force: <folder>/languages/<[LANGUAGE] "file">.
    std::filesystem::path LanguageFileInForce() const;

    void SetLanguageFile(std::string_view fileName) const;
    // Writes "1" or "0".
    void SetOpenFolderWhenDone(bool open) const;
    void SetOutputFolder(std::string_view folder) const;
    // Writes "1" or "0".
    void SetShowFileWaveform(bool show) const;
    void SetSnapMarks(bool snap) const;

  private:
    std::filesystem::path folder_;
    std::filesystem::path path_;
};

}  // namespace tolvane
