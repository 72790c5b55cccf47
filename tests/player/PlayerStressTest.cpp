// Random sequences of operations: no crash, no hang, and the answers stay in range.

#include "PlayerTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>

using namespace tolvane;
using namespace tolvane::testing;

TEST(PlayerRandomOperations, HundredSequencesRunCleanly) {
    auto& f = PlayerFixtures();
    const std::vector<std::string> files = {f.Wav(0.5).string(),  f.Mp3().string(),
                                            f.Garbage().string(), (f.dir / "none.ogg").string(),
                                            f.Ogg().string(),     ""};
    std::mt19937 random(20261208);
    std::atomic<int> ends{0};
    for (int sequence = 0; sequence < 100; ++sequence) {
        auto player = CreatePlayerModule();
        if (random() % 4 != 0)
            player->PlayerModule_Initialize([&] { ++ends; }, [](int) {}, "text");
        const int steps = 10 + static_cast<int>(random() % 20);
        for (int step = 0; step < steps; ++step) {
            switch (random() % 13) {
                case 0:
                    player->PlayerModule_SetFileName(files[random() % files.size()]);
                    break;
                case 1:
                    player->PlayerModule_Open();
                    break;
                case 2:
                case 3:
                    player->PlayerModule_Start();
                    break;
                case 4:
                    player->PlayerModule_Pause();
                    break;
                case 5:
                    player->PlayerModule_Stop();
                    break;
                case 6:
                    player->PlayerModule_Close();
                    break;
                case 7: {
                    const float values[] = {0.0f, 0.5f, 0.99f, 1.0f, -1.0f, 7.0f, std::nanf("")};
                    player->PlayerModule_SetPos(values[random() % 7]);
                    break;
                }
                case 8:
                    player->PlayerModule_SetCurrentPosition(
                        std::uniform_real_distribution<double>(-1.0, 4.0)(random));
                    break;
                case 9: {
                    int a = 0;
                    int b = 0;
                    player->PlayerModule_GetMideaType(&a, &b);
                    break;
                }
                case 10:
                    SleepMs(static_cast<int>(random() % 30));
                    break;
                default: {
                    const double duration = Duration(*player);
                    const double seconds = CurrentSeconds(*player);
                    const float fraction = Fraction(*player);
                    ASSERT_GE(duration, 0.0);
                    ASSERT_GE(seconds, 0.0);
                    if (duration > 0) {
                        ASSERT_LE(seconds, duration + 1e-6);
                    }
                    ASSERT_GE(fraction, 0.0f);
                    ASSERT_LE(fraction, 1.0f);
                    break;
                }
            }
        }
        if (random() % 2 == 0)
            player->PlayerModule_Close();
    }
}
