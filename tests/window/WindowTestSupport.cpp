#include "WindowTestSupport.h"

#include <QDialog>

#include <fstream>
#include <sstream>

namespace tolvane::testing {

std::string LanguageFileText(const std::string& language) {
    const std::map<std::string, std::vector<std::string>> sections = {
        {"APPLICATION", {"name", "version", "url"}},
        {"TISHI",
         {"wj", "wx", "qxtjsp", "mlbcz", "zslgwj", "wjwc", "wjwczg", "wj1", "sb", "wc", "jqcg",
          "jqsb", "hbcg", "hbsb"}},
        {"HINT",
         {"tjspwj", "ksjq", "sc", "hbcygwj", "cssz", "szscml", "dkml", "bz", "bf", "zanting",
          "bftz", "djsbzj", "szksjqd", "szjsjqd", "bfjqdl"}},
        {"JIEMIAN",
         {"zysybrj", "ksjq", "jsjq", "jqsj", "output", "nykyzjsr", "mp3jq", "mp3hb", "ywj", "kssj",
          "jssj", "scgs", "zt", "zb", "symtwj", "mp3wj", "sywj"}},
    };
    std::ostringstream text;
    for (const auto& [section, keys] : sections) {
        text << "[" << section << "]\n";
        for (const auto& key : keys) {
            if (section == "APPLICATION" && key == "url") {
                text << "url=https://example.org/" << language << "\n";
            } else {
                text << key << "=" << language << " " << section << " " << key << "\n";
            }
        }
    }
    return text.str();
}

ProgramFolderFixture::ProgramFolderFixture() = default;

void ProgramFolderFixture::WriteSettings(const std::string& text) const {
    std::ofstream(path() / "setting.ini", std::ios::binary) << text;
}

void ProgramFolderFixture::WriteLanguageFile(const std::string& fileName,
                                             const std::string& text) const {
    std::filesystem::create_directories(path() / "languages");
    std::ofstream(path() / "languages" / fileName, std::ios::binary) << text;
}

std::string ProgramFolderFixture::ReadSettings() const {
    std::ifstream in(path() / "setting.ini", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteStandardProgramFolder(const ProgramFolderFixture& folder) {
    folder.WriteSettings(
        "[LANGUAGE]\nname1=English\nname2=Espanol\nname3=Deutsch\nname4=Francais\n"
        "name5=Italiano\nname6=Japanese\nfile=english.ini\n[DIR]\nopen=0\n"
        "[PATH]\nname=/tmp\n");
    folder.WriteLanguageFile("english.ini", LanguageFileText("English"));
    folder.WriteLanguageFile("german.ini", LanguageFileText("German"));
}

WindowServices WindowFakes::Services(const std::filesystem::path& programFolder) {
    WindowServices services;
    auto recording = std::make_unique<RecordingPlayerModule>();
    player = recording.get();
    services.player = std::move(recording);
    services.programFolder = programFolder.string();
    services.refreshLanguageFile = [this](const std::string& folder) {
        refreshedFolders.push_back(folder);
    };
    services.messageBox = &messageBox;
    services.fileChooser = &fileChooser;
    services.folderChooser = &folderChooser;
    services.shell = &shell;
    services.runModal = [this](QDialog& dialog) {
        modalDialogs.push_back(&dialog);
        modalDialogClasses.push_back(dialog.metaObject()->className());
        return int(QDialog::Rejected);
    };
    return services;
}

WindowUnderTest::WindowUnderTest(const std::filesystem::path& programFolder)
    : window(std::make_unique<CTolvaneDlg>(Services(programFolder))) {}

}  // namespace tolvane::testing
