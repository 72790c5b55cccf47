#include "Settings.h"

#include "IniProfile.h"
#include "ProgramFolder.h"

namespace tolvane {

namespace {
constexpr std::string_view kLanguage = "LANGUAGE";
constexpr std::string_view kDir = "DIR";
constexpr std::string_view kPath = "PATH";
constexpr std::string_view kView = "VIEW";
}  // namespace

SettingsFile::SettingsFile() : SettingsFile(ProgramFolder()) {}

SettingsFile::SettingsFile(const std::filesystem::path& folder)
    : folder_(folder), path_(SettingsFilePath(folder)) {}

std::string SettingsFile::LanguageName(int index) const {
    if (index < 0 || index >= kLanguageListSize)
        return {};
    return ReadProfileString(path_, kLanguage, "name" + std::to_string(index + 1));
}

std::array<std::string, kLanguageListSize> SettingsFile::LanguageNames() const {
    const auto document = IniDocument::Load(path_).value_or(IniDocument());
    std::array<std::string, kLanguageListSize> names;
    for (int i = 0; i < kLanguageListSize; ++i) {
        names[static_cast<std::size_t>(i)] =
            document.Get(kLanguage, "name" + std::to_string(i + 1));
    }
    return names;
}

std::string SettingsFile::LanguageFile() const {
    return ReadProfileString(path_, kLanguage, "file");
}

std::string SettingsFile::OpenFolderValue() const {
    return ReadProfileString(path_, kDir, "open", "1");
}

bool SettingsFile::OpenFolderWhenDone() const {
    return OpenFolderValue() == "1";
}

std::string SettingsFile::OutputFolder() const {
    return ReadProfileString(path_, kPath, "name");
}

bool SettingsFile::ShowFileWaveform() const {
    return ReadProfileString(path_, kView, "waveform", "0") == "1";
}

bool SettingsFile::SnapMarks() const {
    return ReadProfileString(path_, kView, "snap", "0") == "1";
}

std::filesystem::path SettingsFile::LanguageFileInForce() const {
    return LanguageFilePath(LanguageFile(), folder_);
}

void SettingsFile::SetLanguageFile(std::string_view fileName) const {
    WriteProfileString(path_, kLanguage, "file", fileName);
}

void SettingsFile::SetOpenFolderWhenDone(bool open) const {
    WriteProfileString(path_, kDir, "open", open ? "1" : "0");
}

void SettingsFile::SetOutputFolder(std::string_view folder) const {
    WriteProfileString(path_, kPath, "name", folder);
}

void SettingsFile::SetShowFileWaveform(bool show) const {
    WriteProfileString(path_, kView, "waveform", show ? "1" : "0");
}

void SettingsFile::SetSnapMarks(bool snap) const {
    WriteProfileString(path_, kView, "snap", snap ? "1" : "0");
}

}  // namespace tolvane
