// The player must leave SIGINT and SIGTERM alone: SDL's own handlers would turn them into
// a quit event nobody reads, and the program could then only be ended with SIGKILL. Each
// case runs in a child that starts with both signals at their defaults, opens and plays a
// real file, looks at the dispositions, and then sends itself the signal, which must end
// it.

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

#include "ChildProcess.h"
#include "PlayerModule.h"
#include "PlayerTestSupport.h"

using namespace tolvane;
using namespace tolvane::testing;

namespace {

enum ChildVerdict {
    kOpenFailed = 10,
    kSigintCaught = 11,
    kSigtermCaught = 12,
    kSignalDidNotEnd = 13,
};

bool AtDefault(int signalNumber) {
    struct sigaction current {};
    return sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_DFL;
}

struct SignalCase {
    const char* name;
    fs::path (*file)();
    int signal;
};

class PlayerLeavesSignalsAlone : public ::testing::TestWithParam<SignalCase> {};

TEST_P(PlayerLeavesSignalsAlone, SignalsStayAtTheirDefaultsAndEndTheProcess) {
    const SignalCase& c = GetParam();
    const fs::path file = c.file();
    const ChildEnd end = RunInChildProcess([&] {
        for (int signalNumber : {SIGINT, SIGTERM})
            std::signal(signalNumber, SIG_DFL);
        std::unique_ptr<IPlayerModule> player = CreatePlayerModule();
        player->PlayerModule_Initialize([] {}, [](int) {}, "");
        player->PlayerModule_SetFileName(file.string());
        if (player->PlayerModule_Open() != 0)
            return int(kOpenFailed);
        player->PlayerModule_Start();
        SleepMs(100);  // let the device's thread run
        if (!AtDefault(SIGINT))
            return int(kSigintCaught);
        if (!AtDefault(SIGTERM))
            return int(kSigtermCaught);
        kill(getpid(), c.signal);
        // The signal is delivered before kill returns when it is not blocked; a handler
        // that swallowed it lets the child go on to here.
        SleepMs(500);
        return int(kSignalDidNotEnd);
    });
    EXPECT_FALSE(end.exited) << end.Describe()
                             << " (10: Open failed, 11: SIGINT caught, 12: SIGTERM caught, "
                                "13: the signal did not end the child)";
    EXPECT_EQ(end.signal, c.signal) << end.Describe();
}

INSTANTIATE_TEST_SUITE_P(
    Files, PlayerLeavesSignalsAlone,
    ::testing::Values(SignalCase{"WavSigterm", [] { return PlayerFixtures().Wav(); }, SIGTERM},
                      SignalCase{"WavSigint", [] { return PlayerFixtures().Wav(); }, SIGINT},
                      SignalCase{"Mp3Sigterm", [] { return PlayerFixtures().Mp3(); }, SIGTERM},
                      SignalCase{"FlacSigint", [] { return PlayerFixtures().Flac(); }, SIGINT}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
