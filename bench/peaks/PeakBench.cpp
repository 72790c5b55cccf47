// Times the waveform peaks of a whole file (median of several runs): wall time, and
// the CPU time of the process meanwhile, which is the reader's single thread.
//
// Usage: tolvane_peak_bench FILE [runs]

#include "BenchStats.h"
#include "engine/probe/PeakReader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using tolvane::bench::CpuSeconds;
using tolvane::bench::Median;

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tolvane_peak_bench FILE [runs]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(std::atoi(argv[2]), 1) : 5;
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        const double cpuBefore = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        tolvane::PeakReader reader(argv[1], 520);
        while (!reader.Done())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        wall.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        cpu.push_back(CpuSeconds() - cpuBefore);
        if (reader.Failed() || reader.Peaks().size() != 520) {
            std::fprintf(stderr, "the peaks of %s could not be read\n", argv[1]);
            return 1;
        }
    }
    std::printf("peaks of %s: median wall %.3f s, CPU %.3f s (%d runs)\n", argv[1], Median(wall),
                Median(cpu), runs);
    return 0;
}
