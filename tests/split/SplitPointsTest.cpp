#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "engine/split/SplitPoints.h"

namespace tolvane::split {
namespace {

constexpr std::int64_t kSec = 1'000'000;

using Spans = std::vector<std::pair<std::int64_t, std::int64_t>>;

// The parts' [start, end) in order; the last, and only the last, runs to the file's end.
Spans SpansOf(const SplitPlan& plan) {
    Spans spans;
    for (std::size_t i = 0; i < plan.parts.size(); ++i) {
        const SplitPart& part = plan.parts[i];
        EXPECT_EQ(part.toFileEnd, i + 1 == plan.parts.size()) << "part " << i;
        spans.emplace_back(part.startUs, part.endUs);
    }
    return spans;
}

TEST(SplitPoints, PartsLieBetweenThePointsInTimeOrder) {
    const struct {
        std::vector<std::int64_t> points;
        std::int64_t length;
        Spans parts;
    } cases[] = {
        {{2 * kSec}, 5 * kSec, {{0, 2 * kSec}, {2 * kSec, 5 * kSec}}},
        {{3 * kSec, 1 * kSec, 2 * kSec},
         4 * kSec,
         {{0, kSec}, {kSec, 2 * kSec}, {2 * kSec, 3 * kSec}, {3 * kSec, 4 * kSec}}},
        {{1, 4 * kSec - 1}, 4 * kSec, {{0, 1}, {1, 4 * kSec - 1}, {4 * kSec - 1, 4 * kSec}}},
    };
    for (const auto& c : cases) {
        const SplitPlan plan = PartsFromPoints(c.points, c.length);
        ASSERT_TRUE(plan.ok()) << plan.failure.message;
        EXPECT_EQ(SpansOf(plan), c.parts);
    }
}

TEST(SplitPoints, PointsThatMakeNoPartsAreRefused) {
    const struct {
        std::vector<std::int64_t> points;
        std::int64_t length;
        PlanError error;
    } cases[] = {
        {{}, 5 * kSec, PlanError::NoPoints},
        {{5 * kSec}, 5 * kSec, PlanError::PointNotInside},
        {{kSec, 9 * kSec}, 5 * kSec, PlanError::PointNotInside},
        {{0, kSec}, 5 * kSec, PlanError::PointNotInside},
        {{-kSec}, 5 * kSec, PlanError::PointNotInside},
        {{2 * kSec, kSec, 2 * kSec}, 5 * kSec, PlanError::EqualPoints},
        {{kSec}, 0, PlanError::UnknownLength},
        {std::vector<std::int64_t>(kMaxParts, kSec), 5 * kSec, PlanError::TooManyParts},
    };
    for (const auto& c : cases) {
        const SplitPlan plan = PartsFromPoints(c.points, c.length);
        EXPECT_EQ(plan.failure.error, c.error) << plan.failure.message;
        EXPECT_TRUE(plan.parts.empty());
        EXPECT_FALSE(plan.failure.message.empty());
    }
}

TEST(SplitPoints, EveryLengthMakesEqualPartsTheLastShorter) {
    const struct {
        std::int64_t every;
        std::int64_t length;
        Spans parts;
    } cases[] = {
        {10 * kSec, 25 * kSec, {{0, 10 * kSec}, {10 * kSec, 20 * kSec}, {20 * kSec, 25 * kSec}}},
        {10 * kSec, 20 * kSec, {{0, 10 * kSec}, {10 * kSec, 20 * kSec}}},
        {10 * kSec, 10 * kSec + 1, {{0, 10 * kSec}, {10 * kSec, 10 * kSec + 1}}},
    };
    for (const auto& c : cases) {
        const SplitPlan plan = PartsEvery(c.every, c.length);
        ASSERT_TRUE(plan.ok()) << plan.failure.message;
        EXPECT_EQ(SpansOf(plan), c.parts);
    }
}

TEST(SplitPoints, EveryLengthThatSplitsNothingIsRefused) {
    const struct {
        std::int64_t every;
        std::int64_t length;
        PlanError error;
    } cases[] = {
        {0, 5 * kSec, PlanError::BadLength},          {-kSec, 5 * kSec, PlanError::BadLength},
        {5 * kSec, 5 * kSec, PlanError::BadLength},   {kSec, 0, PlanError::UnknownLength},
        {1000, 3600 * kSec, PlanError::TooManyParts},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PartsEvery(c.every, c.length).failure.error, c.error);
}

}  // namespace
}  // namespace tolvane::split
