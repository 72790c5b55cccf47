// Times the zoomed waveform's columns: from asking for a view (a turn of the wheel) to
// its final columns, at five zoom levels, each at several places of the file, once the
// overview has been read and while it is still being read.
//
// Usage: tolvane_zoom_bench FILE [places]

#include "BenchStats.h"
#include "engine/cut/MarkStep.h"
#include "engine/probe/AudioWindow.h"
#include "engine/probe/PeakWindows.h"
#include "engine/probe/QuietPoint.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using tolvane::PeakSpan;
using tolvane::PeakWindows;
using tolvane::bench::Median;

constexpr int kColumns = 520;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Asks as the window does (again every few milliseconds) until the answer is final.
double TimeToFinal(PeakWindows& windows, const PeakSpan& span) {
    const auto start = Clock::now();
    while (!windows.Peaks(span).final)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return Seconds(start);
}

// `phase` in [0, 1) picks the places, spread over the file: a new phase, places no view
// asked for before (none comes from the cache).
void Level(PeakWindows& windows, double lengthUs, double viewUs, int places, double phase,
           const char* when) {
    std::vector<double> times, cpu;
    for (int i = 0; i < places; ++i) {
        const double from = (lengthUs - viewUs) * (i + phase) / places;
        const PeakSpan span{static_cast<std::int64_t>(from),
                            static_cast<std::int64_t>(from + viewUs), kColumns};
        const double cpuBefore = tolvane::bench::CpuSeconds();
        times.push_back(TimeToFinal(windows, span));
        cpu.push_back(tolvane::bench::CpuSeconds() - cpuBefore);
    }
    std::printf(
        "  view %10.3f s  %-16s median %6.1f ms, worst %6.1f ms, CPU median %6.1f ms "
        "(%d places)\n",
        viewUs / 1e6, when, Median(times) * 1e3,
        *std::max_element(times.begin(), times.end()) * 1e3, Median(cpu) * 1e3, places);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tolvane_zoom_bench FILE [places]\n");
        return 2;
    }
    const int places = argc > 2 ? std::max(std::atoi(argv[2]), 1) : 7;
    // The five zoom levels: a sixth, a sixtieth ... of an hour, and about a sample a pixel.
    const double levels[] = {600e6, 60e6, 10e6, 1e6, kColumns * 1e6 / 44100};

    {
        PeakWindows windows(argv[1]);
        while (windows.LengthUs() == 0 && !windows.Failed())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (windows.Failed()) {
            std::fprintf(stderr, "%s cannot be read\n", argv[1]);
            return 1;
        }
        const double length = double(windows.LengthUs());
        std::printf("%s, %.0f s; while the overview is read:\n", argv[1], length / 1e6);
        for (const double view : {10e6, 1e6, levels[4]})
            Level(windows, length, view, places, 0.37, "(overview busy)");
        const auto start = Clock::now();
        TimeToFinal(windows, {0, static_cast<std::int64_t>(length), kColumns});
        std::printf("overview read in %.2f s after those; then:\n", Seconds(start));
        for (const double view : levels)
            Level(windows, length, view, places, 0.71, "");
    }
    // What the window does on its own thread when a mark is set with snapping on, and
    // once per file for the nudge keys.
    std::vector<double> snaps;
    tolvane::AudioWindowSource source(argv[1]);  // kept open, as the window keeps it
    for (int i = 0; i < places; ++i) {
        const auto start = Clock::now();
        tolvane::FindQuietPoint(source, {std::int64_t(3600e6 * (i + 0.5) / places), 50000, 10000});
        snaps.push_back(Seconds(start));
    }
    const auto stepStart = Clock::now();
    const std::int64_t step = tolvane::MarkStepUs(argv[1]);
    std::printf(
        "quiet point search: median %.1f ms, worst %.1f ms; mark step %lld us found in "
        "%.1f ms\n",
        Median(snaps) * 1e3, *std::max_element(snaps.begin(), snaps.end()) * 1e3,
        static_cast<long long>(step), Seconds(stepStart) * 1e3);
    return 0;
}
