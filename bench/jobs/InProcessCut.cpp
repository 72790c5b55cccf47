// Runs the engine's copy cut in-process, as the window does (MediaJobRunner, one worker
// thread), several times, and prints the median wall and CPU time per job. Without a
// file it cuts 10 minutes from 25:00 of a 60-minute 44.1 kHz stereo 128 kbit/s MP3,
// made with ffmpeg on first use and kept in /tmp.
//
// Usage: tolvane_cut_bench [runs] [FILE [start-seconds end-seconds]]

#include "BenchStats.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "engine/job/JobBuilders.h"
#include "engine/job/MediaEngine.h"

namespace {

using tolvane::bench::CpuSeconds;
using tolvane::bench::Median;

namespace fs = std::filesystem;

// A tone gliding under some noise, so the encoder has real work and frames vary.
fs::path DefaultSource() {
    const fs::path path = "/tmp/tolvane-bench-cut-60min.mp3";
    if (fs::exists(path) && fs::file_size(path) > 0)
        return path;
    std::fprintf(stderr, "making %s ...\n", path.c_str());
    const fs::path partial = path.string() + ".part.mp3";
    const std::string command =
        "ffmpeg -nostdin -y -hide_banner -loglevel error -f lavfi -i "
        "\"aevalsrc=0.35*sin(2*PI*(220+110*sin(2*PI*t/9))*t)+0.05*(2*random(0)-1)|"
        "0.35*sin(2*PI*(330+90*sin(2*PI*t/11))*t)+0.05*(2*random(1)-1):s=44100:d=3600\" "
        "-c:a libmp3lame -b:a 128k " +
        partial.string();
    if (std::system(command.c_str()) != 0)
        return {};
    fs::rename(partial, path);
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const fs::path source = argc > 2 ? fs::path(argv[2]) : DefaultSource();
    const double start = argc > 4 ? std::atof(argv[3]) : 1500.0;
    const double end = argc > 4 ? std::atof(argv[4]) : 2100.0;
    if (source.empty() || !fs::exists(source)) {
        std::fprintf(stderr, "no source file\n");
        return 2;
    }
    av_log_set_level(AV_LOG_ERROR);
    const fs::path out =
        fs::temp_directory_path() /
        ("tolvane-bench-cut-out" + std::to_string(getpid()) + source.extension().string());

    using Clock = std::chrono::steady_clock;
    tolvane::MediaJobRunner runner;
    std::vector<double> wallMs, cpuMs;
    for (int i = 0; i < runs; ++i) {
        fs::remove(out);
        tolvane::MediaJob job;
        tolvane::PrepareCutJob(job, source.string(), out.string(), start, end);
        const double cpu0 = CpuSeconds();
        const auto wall0 = Clock::now();
        runner.StartMediaJob(job, false);
        runner.WaitForWorker();
        wallMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - wall0).count());
        cpuMs.push_back((CpuSeconds() - cpu0) * 1000);
        if (job.fileStatus[0] != tolvane::kInputDone) {
            std::fprintf(stderr, "the cut failed (%d)\n", job.failureCode.load());
            return 1;
        }
    }
    std::printf(
        "cut %.3f-%.3f s of %s: median of %d jobs: %.2f ms wall, %.2f ms cpu (%lld bytes)\n", start,
        end, source.c_str(), runs, Median(wallMs), Median(cpuMs),
        static_cast<long long>(fs::file_size(out)));
    if (const char* keep = std::getenv("TOLVANE_BENCH_KEEP"); keep != nullptr && *keep != '\0')
        fs::copy_file(out, keep, fs::copy_options::overwrite_existing);
    fs::remove(out);
    return 0;
}
