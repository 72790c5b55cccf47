#pragma once
// What the split tests compare plans by.

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "engine/split/SplitPlan.h"

namespace tolvane::split {

constexpr std::int64_t kSec = 1'000'000;

using Spans = std::vector<std::pair<std::int64_t, std::int64_t>>;

// The parts' [start, end) in order; the last, and only the last, runs to the file's end.
inline Spans SpansOf(const SplitPlan& plan) {
    Spans spans;
    for (std::size_t i = 0; i < plan.parts.size(); ++i) {
        const SplitPart& part = plan.parts[i];
        EXPECT_EQ(part.toFileEnd, i + 1 == plan.parts.size()) << "part " << i;
        spans.emplace_back(part.startUs, part.endUs);
    }
    return spans;
}

}  // namespace tolvane::split
