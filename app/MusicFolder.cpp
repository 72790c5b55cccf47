#include "MusicFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

namespace tolvane {
namespace fs = std::filesystem;

namespace {

fs::path HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return {};
}

std::string ReadUserDirs(const fs::path& home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const fs::path folder =
        config != nullptr && config[0] == '/' ? fs::path(config) : home / ".config";
    std::ifstream file(folder / "user-dirs.dirs");
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

std::string MusicFolderOfUserDirs(const std::string& text, const fs::path& home) {
    static constexpr std::string_view kKey = "XDG_MUSIC_DIR=";
    std::string folder;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find_first_not_of(" \t");
        if (at == std::string::npos || line.compare(at, kKey.size(), kKey) != 0)
            continue;
        std::string value = line.substr(at + kKey.size());
        while (!value.empty() && (value.back() == '\r' || value.back() == ' '))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        static constexpr std::string_view kHome = "$HOME";
        if (value.compare(0, kHome.size(), kHome) == 0 &&
            (value.size() == kHome.size() || value[kHome.size()] == '/'))
            value = home.string() + value.substr(kHome.size());
        folder = value;
    }
    return folder;
}

fs::path ChooseMusicFolder(std::string xdgMusic, const fs::path& home) {
    while (!xdgMusic.empty() && (xdgMusic.back() == '\n' || xdgMusic.back() == '\r'))
        xdgMusic.pop_back();
    std::error_code ec;
    const fs::path music(xdgMusic);
    if (music.is_absolute() && fs::is_directory(music, ec) && !fs::equivalent(music, home, ec))
        return music;
    if (fs::is_directory(home / "Music", ec))
        return home / "Music";
    return home;
}

fs::path DefaultOutputFolder() {
    const fs::path home = HomeFolder();
    return ChooseMusicFolder(MusicFolderOfUserDirs(ReadUserDirs(home), home), home);
}

}  // namespace tolvane
