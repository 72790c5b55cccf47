// ProbeMedia on any bytes written to a file, then, when the probe accepts it, a short
// cut (copy mode) and a short join (re-encode mode) of that file. The first byte picks
// the file's extension, since the extension decides the mislabel flags and the cut's
// output container.

#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

extern "C" {
#include <libavutil/log.h>
}

#include "FuzzMediaInput.h"
#include "engine/job/JobBuilders.h"
#include "engine/job/MediaEngine.h"

namespace {

namespace fs = std::filesystem;

// Jobs are cut short: the fuzzer looks for faults, not for long outputs.
constexpr double kCutSeconds = 1.0;
constexpr double kJoinSecondsLimit = 2.0;
constexpr auto kJobTimeLimit = std::chrono::seconds(5);

const fs::path& Folder() {
    return tolvane::fuzz::ScratchFolder("tolvane-fuzz-media");
}

void RemoveOutputs(const fs::path& keep) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(Folder(), ec))
        if (entry.path() != keep)
            fs::remove(entry.path(), ec);
}

// Runs the filled job on the worker thread; cancels a join once it has written enough,
// and anything that runs for too long (the sources are small: a job that long is a hang
// to look at, reported by the fuzzer's own time-out).
void RunJob(tolvane::MediaJobRunner& runner, tolvane::MediaJob& job, bool joinMode) {
    if (runner.StartMediaJob(job, joinMode) != tolvane::JobStartResult::Started)
        std::abort();
    const auto start = std::chrono::steady_clock::now();
    while (runner.IsRunning()) {
        if (joinMode && job.audioTime.load() > kJoinSecondsLimit)
            job.cancelRequested = true;
        if (std::chrono::steady_clock::now() - start > kJobTimeLimit)
            job.cancelRequested = true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    runner.WaitForWorker();
    // A finished job reports every input done or one failed, never something in between.
    const int index = job.currentIndex.load();
    if (index < 0 || index > job.fileCount)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    RemoveOutputs(fs::path());
    const fs::path input = tolvane::fuzz::WriteInput(Folder(), data, size, 1);

    static tolvane::MediaJobRunner runner;
    static tolvane::MediaJob job;
    job.probeFileName = input.string();
    const tolvane::ProbeResult probe = runner.Probe(job);
    if (static_cast<int>(probe) > 0)
        std::abort();  // results are 0 or negative
    if (probe == tolvane::ProbeResult::Usable) {
        const std::string cutExtension = input.extension().string();
        tolvane::PrepareCutJob(job, input.string(), (Folder() / ("cut" + cutExtension)).string(),
                               0.0, kCutSeconds);
        RunJob(runner, job, false);

        job.probeFileName = input.string();
        if (runner.Probe(job) != tolvane::ProbeResult::Usable)
            std::abort();  // the cut must not change its source
        const tolvane::JoinRange range{input.string(), 0.0, kCutSeconds};
        tolvane::PrepareJoinJob(job, {&range, 1}, (Folder() / "join.mp3").string(),
                                {64000, 22050, 1});
        RunJob(runner, job, true);
    }
    RemoveOutputs(input);
    return 0;
}
