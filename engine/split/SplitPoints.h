#pragma once
// Parts from times: between given split points, or of one length each.

#include <cstdint>
#include <vector>

#include "engine/split/SplitPlan.h"

namespace tolvane::split {

// The parts between consecutive points, from the start to the end of a source of
// `lengthUs`. The points are a set: they are taken in time order whatever order they
// were given in (the window adds them as the user jumps about). None, two equal, one at
// or before the start or at or past the end: a failed plan.
SplitPlan PartsFromPoints(std::vector<std::int64_t> pointsUs, std::int64_t lengthUs);

// Parts of `everyUs` each from the start, the last one shorter (or as long, when the
// length divides evenly). A length of zero or less, or not shorter than the source:
// a failed plan.
SplitPlan PartsEvery(std::int64_t everyUs, std::int64_t lengthUs);

}  // namespace tolvane::split
