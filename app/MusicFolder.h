#pragma once
// Where output goes before the user has chosen a folder: the user's music folder.

#include <filesystem>
#include <string>

namespace tolvane {

// `xdgMusic`, the user's music folder as the desktop names it (a trailing line break is
// ignored), when it names a folder that exists and is not the home folder itself (what
// `xdg-user-dir MUSIC` answers when no music folder is set); else <home>/Music when it
// exists; else `home`.
std::filesystem::path ChooseMusicFolder(std::string xdgMusic, const std::filesystem::path& home);

// The music folder that the text of a user-dirs.dirs file sets (XDG_MUSIC_DIR, an
// absolute path or one under "$HOME/", the last setting counting); empty when it sets
// none.
std::string MusicFolderOfUserDirs(const std::string& text, const std::filesystem::path& home);

// ChooseMusicFolder with the music folder of the user's user-dirs.dirs (read as
// xdg-user-dir reads it, without starting it) and the user's home folder.
std::filesystem::path DefaultOutputFolder();

}  // namespace tolvane
