#include "DialogFolder.h"

#include <fstream>

#include "IniProfile.h"

namespace tolvane::testing {

namespace {

void WriteFile(const std::filesystem::path& file, const std::string& content) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace

void DialogFolder::WriteLanguage(const std::string& name, const std::string& content) const {
    WriteFile(path() / "languages" / name, content);
}

void DialogFolder::WriteEnglish() const {
    WriteLanguage("english.ini",
                  "[APPLICATION]\n"
                  "name=Tolvane\n"
                  "version=1.0\n"
                  "[JIEMIAN]\n"
                  "dqwj=Current file:\n"
                  "zgwj=Total:\n"
                  "tz=Stop\n"
                  "yzfa=Output format\n"
                  "ypcs=Audio options\n"
                  "bmq=Encoder\n"
                  "ypzl=Quality\n"
                  "cyl=Sample rate\n"
                  "td=Channels\n"
                  "qd=OK\n"
                  "qx=Cancel\n"
                  "cssz=Settings\n");
}

void DialogFolder::WriteSettings(const std::string& content) const {
    WriteFile(SettingsPath(), content);
}

std::string DialogFolder::Setting(const std::string& section, const std::string& key) const {
    return ReadProfileString(SettingsPath(), section, key, "<missing>");
}

}  // namespace tolvane::testing
