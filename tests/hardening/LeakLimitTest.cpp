// A thousand probes and cuts in one process: no file descriptor is left open (the
// process runs with only 64 of them) and, in the sanitizer build, no memory leaks.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>

#include "HardeningSupport.h"
#include "engine/naming/OutputNaming.h"

namespace tolvane {
namespace {

using namespace tolvane::testing;

constexpr int kFiles = 1000;
constexpr rlim_t kDescriptorLimit = 64;

// A spread of small files: every format, the awkward ones, and some that are refused.
std::vector<fs::path> MakeInputs(Fixtures& fixtures, const fs::path& dir) {
    std::vector<fs::path> inputs = {
        fixtures.Mp3(0.4),       fixtures.Wav(0.4),    fixtures.Flac(0.4),
        fixtures.Ogg(0.4),       fixtures.M4a(0.4),    fixtures.AacNamedMp3(),
        fixtures.Mp3WithCover(), fixtures.Truncated(), fixtures.Garbage(),
        fixtures.Empty(),        fixtures.VideoFile(), fixtures.UnknownDuration(),
        dir / "missing.mp3",
    };
    return inputs;
}

int ProbeAndCutMany(const std::vector<fs::path>& inputs, const fs::path& out, int* usable) {
    MediaJob job;
    MediaJobRunner runner;
    *usable = 0;
    for (int i = 0; i < kFiles; ++i) {
        const fs::path& input = inputs[static_cast<std::size_t>(i) % inputs.size()];
        job.probeFileName = input.string();
        if (runner.Probe(job) != ProbeResult::Usable)
            continue;
        ++*usable;
        // A mislabelled ".mp3" is cut into its true container, as the commands do.
        const fs::path output =
            out / ("cut" + std::to_string(i) +
                   CutOutputExtension(input.string(), job.mislabeled).value_or(""));
        PrepareCut(job, input, output, 0.1, 0.3);
        if (runner.StartMediaJob(job, false) != JobStartResult::Started)
            return 20;
        runner.WaitForWorker();
        if (!JobDone(job))
            return 21;
        std::error_code ec;
        fs::remove(output, ec);
    }
    return 0;
}

// In a child process, which ends with exit() rather than the helper's _Exit: in the
// sanitizer build the leak checker runs there at the end and fails the child on any leak
// of the thousand rounds.
TEST(LimitOpenFiles, ThousandProbesAndCutsUnderSixtyFourDescriptors) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    const std::vector<fs::path> inputs = MakeInputs(fixtures, dir.path());
    fs::create_directory(dir / "out");
    const auto rounds = [&] {
        const int before = OpenFileDescriptors();
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = kDescriptorLimit;
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
            return 10;
        if (before + 8 > static_cast<int>(kDescriptorLimit))
            return 11;
        int usable = 0;
        const int result = ProbeAndCutMany(inputs, dir / "out", &usable);
        if (result != 0)
            return result;
        if (usable < kFiles / 2)
            return 12;
        return OpenFileDescriptors() == before ? 0 : 13;
    };
    const int status = RunInChild([&]() -> int { std::exit(rounds()); });
    EXPECT_EQ(status, 0) << "10: no limit, 11: too many descriptors at the start, 12: too few "
                            "usable files, 13: descriptors left open, 20/21: a cut failed; "
                            "any other value: the sanitizer found a leak or an error";
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}

// The same in this process, so the leak checker of the sanitizer build sees it at exit
// together with everything else the process did.
TEST(LeakProbeCut, JoinsAndFailedJobsReleaseWhatTheyOpened) {
    TempDir dir;
    Fixtures fixtures(dir.path());
    const std::vector<fs::path> inputs = MakeInputs(fixtures, dir.path());
    fs::create_directory(dir / "out");
    const int before = OpenFileDescriptors();
    MediaJob job;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        // Each input joined after a good one: failures at the second input included.
        const fs::path output = dir / "out" / ("join" + std::to_string(i) + ".mp3");
        PrepareJoin(job, {fixtures.Wav(0.4), inputs[i]}, output, {0.4, 0.4}, 64000, 22050, 1);
        RunJob(job);
        ExpectFailedCleanlyOrValid(job, output);
        // And cut into a folder that does not exist.
        PrepareCut(job, inputs[i], dir / "nowhere" / "cut.mp3", 0.0, 0.2);
        RunJob(job);
        EXPECT_TRUE(JobFailed(job));
    }
    EXPECT_EQ(OpenFileDescriptors(), before);
}

}  // namespace
}  // namespace tolvane
