// The end callback: once, from the player's own thread, shortly after the end is
// heard, and free to stop and close the player.

#include "PlayerTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>

using namespace tolvane;
using namespace tolvane::testing;
using namespace std::chrono_literals;

TEST(PlayerEndCallback, FiresOnceFromAnotherThreadShortlyAfterTheEnd) {
    std::atomic<int> calls{0};
    std::atomic<bool> otherThread{false};
    const auto testThread = std::this_thread::get_id();
    auto player = ClockOnlyPlayer();
    player->PlayerModule_Initialize(
        [&] {
            otherThread = std::this_thread::get_id() != testThread;
            ++calls;
        },
        [](int) {}, "preview");
    player->PlayerModule_SetFileName(PlayerFixtures().Wav().string());
    ASSERT_NE(player->PlayerModule_Open(), -1);
    player->PlayerModule_SetCurrentPosition(2.5);
    const auto start = std::chrono::steady_clock::now();
    player->PlayerModule_Start();
    ASSERT_TRUE(WaitUntil([&] { return calls > 0; }));
    const double after =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(after, 0.35);  // not before the last half second was heard
    EXPECT_TRUE(otherThread);
    EXPECT_NEAR(CurrentSeconds(*player), Duration(*player), 0.05);
    SleepMs(500);
    EXPECT_EQ(calls.load(), 1);
}

TEST(PlayerEndCallback, DoesNotFireWhilePausedOrAfterStop) {
    std::atomic<int> calls{0};
    auto player = ClockOnlyPlayer();
    player->PlayerModule_Initialize([&] { ++calls; }, [](int) {}, "");
    player->PlayerModule_SetFileName(PlayerFixtures().Wav().string());
    ASSERT_NE(player->PlayerModule_Open(), -1);
    player->PlayerModule_SetCurrentPosition(2.8);
    player->PlayerModule_Start();
    ASSERT_TRUE(WaitUntil([&] { return CurrentSeconds(*player) > 2.8; }));
    player->PlayerModule_Pause();
    SleepMs(600);
    EXPECT_EQ(calls.load(), 0);
    player->PlayerModule_Stop();
    SleepMs(300);
    EXPECT_EQ(calls.load(), 0);
}

TEST(PlayerEndCallback, CanStopAndCloseFromWithinTheCallback) {
    std::atomic<bool> returned{false};
    auto player = ClockOnlyPlayer();
    IPlayerModule* raw = player.get();
    player->PlayerModule_Initialize(
        [&] {
            raw->PlayerModule_Stop();
            raw->PlayerModule_Close();
            returned = true;
        },
        [](int) {}, "");
    player->PlayerModule_SetFileName(PlayerFixtures().Wav().string());
    ASSERT_NE(player->PlayerModule_Open(), -1);
    player->PlayerModule_SetCurrentPosition(2.7);
    player->PlayerModule_Start();
    ASSERT_TRUE(WaitUntil([&] { return returned.load(); }));
    EXPECT_EQ(Duration(*player), 0.0);  // closed
}

TEST(PlayerEndCallback, WaitsWhileAnotherThreadStopsAndCloses) {
    // The window answers the callback with a blocking call to its own thread, which
    // then stops and closes the player while the callback waits.
    std::mutex mutex;
    std::condition_variable wake;
    bool callbackWaiting = false;
    bool stopDone = false;
    std::atomic<bool> returned{false};
    auto player = ClockOnlyPlayer();
    player->PlayerModule_Initialize(
        [&] {
            std::unique_lock lock(mutex);
            callbackWaiting = true;
            wake.notify_all();
            wake.wait(lock, [&] { return stopDone; });
            returned = true;
        },
        [](int) {}, "");
    player->PlayerModule_SetFileName(PlayerFixtures().Mp3().string());
    ASSERT_NE(player->PlayerModule_Open(), -1);
    player->PlayerModule_SetCurrentPosition(2.7);
    player->PlayerModule_Start();
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(wake.wait_for(lock, 10s, [&] { return callbackWaiting; }));
    }
    auto stopper = std::async(std::launch::async, [&] {
        player->PlayerModule_Stop();
        player->PlayerModule_Close();
    });
    ASSERT_EQ(stopper.wait_for(10s), std::future_status::ready);
    {
        std::lock_guard lock(mutex);
        stopDone = true;
    }
    wake.notify_all();
    EXPECT_TRUE(WaitUntil([&] { return returned.load(); }));
    // The player is reusable afterwards.
    player->PlayerModule_SetFileName(PlayerFixtures().Wav().string());
    EXPECT_NE(player->PlayerModule_Open(), -1);
}

TEST(PlayerEndCallback, FiresAgainAfterReplayingTheEnd) {
    std::atomic<int> calls{0};
    auto player = ClockOnlyPlayer();
    player->PlayerModule_Initialize([&] { ++calls; }, [](int) {}, "");
    player->PlayerModule_SetFileName(PlayerFixtures().Wav().string());
    ASSERT_NE(player->PlayerModule_Open(), -1);
    player->PlayerModule_SetCurrentPosition(2.8);
    player->PlayerModule_Start();
    ASSERT_TRUE(WaitUntil([&] { return calls == 1; }));
    player->PlayerModule_SetCurrentPosition(2.8);
    ASSERT_TRUE(WaitUntil([&] { return calls == 2; }));
    SleepMs(300);
    EXPECT_EQ(calls.load(), 2);
}

TEST(PlayerEndCallback, DestroyingThePlayerWhileTheCallbackIsDueDoesNotHang) {
    auto done = std::async(std::launch::async, [] {
        for (int i = 0; i < 5; ++i) {
            auto player = ClockOnlyPlayer();
            player->PlayerModule_Initialize([] { SleepMs(20); }, [](int) {}, "");
            player->PlayerModule_SetFileName(PlayerFixtures().Wav().string());
            player->PlayerModule_Open();
            player->PlayerModule_SetCurrentPosition(2.95);
            player->PlayerModule_Start();
            SleepMs(40 * i);
        }
    });
    EXPECT_EQ(done.wait_for(20s), std::future_status::ready);
}
