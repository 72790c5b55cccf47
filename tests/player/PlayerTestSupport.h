#pragma once
// Shared pieces of the player tests: fixtures made once per test program and small
// readers of the player's state.

#include "MediaFixtures.h"
#include "PlayerModule.h"
#include "PreviewPlayer.h"

#include <chrono>
#include <memory>
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
    if (!fs::exists(path))
        RunFfmpeg("-f lavfi -i testsrc=duration=2:size=160x120:rate=10 -an -c:v mpeg4", path);
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

// For the checks that something does not happen: there is no event to wait for.
inline void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Waits for `done` and returns as soon as it holds. The limit only ends a wait that a
// broken player would never end, so a slow machine makes no test fail.
template <typename Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        SleepMs(2);
    }
    return true;
}

// A player on the clock output: positions advance as on a device, without one.
inline std::unique_ptr<IPlayerModule> ClockOnlyPlayer() {
    return std::make_unique<player::PreviewPlayer>(player::PreviewPlayer::Output::ClockOnly);
}

// Seconds since it was made: what a player can at most have played in that time.
class Stopwatch {
  public:
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace tolvane::testing
