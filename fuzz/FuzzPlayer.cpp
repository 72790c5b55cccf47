// The preview player on any bytes written to a file: Open, then, when it opens, a few
// seeks, plays, pauses and a Stop driven by the input's first bytes, then Close. The
// sound goes to SDL's dummy driver, so a run needs no sound server. The first byte
// picks the file's extension from the probe target's table.

#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

extern "C" {
#include <libavutil/log.h>
}

#include "PreviewPlayer.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kExtensions[] = {".mp3", ".wav", ".flac", ".ogg",  ".m4a", ".aac",
                                       ".mp2", ".mka", ".MP3",  ".opus", ".ac3", ".au"};
constexpr std::size_t kExtensionCount = sizeof kExtensions / sizeof kExtensions[0];
constexpr std::size_t kControlBytes = 4;

const fs::path& Folder() {
    static const fs::path folder = [] {
        av_log_set_level(AV_LOG_QUIET);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        std::string pattern = (fs::temp_directory_path() / "tolvane-fuzz-player-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        return fs::path(pattern);
    }();
    return folder;
}

bool InRange(double value, double low, double high) {
    return value >= low && value <= high;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size <= kControlBytes)
        return 0;
    const fs::path input =
        Folder() / (std::string("input") + kExtensions[data[0] % kExtensionCount]);
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + kControlBytes),
                  static_cast<std::streamsize>(size - kControlBytes));
    }

    // One player for the whole run, as the window keeps one across files.
    static tolvane::player::PreviewPlayer player;
    player.PlayerModule_SetFileName(input.string());
    if (player.PlayerModule_Open() == 0) {
        double duration = -1;
        player.PlayerModule_GetDuration(&duration);
        if (!InRange(duration, 0, 1e9))
            std::abort();
        player.PlayerModule_Start();
        for (std::size_t i = 1; i < kControlBytes; ++i) {
            const std::uint8_t control = data[i];
            if (control & 0x80) {
                player.PlayerModule_SetPos(static_cast<float>(control & 0x7f) / 100.0f);
            } else if (control & 0x40) {
                player.PlayerModule_Pause();
            } else if (control & 0x20) {
                player.PlayerModule_Stop();
            }
            player.PlayerModule_Start();
            std::this_thread::sleep_for(std::chrono::milliseconds(control & 0x3));
            float fraction = -1;
            player.PlayerModule_GetPos(&fraction);
            if (!InRange(fraction, 0, 1))
                std::abort();
        }
        player.PlayerModule_Close();
    }
    return 0;
}
