// Times the search for silences in a whole file (median of several runs): wall time,
// and the CPU time of the process meanwhile (the search runs on the calling thread).
//
// Usage: tolvane_silence_bench FILE [runs]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchStats.h"
#include "engine/split/SilenceFinder.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tolvane_silence_bench FILE [runs]\n");
        return 2;
    }
    using namespace tolvane;
    const int runs = argc > 2 ? std::max(std::atoi(argv[2]), 1) : 5;
    const std::atomic<bool> stop{false};
    std::vector<double> wall, cpu;
    split::SilenceScan scan;
    for (int i = 0; i < runs; ++i) {
        const double cpuBefore = bench::CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        scan = split::SilenceFinder({}, stop).Scan(argv[1]);
        wall.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        cpu.push_back(bench::CpuSeconds() - cpuBefore);
        if (!scan.ok()) {
            std::fprintf(stderr, "%s\n", scan.failure.message.c_str());
            return 1;
        }
    }
    const split::SplitPlan plan = split::PartsAtSilences(scan, {});
    std::printf(
        "silences of %s (%.1f min): %zu found, %zu parts; median wall %.3f s, CPU %.3f s "
        "(%d runs)\n",
        argv[1], static_cast<double>(scan.lengthUs) / 60e6, scan.silences.size(), plan.parts.size(),
        bench::Median(wall), bench::Median(cpu), runs);
    return 0;
}
