// Times PlayerModule_Open on a long file (median of several) and measures the CPU
// time the process uses during ten seconds of playback, as a share of one core, and
// how far the reported position strays from the wall clock meanwhile, and the time
// Close takes while playing at 8, 44.1 and 96 kHz.
//
// Usage: tolvane_player_bench FILE [open-runs] [play-seconds]

#include "BenchStats.h"
#include "PlayerModule.h"


#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using tolvane::bench::CpuSeconds;
using tolvane::bench::Median;

// Median time of Close while playing a tone at `rate` Hz (the window closes at every
// Stop and end of file, so its thread waits this long).
double CloseMs(int rate) {
    const std::string tone = "/tmp/tolvane-bench-close-" + std::to_string(rate) + ".wav";
    const std::string command =
        "ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=3 -ar " + std::to_string(rate) +
        " " + tone;
    if (std::system(command.c_str()) != 0)
        return -1;
    auto player = tolvane::CreatePlayerModule();
    player->PlayerModule_Initialize([] {}, [](int) {}, "bench");
    std::vector<double> closeMs;
    for (int i = 0; i < 7; ++i) {
        player->PlayerModule_SetFileName(tone);
        if (player->PlayerModule_Open() == -1)
            return -1;
        player->PlayerModule_Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const auto start = std::chrono::steady_clock::now();
        player->PlayerModule_Close();
        closeMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::remove(tone.c_str());
    return Median(closeMs);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [open-runs] [play-seconds]\n", argv[0]);
        return 2;
    }
    const std::string file = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    const double playSeconds = argc > 3 ? std::max(1.0, std::atof(argv[3])) : 10.0;
    setenv("SDL_AUDIODRIVER", "dummy", 0);  // no sound server on build machines

    using Clock = std::chrono::steady_clock;
    auto player = tolvane::CreatePlayerModule();
    player->PlayerModule_Initialize([] {}, [](int) {}, "bench");

    std::vector<double> openMs;
    double duration = 0;
    for (int i = 0; i < runs; ++i) {
        player->PlayerModule_SetFileName(file);
        const auto start = Clock::now();
        const int opened = player->PlayerModule_Open();
        openMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (opened == -1) {
            std::fprintf(stderr, "cannot open %s\n", file.c_str());
            return 1;
        }
        player->PlayerModule_GetDuration(&duration);
        if (i + 1 < runs) {
            player->PlayerModule_Close();
        }
    }
    std::printf("file: %s (%.1f min)\n", file.c_str(), duration / 60);
    std::printf("open: median %.2f ms, min %.2f ms, max %.2f ms over %d runs (target < 50 ms)\n",
                Median(openMs), *std::min_element(openMs.begin(), openMs.end()),
                *std::max_element(openMs.begin(), openMs.end()), runs);
    // The window brings SDL's audio up after it shows; a file opened before meets it here.
    std::printf("first open, SDL's audio brought up with it: %.2f ms\n", openMs.front());

    // Play from the middle, as a preview of a long file would after a seek.
    player->PlayerModule_SetPos(0.5f);
    double startPosition = 0;
    player->PlayerModule_GetCurrentPosition(&startPosition);
    const double cpuBefore = CpuSeconds();
    const auto wallBefore = Clock::now();
    player->PlayerModule_Start();
    // The heard position, sampled every 100 ms, against the wall clock since Start: the
    // lag before the first sound (decoding after the seek, the device's first buffer)
    // and how much the lag varies afterwards (the position's own error).
    std::vector<double> lagsMs;
    while (Clock::now() - wallBefore < std::chrono::duration<double>(playSeconds)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        double position = 0;
        player->PlayerModule_GetCurrentPosition(&position);
        const double elapsed = std::chrono::duration<double>(Clock::now() - wallBefore).count();
        if (position > startPosition)
            lagsMs.push_back(1000 * (elapsed - (position - startPosition)));
    }
    double endPosition = 0;
    player->PlayerModule_GetCurrentPosition(&endPosition);
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    const double cpu = CpuSeconds() - cpuBefore;
    player->PlayerModule_Stop();
    player->PlayerModule_Close();

    std::printf("play: %.1f s wall, %.3f s CPU = %.2f %% of one core (target < 3 %%)\n", wall, cpu,
                100.0 * cpu / wall);
    std::printf("position advanced %.3f s in %.3f s wall (drift %+.0f ms)\n",
                endPosition - startPosition, wall, 1000 * (endPosition - startPosition - wall));
    if (!lagsMs.empty()) {
        const auto [least, most] = std::minmax_element(lagsMs.begin(), lagsMs.end());
        std::printf(
            "position vs wall clock, sampled every 100 ms: first lag %.0f ms, then "
            "within %.0f ms of it (target < 50 ms)\n",
            lagsMs.front(), std::max(*most - lagsMs.front(), lagsMs.front() - *least));
    }
    for (const int rate : {8000, 44100, 96000})
        std::printf("close while playing at %d Hz: median %.1f ms (target < 30 ms)\n", rate,
                    CloseMs(rate));
    return 0;
}
