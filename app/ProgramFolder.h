#pragma once
// Where the program keeps its files: the folder of the running executable, with
// setting.ini and the languages/ folder in it.

#include <filesystem>
#include <string_view>

namespace tolvane {

// The folder that holds the executable (from /proc/self/exe), or the folder set with
// OverrideProgramFolder. Empty when neither is known.
std::filesystem::path ProgramFolder();

// Makes ProgramFolder() answer `folder` from now on (tests); an empty path restores the
// executable's folder. Call it before other threads use ProgramFolder().
void OverrideProgramFolder(const std::filesystem::path& folder);

// <folder>/setting.ini
std::filesystem::path SettingsFilePath(const std::filesystem::path& folder = ProgramFolder());

// <folder>/languages/<fileName>
std::filesystem::path LanguageFilePath(std::string_view fileName,
                                       const std::filesystem::path& folder = ProgramFolder());

}  // namespace tolvane
