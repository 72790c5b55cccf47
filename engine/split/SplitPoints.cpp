#include "engine/split/SplitPoints.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace tolvane::split {

namespace {

std::string Seconds(std::int64_t us) {
    char text[48];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(us) / 1e6);
    return text;
}

// Parts between 0, the sorted inner points and the length.
SplitPlan Between(const std::vector<std::int64_t>& inner, std::int64_t lengthUs) {
    SplitPlan plan;
    std::int64_t start = 0;
    for (std::int64_t point : inner) {
        plan.parts.push_back({start, point, false, {}, {}});
        start = point;
    }
    plan.parts.push_back({start, lengthUs, true, {}, {}});
    return plan;
}

}  // namespace

SplitPlan PartsFromPoints(std::vector<std::int64_t> pointsUs, std::int64_t lengthUs) {
    if (lengthUs <= 0)
        return SplitPlan::Failed(PlanError::UnknownLength, "the source's length is not known");
    if (pointsUs.empty())
        return SplitPlan::Failed(PlanError::NoPoints, "no split point was given");
    if (pointsUs.size() >= kMaxParts)
        return SplitPlan::Failed(PlanError::TooManyParts,
                                 "more than " + std::to_string(kMaxParts) + " parts");
    std::sort(pointsUs.begin(), pointsUs.end());
    if (pointsUs.front() <= 0)
        return SplitPlan::Failed(
            PlanError::PointNotInside,
            "a split point at " + Seconds(pointsUs.front()) + " is not after the start");
    if (pointsUs.back() >= lengthUs)
        return SplitPlan::Failed(PlanError::PointNotInside,
                                 "a split point at " + Seconds(pointsUs.back()) +
                                     " is at or past the end (" + Seconds(lengthUs) + ")");
    const auto twin = std::adjacent_find(pointsUs.begin(), pointsUs.end());
    if (twin != pointsUs.end())
        return SplitPlan::Failed(PlanError::EqualPoints, "two split points at " + Seconds(*twin));
    return Between(pointsUs, lengthUs);
}

SplitPlan PartsEvery(std::int64_t everyUs, std::int64_t lengthUs) {
    if (lengthUs <= 0)
        return SplitPlan::Failed(PlanError::UnknownLength, "the source's length is not known");
    if (everyUs <= 0 || everyUs >= lengthUs)
        return SplitPlan::Failed(PlanError::BadLength, "a part length of " + Seconds(everyUs) +
                                                           " does not split a source of " +
                                                           Seconds(lengthUs));
    if ((lengthUs - 1) / everyUs + 1 > static_cast<std::int64_t>(kMaxParts))
        return SplitPlan::Failed(PlanError::TooManyParts,
                                 "more than " + std::to_string(kMaxParts) + " parts");
    std::vector<std::int64_t> inner;
    for (std::int64_t point = everyUs; point < lengthUs; point += everyUs)
        inner.push_back(point);
    return Between(inner, lengthUs);
}

}  // namespace tolvane::split
