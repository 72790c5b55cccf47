// The language file reader on any file content: the main window's table and the two
// dialogs' texts, read from a real file as the program reads them.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "LanguageTable.h"

namespace {

const std::filesystem::path& LanguageFile() {
    static const std::filesystem::path file = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tolvane-fuzz-lang-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        return std::filesystem::path(pattern) / "language.ini";
    }();
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path& file = LanguageFile();
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const tolvane::LanguageTable table = tolvane::LanguageTable::Load(file);
    const std::string title = table.WindowTitle();
    if (title.empty())
        std::abort();  // at least the blank between name and version
    table.OpenFileFilter();
    table.RejectedFileMessage("song.mp3");
    for (int id : {1000, 1001, 1003, 1004, 1114, 1140, 1177, 4242})
        table.Tooltip(id, id == 1003 ? "PLAY" : "STOP");
    tolvane::ProgressDialogTexts::Read(file);
    tolvane::SettingsDialogTexts::Read(file);
    tolvane::ReadLanguageText(file, "TISHI", "jqcg");
    return 0;
}
