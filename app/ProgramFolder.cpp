#include "ProgramFolder.h"

#include <unistd.h>

#include <string>
#include <vector>

namespace tolvane {
namespace fs = std::filesystem;

namespace {

fs::path& OverriddenFolder() {
    static fs::path folder;
    return folder;
}

fs::path ExecutableFolder() {
    // No fixed buffer: grow until the link text fits.
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            const std::string path(buffer.data(), static_cast<std::size_t>(length));
            const auto slash = path.rfind('/');
            return slash == std::string::npos ? fs::path() : fs::path(path.substr(0, slash));
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

fs::path ProgramFolder() {
    if (!OverriddenFolder().empty()) {
        return OverriddenFolder();
    }
    static const fs::path folder = ExecutableFolder();
    return folder;
}

void OverrideProgramFolder(const fs::path& folder) {
    OverriddenFolder() = folder;
}

fs::path SettingsFilePath(const fs::path& folder) {
    return folder / "setting.ini";
}

fs::path LanguageFilePath(std::string_view fileName, const fs::path& folder) {
    const auto slash = fileName.rfind('/');
    std::string_view name = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    if (name == "." || name == "..") {
        name = {};
    }
    return folder / "languages" / fs::path(std::string(name));
}

}  // namespace tolvane
