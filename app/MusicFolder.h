#pragma once
// Where output goes before the user has chosen a folder: the user's music folder.

#include <filesystem>
#include <string>

namespace tolvane {

// `xdgMusic` as `xdg-user-dir MUSIC` printed it (a trailing line break is ignored) when
// it names a folder that exists and is not the home folder itself (which xdg-user-dir
// answers when no music folder is set); else <home>/Music when it exists; else `home`.
std::filesystem::path ChooseMusicFolder(std::string xdgMusic, const std::filesystem::path& home);

// ChooseMusicFolder with what `xdg-user-dir MUSIC` prints (nothing when it is not
// installed) and the user's home folder.
std::filesystem::path DefaultOutputFolder();

}  // namespace tolvane
