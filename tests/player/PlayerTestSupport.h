#pragma once
// Shared pieces of the player tests: fixtures made once per test program and small
// readers of the player's state.

#include "MediaFixtures.h"
#include "PlayerModule.h"

#include <chrono>
#include <thread>

namespace tolvane::testing {

// Fixture files for the whole test program, made on first use.
inline Fixtures& PlayerFixtures() {
    static TempDir dir;
    static Fixtures fixtures(dir.path());
    return fixtures;
}

// A two-second MP4 with a video stream and no audio.
inline fs::path VideoOnlyFile() {
    const fs::path path = PlayerFixtures().dir / "video_only.mp4";
    if (!fs::exists(path)) {
        RunFfmpeg("-f lavfi -i testsrc=duration=2:size=160x120:rate=10 -an -c:v mpeg4", path);
    }
    return path;
}

inline double CurrentSeconds(IPlayerModule& player) {
    double seconds = -1;
    player.PlayerModule_GetCurrentPosition(&seconds);
    return seconds;
}

inline float Fraction(IPlayerModule& player) {
    float fraction = -1;
    player.PlayerModule_GetPos(&fraction);
    return fraction;
}

inline double Duration(IPlayerModule& player) {
    double seconds = -1;
    player.PlayerModule_GetDuration(&seconds);
    return seconds;
}

inline void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace tolvane::testing
