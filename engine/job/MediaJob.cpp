#include "engine/job/MediaJob.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tolvane {

std::int32_t JoinTotalLengthSec(std::span<const double> startSec, std::span<const double> endSec) {
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    std::int32_t total = 0;
    const std::size_t count = std::min(startSec.size(), endSec.size());
    for (std::size_t i = 0; i < count; ++i) {
        const double sum = std::trunc(static_cast<double>(total) + endSec[i] - startSec[i]);
        if (std::isnan(sum))
            continue;
        total = static_cast<std::int32_t>(std::clamp(sum, lowest, highest));
    }
    return total;
}

}  // namespace tolvane
