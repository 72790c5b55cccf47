#pragma once
// What every benchmark here reports: the process's CPU time and medians of runs.

#include <ctime>

#include <algorithm>
#include <vector>

namespace tolvane::bench {

// CPU seconds the whole process has used, all threads.
inline double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

inline double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace tolvane::bench
