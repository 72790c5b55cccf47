// A thousand cuts and joins cancelled at random moments (seeded; the seed is printed,
// and TOLVANE_CANCEL_SEED repeats a run): every job ends, the next one starts cleanly
// on the same record, and what a cancelled job leaves is a valid file.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <random>
#include <thread>

#include "HardeningSupport.h"

namespace tolvane {
namespace {

using namespace tolvane::testing;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 1000;
// Every tenth run is left to finish, to see that the record is fit for a whole job.
constexpr int kUncancelledEvery = 10;
// ffprobe is slow; every so many cancelled outputs are also read with it.
constexpr int kFfprobeEvery = 50;

std::uint32_t Seed() {
    if (const char* text = std::getenv("TOLVANE_CANCEL_SEED"))
        return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
    return std::random_device{}();
}

class CancelStormJob : public ::testing::Test {
  protected:
    TempDir dir;
    Fixtures fixtures{dir.path()};
    MediaJob job;
    MediaJobRunner runner;

    // Starts the filled job, cancels it after `delay` (none: lets it finish), and waits.
    // Returns false when the job did not end within a minute.
    bool RunAndCancel(bool joinMode, std::optional<std::chrono::microseconds> delay) {
        if (runner.StartMediaJob(job, joinMode) != JobStartResult::Started)
            return false;
        const auto start = Clock::now();
        if (delay) {
            std::this_thread::sleep_for(*delay);
            job.cancelRequested = true;
        }
        while (runner.IsRunning()) {
            if (Clock::now() - start > std::chrono::seconds(60))
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        runner.WaitForWorker();
        return true;
    }

    // Microseconds a job of this kind takes when left alone.
    std::int64_t TimeOfAWholeJob(bool joinMode, const fs::path& output) {
        std::int64_t longest = 1;
        for (int i = 0; i < 3; ++i) {
            fs::remove(output);
            const auto start = Clock::now();
            EXPECT_TRUE(RunAndCancel(joinMode, std::nullopt));
            EXPECT_TRUE(JobDone(job));
            longest = std::max<std::int64_t>(
                longest, std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start)
                             .count());
        }
        fs::remove(output);
        return longest;
    }
};

TEST_F(CancelStormJob, ThousandRandomCancelsOfCutsAndJoins) {
    const std::uint32_t seed = Seed();
    std::cout << "cancel storm seed " << seed << " (set TOLVANE_CANCEL_SEED to repeat)\n";
    RecordProperty("seed", std::to_string(seed));
    std::mt19937 random(seed);

    const std::vector<fs::path> cutSources = {fixtures.Mp3(1.0), fixtures.Wav(1.0),
                                              fixtures.Flac(1.0), fixtures.Ogg(1.0)};
    const fs::path joinSource = fixtures.Wav(1.0);
    const fs::path joinSecond = fixtures.Mp3(1.0);
    const fs::path out = dir / "out";
    fs::create_directory(out);

    auto fillCut = [&](std::size_t source, const fs::path& output) {
        PrepareCut(job, cutSources[source], output, 0.1, 0.9);
    };
    auto fillJoin = [&](const fs::path& output) {
        PrepareJoin(job, {joinSource, joinSecond}, output, {1.0, 1.0}, 32000, 22050, 1);
    };
    fillCut(0, out / "calibrate.mp3");
    const std::int64_t cutTime = TimeOfAWholeJob(false, out / "calibrate.mp3");
    fillJoin(out / "calibrate.mp3");
    const std::int64_t joinTime = TimeOfAWholeJob(true, out / "calibrate.mp3");

    int cancelledWithOutput = 0;
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE("run " + std::to_string(run) + " of seed " + std::to_string(seed));
        const bool joinMode = random() % 4 == 0;
        const std::size_t source = random() % cutSources.size();
        const fs::path output =
            out / ("run" + std::to_string(run) +
                   (joinMode ? std::string(".mp3") : cutSources[source].extension().string()));
        if (joinMode)
            fillJoin(output);
        else
            fillCut(source, output);
        const bool letFinish = run % kUncancelledEvery == kUncancelledEvery - 1;
        // From before the start to a little after the usual end.
        const std::int64_t span = (joinMode ? joinTime : cutTime) * 6 / 5;
        const auto delay =
            std::chrono::microseconds(std::uniform_int_distribution<std::int64_t>(0, span)(random));

        ASSERT_TRUE(RunAndCancel(joinMode, letFinish ? std::nullopt : std::optional(delay)))
            << "the job did not end";
        ASSERT_FALSE(JobFailed(job)) << "a cancel is not a failure";
        const int index = job.currentIndex.load();
        ASSERT_GE(index, 0);
        ASSERT_LE(index, job.fileCount);
        if (letFinish) {
            ASSERT_TRUE(JobDone(job)) << "a job after a cancelled one did not finish";
            ASSERT_TRUE(OpensAsMedia(output));
        } else if (fs::exists(output)) {
            if (!OpensAsMedia(output)) {
                const fs::path kept =
                    fs::temp_directory_path() / ("tolvane-broken-" + output.filename().string());
                fs::copy_file(output, kept, fs::copy_options::overwrite_existing);
                FAIL() << "a cancelled " << (joinMode ? "join" : "cut")
                       << " left a broken file, kept as " << kept;
            }
            if (++cancelledWithOutput % kFfprobeEvery == 0) {
                EXPECT_TRUE(Ffprobe(output).ok) << output;
            }
        }
        if (JobDone(job)) {
            ASSERT_TRUE(fs::exists(output));
        }
        fs::remove(output);
    }
    std::cout << "cut " << cutTime << " us, join " << joinTime << " us, " << cancelledWithOutput
              << " cancelled jobs left a file\n";
}

}  // namespace
}  // namespace tolvane
