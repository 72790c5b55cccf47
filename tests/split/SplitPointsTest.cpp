#include <gtest/gtest.h>

#include <vector>

#include "SplitTestSupport.h"
#include "engine/split/SplitPoints.h"

namespace tolvane::split {
namespace {

TEST(SplitPoints, PartsLieBetweenThePointsInTimeOrderOrEveryLength) {
    const std::int64_t s = kSec;
    const struct {
        SplitPlan plan;
        Spans parts;
    } cases[] = {
        {PartsFromPoints({2 * s}, 5 * s), {{0, 2 * s}, {2 * s, 5 * s}}},
        {PartsFromPoints({3 * s, s, 2 * s}, 4 * s),
         {{0, s}, {s, 2 * s}, {2 * s, 3 * s}, {3 * s, 4 * s}}},
        {PartsFromPoints({1, 4 * s - 1}, 4 * s), {{0, 1}, {1, 4 * s - 1}, {4 * s - 1, 4 * s}}},
        {PartsEvery(10 * s, 25 * s), {{0, 10 * s}, {10 * s, 20 * s}, {20 * s, 25 * s}}},
        {PartsEvery(10 * s, 20 * s), {{0, 10 * s}, {10 * s, 20 * s}}},
        {PartsEvery(10 * s, 10 * s + 1), {{0, 10 * s}, {10 * s, 10 * s + 1}}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.plan.ok()) << c.plan.failure.message;
        EXPECT_EQ(SpansOf(c.plan), c.parts);
    }
}

TEST(SplitPoints, TimesThatMakeNoPartsAreRefused) {
    const std::int64_t s = kSec;
    const struct {
        SplitPlan plan;
        PlanError error;
    } cases[] = {
        {PartsFromPoints({}, 5 * s), PlanError::NoPoints},
        {PartsFromPoints({5 * s}, 5 * s), PlanError::PointNotInside},
        {PartsFromPoints({s, 9 * s}, 5 * s), PlanError::PointNotInside},
        {PartsFromPoints({0, s}, 5 * s), PlanError::PointNotInside},
        {PartsFromPoints({-s}, 5 * s), PlanError::PointNotInside},
        {PartsFromPoints({2 * s, s, 2 * s}, 5 * s), PlanError::EqualPoints},
        {PartsFromPoints({s}, 0), PlanError::UnknownLength},
        {PartsFromPoints(std::vector<std::int64_t>(kMaxParts, s), 5 * s), PlanError::TooManyParts},
        {PartsEvery(0, 5 * s), PlanError::BadLength},
        {PartsEvery(-s, 5 * s), PlanError::BadLength},
        {PartsEvery(5 * s, 5 * s), PlanError::BadLength},
        {PartsEvery(s, 0), PlanError::UnknownLength},
        {PartsEvery(1000, 3600 * s), PlanError::TooManyParts},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.plan.failure.error, c.error) << c.plan.failure.message;
        EXPECT_TRUE(c.plan.parts.empty());
        EXPECT_FALSE(c.plan.failure.message.empty());
    }
}

}  // namespace
}  // namespace tolvane::split
