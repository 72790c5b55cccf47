#include "MusicFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace tolvane {
namespace fs = std::filesystem;

namespace {

std::string XdgUserDirMusic() {
    struct PipeCloser {
        void operator()(FILE* pipe) const { ::pclose(pipe); }
    };
    const std::unique_ptr<FILE, PipeCloser> pipe(::popen("xdg-user-dir MUSIC 2>/dev/null", "r"));
    if (!pipe)
        return {};
    std::string answer;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr)
        answer += buffer;
    return answer;
}

fs::path HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return {};
}

}  // namespace

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
    return ChooseMusicFolder(XdgUserDirMusic(), HomeFolder());
}

}  // namespace tolvane
