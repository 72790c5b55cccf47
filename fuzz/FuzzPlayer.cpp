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

#include "FuzzMediaInput.h"
#include "PreviewPlayer.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kControlBytes = 4;

// The sound goes to SDL's dummy driver, set before the first player starts.
const fs::path& Folder() {
    static const bool dummyDriver = setenv("SDL_AUDIODRIVER", "dummy", 1) == 0;
    (void)dummyDriver;
    return tolvane::fuzz::ScratchFolder("tolvane-fuzz-player");
}

bool InRange(double value, double low, double high) {
    return value >= low && value <= high;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size <= kControlBytes)
        return 0;
    const fs::path input = tolvane::fuzz::WriteInput(Folder(), data, size, kControlBytes);

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
