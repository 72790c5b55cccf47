#include "ProgramFolder.h"

#include "Settings.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <map>
#include <mutex>
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
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size()) {
            const std::string path(buffer.data(), static_cast<std::size_t>(length));
            const auto slash = path.rfind('/');
            return slash == std::string::npos ? fs::path() : fs::path(path.substr(0, slash));
        }
        buffer.resize(buffer.size() * 2);
    }
}

// User folders chosen by SettingsFolderFor, each with the program folder whose language
// files stand behind it.
std::mutex fallbackMutex;
std::map<fs::path, fs::path>& LanguageFallbacks() {
    static std::map<fs::path, fs::path> fallbacks;
    return fallbacks;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return entry->pw_dir;
    return {};
}

// The file may be written where it is: it exists and is writable, or it is missing from a
// folder we may write into.
bool SettingsWritableIn(const fs::path& folder) {
    const fs::path file = SettingsFilePath(folder);
    std::error_code ec;
    if (fs::exists(file, ec))
        return ::access(file.c_str(), W_OK) == 0;
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// "de_DE.UTF-8@euro" → "de"
std::string_view LanguageCode(std::string_view locale) {
    const auto end = locale.find_first_of("_.@");
    return locale.substr(0, end);
}

std::string_view LanguageFileOfCode(std::string_view code) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kFiles = {{
        {"en", "english.ini"},
        {"es", "spanish.ini"},
        {"de", "german.ini"},
        {"fr", "french.ini"},
        {"it", "italian.ini"},
        {"ja", "japanese.ini"},
        {"zh", "chinese.ini"},
    }};
    for (const auto& [language, file] : kFiles) {
        if (code == language)
            return file;
    }
    return {};
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// A new user's settings name the language of the user's locale, when the program has it.
void ChooseLanguageOfLocale(const fs::path& userFolder, const fs::path& programFolder) {
    const SettingsFile settings(userFolder);
    const std::string file = LanguageFileForLocale();
    std::error_code ec;
    if (file == settings.LanguageFile() || !fs::exists(programFolder / "languages" / file, ec))
        return;
    settings.SetLanguageFile(file);
}

}  // namespace

fs::path ProgramFolder() {
    if (!OverriddenFolder().empty())
        return OverriddenFolder();
    static const fs::path folder = ExecutableFolder();
    return folder;
}

void OverrideProgramFolder(const fs::path& folder) {
    OverriddenFolder() = folder;
}

fs::path SettingsFilePath(const fs::path& folder) {
    return folder / "setting.ini";
}

fs::path UserSettingsFolder() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/')
        return fs::path(config) / "tolvane";
    const std::string home = HomeFolder();
    if (home.empty())
        return {};
    return fs::path(home) / ".config" / "tolvane";
}

fs::path DataFolderOf(const fs::path& programFolder) {
    std::error_code ec;
    if (fs::is_directory(programFolder / "languages", ec) ||
        fs::exists(SettingsFilePath(programFolder), ec))
        return programFolder;
    const fs::path shared = programFolder.parent_path() / "share" / "tolvane";
    if (fs::is_directory(shared, ec))
        return shared;
    return programFolder;
}

bool IsInstalledFolder(const fs::path& folder, uid_t user) {
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(folder, ec);
    const std::string path = (ec ? folder : real).string();
    if (path == "/usr" || path.starts_with("/usr/"))
        return true;
    struct stat status {};
    return ::stat(path.c_str(), &status) != 0 || status.st_uid != user;
}

std::string LanguageFileForLocale() {
    std::string locale = Environment("LC_ALL");
    if (locale.empty())
        locale = Environment("LC_MESSAGES");
    if (locale.empty())
        locale = Environment("LANG");
    // As gettext has it: LANGUAGE's list goes first, except in the "C" locale.
    if (!locale.empty() && locale != "C" && locale != "POSIX") {
        const std::string list = Environment("LANGUAGE");
        std::string_view rest = list;
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            const std::string_view entry = rest.substr(0, colon);
            if (const auto file = LanguageFileOfCode(LanguageCode(entry)); !file.empty())
                return std::string(file);
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
    }
    if (const auto file = LanguageFileOfCode(LanguageCode(locale)); !file.empty())
        return std::string(file);
    return "english.ini";
}

fs::path SettingsFolderFor(const fs::path& programFolder) {
    if (!IsInstalledFolder(programFolder, ::getuid()) && SettingsWritableIn(programFolder))
        return programFolder;
    const fs::path user = UserSettingsFolder();
    if (user.empty())
        return programFolder;
    std::error_code ec;
    fs::create_directories(user / "languages", ec);
    if (!fs::is_directory(user / "languages", ec) || ::access(user.c_str(), W_OK | X_OK) != 0)
        return programFolder;
    const fs::path settings = SettingsFilePath(user);
    if (!fs::exists(settings, ec)) {
        // The default the program came with; a missing one leaves the file to the first
        // write, with the defaults of every key until then.
        fs::copy_file(SettingsFilePath(programFolder), settings, ec);
        if (!ec)
            fs::permissions(settings, fs::perms::owner_read | fs::perms::owner_write,
                            fs::perm_options::add, ec);
        ChooseLanguageOfLocale(user, programFolder);
    }
    const std::lock_guard lock(fallbackMutex);
    LanguageFallbacks()[user] = programFolder;
    return user;
}

fs::path LanguageFilePath(std::string_view fileName, const fs::path& folder) {
    const auto slash = fileName.rfind('/');
    std::string_view name = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    if (name == "." || name == "..")
        name = {};
    const fs::path path = folder / "languages" / fs::path(std::string(name));
    if (name.empty())
        return path;
    std::error_code ec;
    if (fs::exists(path, ec))
        return path;
    const std::lock_guard lock(fallbackMutex);
    const auto fallback = LanguageFallbacks().find(folder);
    if (fallback == LanguageFallbacks().end())
        return path;
    return fallback->second / "languages" / fs::path(std::string(name));
}

}  // namespace tolvane
