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

// <folder>/languages/<name>, where <name> is the last "/"-separated part of `fileName`:
// a setting that holds a path ("/etc/x.ini", "../x.ini") still names a file inside the
// languages folder. "." and ".." name no file (the folder itself is returned).
std::filesystem::path LanguageFilePath(std::string_view fileName,
                                       const std::filesystem::path& folder = ProgramFolder());

}  // namespace tolvane
