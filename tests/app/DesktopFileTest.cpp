// The desktop entry: valid for the desktop's own checker, opens the files it is given,
// and offers the program for the audio types the engine reads.

#include <gtest/gtest.h>

#include <sstream>

#include "IniTestFiles.h"
#include "MediaFixtures.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

const fs::path kDesktopFile = fs::path(TOLVANE_SOURCE_RESOURCES) / "tolvane.desktop";

std::string EntryValue(const std::string& key) {
    std::istringstream lines(testing::ReadBytes(kDesktopFile));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(key + "=", 0) == 0)
            return line.substr(key.size() + 1);
    return {};
}

TEST(DesktopFile, PassesTheDesktopsOwnCheck) {
    if (testing::RunCommand("command -v desktop-file-validate >/dev/null") != 0)
        GTEST_SKIP() << "desktop-file-validate is not installed (desktop-file-utils)";
    std::string output;
    EXPECT_EQ(testing::RunCommand(
                  "desktop-file-validate " + testing::ShellQuote(kDesktopFile.string()) + " 2>&1",
                  &output),
              0)
        << output;
    EXPECT_EQ(output, "");
}

TEST(DesktopFile, OpensTheFilesItIsGivenForEveryAudioTypeTheEngineReads) {
    EXPECT_EQ(EntryValue("Exec"), "tolvane %F");
    const std::string types = ";" + EntryValue("MimeType");
    for (const char* type :
         {"audio/mpeg", "audio/x-wav", "audio/flac", "audio/ogg", "audio/x-vorbis+ogg",
          "audio/x-opus+ogg", "audio/aac", "audio/mp4", "audio/x-ms-wma", "audio/ac3",
          "audio/x-aiff", "audio/x-wavpack", "audio/x-matroska", "audio/x-m4b", "audio/x-aifc"}) {
        EXPECT_NE(types.find(std::string(";") + type + ";"), std::string::npos) << type;
    }
    // Only sound: video and playlists are not the program's to open.
    EXPECT_EQ(types.find("video/"), std::string::npos);
    EXPECT_EQ(types.find("mpegurl"), std::string::npos);
}

}  // namespace
}  // namespace tolvane
