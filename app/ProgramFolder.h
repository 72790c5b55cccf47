#pragma once
// Where the program keeps its files: the folder of the running executable, with
// setting.ini and the languages/ folder in it, or the user's own folder for them when
// the program's folder cannot be written.

#include <sys/types.h>

#include <filesystem>
#include <string>
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

// The folder of the program's data (default setting.ini, languages/, help/): the
// program folder itself when it holds languages/ or setting.ini (a build or an unpacked
// copy), else <program folder>/../share/tolvane when that exists (an installation, the
// binary in <prefix>/bin), else the program folder.
std::filesystem::path DataFolderOf(const std::filesystem::path& programFolder);

// True when `folder` belongs to an installation rather than to `user`: it lies below
// /usr, or `user` does not own it. An installation is never written, not even by root.
bool IsInstalledFolder(const std::filesystem::path& folder, uid_t user);

// The language file that matches the user's locale: the entries of LANGUAGE (a
// colon-separated list, used unless the locale is "C" or "POSIX"), then the first set of
// LC_ALL, LC_MESSAGES and LANG; "de_DE.UTF-8" and "de" both give "german.ini".
// "english.ini" when none matches a language the program has.
std::string LanguageFileForLocale();

// The folder whose setting.ini the program reads and writes. The program folder itself
// when it is the user's own (a build or an unpacked copy, IsInstalledFolder false) and
// its setting.ini can be written there; otherwise the user's folder, made at the first
// start with a copy of the program folder's setting.ini (naming the language file of
// the user's locale, LanguageFileForLocale) and an empty languages/. The user's
// languages/ is then looked up first by LanguageFilePath, the program folder's after
// it. Falls back to the program folder when the user's folder cannot be made.
std::filesystem::path SettingsFolderFor(const std::filesystem::path& programFolder);

// <folder>/languages/<name>, where <name> is the last "/"-separated part of `fileName`:
// a setting that holds a path ("/etc/x.ini", "../x.ini") still names a file inside the
// languages folder. "." and ".." name no file (the folder itself is returned). When
// `folder` is a user's folder chosen by SettingsFolderFor and holds no such file, the
// program folder's file of that name is given.
std::filesystem::path LanguageFilePath(std::string_view fileName,
                                       const std::filesystem::path& folder = ProgramFolder());

}  // namespace tolvane
