#pragma once
// Where the program keeps its files: the folder of the running executable, with
// setting.ini and the languages/ folder in it, or the user's own folder for them when
// the program's folder cannot be written.

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

// The user's own folder for setting.ini and languages/: $XDG_CONFIG_HOME/tolvane, or
// ~/.config/tolvane when that is unset or not an absolute path. Empty when no home is
// known.
std::filesystem::path UserSettingsFolder();

// The folder whose setting.ini the program reads and writes. The program folder itself
// while its setting.ini can be written there (a copy of the program a user unpacked);
// otherwise (an installed copy in a system folder) the user's folder, made at the first
// start with a copy of the program folder's setting.ini and an empty languages/. The
// user's languages/ is then looked up first by LanguageFilePath, the program folder's
// after it. Falls back to the program folder when the user's folder cannot be made.
std::filesystem::path SettingsFolderFor(const std::filesystem::path& programFolder);

// <folder>/languages/<name>, where <name> is the last "/"-separated part of `fileName`:
// a setting that holds a path ("/etc/x.ini", "../x.ini") still names a file inside the
// languages folder. "." and ".." name no file (the folder itself is returned). When
// `folder` is a user's folder chosen by SettingsFolderFor and holds no such file, the
// program folder's file of that name is given.
std::filesystem::path LanguageFilePath(std::string_view fileName,
                                       const std::filesystem::path& folder = ProgramFolder());

}  // namespace tolvane
