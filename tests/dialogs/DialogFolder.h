#pragma once
// A program folder for dialog tests: setting.ini and languages/ in a temporary folder.

#include <filesystem>
#include <string>

#include "MediaFixtures.h"

namespace tolvane::testing {

class DialogFolder {
  public:
    DialogFolder() = default;

    const std::filesystem::path& path() const { return dir_.path(); }
    std::filesystem::path SettingsPath() const { return dir_ / "setting.ini"; }

    // Writes languages/<name> with the given INI text.
    void WriteLanguage(const std::string& name, const std::string& content) const;
    // Writes languages/english.ini with the dialogs' keys in English.
    void WriteEnglish() const;
    // Replaces setting.ini with the given INI text.
    void WriteSettings(const std::string& content) const;
    // The stored value of a key, straight from setting.ini.
    std::string Setting(const std::string& section, const std::string& key) const;

  private:
    TempDir dir_;
};

}  // namespace tolvane::testing
