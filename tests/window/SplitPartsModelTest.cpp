// The split tab's parts without the window: parts from split points and lengths, typed
// times that keep neighbours meeting, typed names, and the slider's marks.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "SplitPartsModel.h"
#include "engine/split/SplitPoints.h"

namespace tolvane::testing {
namespace {

constexpr std::int64_t kS = 1'000'000;  // a second in microseconds

struct Span {
    std::int64_t start;
    std::int64_t end;
    bool operator==(const Span&) const = default;
};

std::vector<Span> Spans(const SplitPartsModel& model) {
    std::vector<Span> spans;
    for (const SplitRow& row : model.rows())
        spans.push_back({row.part.startUs, row.part.endUs});
    return spans;
}

SplitPartsModel TenSeconds() {
    SplitPartsModel model;
    model.SetSource("song", ".mp3", 10 * kS);
    return model;
}

struct PointsCase {
    const char* name;
    std::vector<std::int64_t> points;  // added in this order
    split::PlanError lastError;
    std::vector<Span> parts;
};

TEST(SplitPartsModel, SplitPointsAddedWhileListeningMakeOrderedParts) {
    const PointsCase cases[] = {
        {"one point halves the file",
         {4 * kS},
         split::PlanError::None,
         {{0, 4 * kS}, {4 * kS, 10 * kS}}},
        {"points out of order",
         {7 * kS, 2 * kS},
         split::PlanError::None,
         {{0, 2 * kS}, {2 * kS, 7 * kS}, {7 * kS, 10 * kS}}},
        {"a point on a seam",
         {5 * kS, 5 * kS},
         split::PlanError::EqualPoints,
         {{0, 5 * kS}, {5 * kS, 10 * kS}}},
        {"at the start", {0}, split::PlanError::PointNotInside, {}},
        {"at the end",
         {3 * kS, 10 * kS},
         split::PlanError::PointNotInside,
         {{0, 3 * kS}, {3 * kS, 10 * kS}}},
        {"past the end",
         {3 * kS, 11 * kS},
         split::PlanError::PointNotInside,
         {{0, 3 * kS}, {3 * kS, 10 * kS}}},
    };
    for (const PointsCase& c : cases) {
        SplitPartsModel model = TenSeconds();
        split::PlanError last = split::PlanError::None;
        for (const std::int64_t point : c.points)
            last = model.AddSplitPoint(point);
        EXPECT_EQ(last, c.lastError) << c.name;
        EXPECT_EQ(Spans(model), c.parts) << c.name;
        if (!model.rows().empty()) {
            EXPECT_TRUE(model.rows().back().part.toFileEnd) << c.name;
            EXPECT_FALSE(model.rows().front().part.toFileEnd && model.rows().size() > 1) << c.name;
        }
    }
}

TEST(SplitPartsModel, EveryLengthGivesEqualPartsNamedInOrder) {
    const struct {
        std::int64_t every;
        std::vector<Span> parts;
        split::PlanError error;
    } cases[] = {
        {4 * kS, {{0, 4 * kS}, {4 * kS, 8 * kS}, {8 * kS, 10 * kS}}, split::PlanError::None},
        {5 * kS, {{0, 5 * kS}, {5 * kS, 10 * kS}}, split::PlanError::None},
        {10 * kS, {}, split::PlanError::BadLength},
        {0, {}, split::PlanError::BadLength},
    };
    for (const auto& c : cases) {
        SplitPartsModel model = TenSeconds();
        const split::PlanFailure failure = model.Take(split::PartsEvery(c.every, model.lengthUs()),
                                                      split::PartNameStyle::Numbered);
        EXPECT_EQ(failure.error, c.error) << c.every;
        EXPECT_EQ(Spans(model), c.parts) << c.every;
    }
    SplitPartsModel model = TenSeconds();
    model.Take(split::PartsEvery(4 * kS, model.lengthUs()), split::PartNameStyle::Numbered);
    ASSERT_EQ(model.rows().size(), 3u);
    EXPECT_EQ(model.rows()[0].part.name, "song (01).mp3");
    EXPECT_EQ(model.rows()[2].part.name, "song (03).mp3");
    EXPECT_EQ(model.Marks(), (std::vector<std::int64_t>{4 * kS, 8 * kS}));
}

struct TimeCase {
    const char* name;
    bool start;  // the start (or the end) of `row` is typed
    std::size_t row;
    std::int64_t us;
    PartTimeProblem problem;
    std::vector<Span> parts;  // from {0,4} {4,7} {7,10}
};

TEST(SplitPartsModel, TypedTimesMoveSeamsAndRefuseOverlaps) {
    const std::vector<Span> initial{{0, 4 * kS}, {4 * kS, 7 * kS}, {7 * kS, 10 * kS}};
    const TimeCase cases[] = {
        {"start moves the seam",
         true,
         1,
         3 * kS,
         PartTimeProblem::None,
         {{0, 3 * kS}, {3 * kS, 7 * kS}, {7 * kS, 10 * kS}}},
        {"end moves the seam",
         false,
         1,
         8 * kS,
         PartTimeProblem::None,
         {{0, 4 * kS}, {4 * kS, 8 * kS}, {8 * kS, 10 * kS}}},
        {"first start leaves a head",
         true,
         0,
         1 * kS,
         PartTimeProblem::None,
         {{1 * kS, 4 * kS}, {4 * kS, 7 * kS}, {7 * kS, 10 * kS}}},
        {"start swallows the part before", true, 1, 0, PartTimeProblem::Overlap, initial},
        {"end swallows the part after", false, 1, 10 * kS, PartTimeProblem::Overlap, initial},
        {"start at the end", true, 1, 7 * kS, PartTimeProblem::EmptyPart, initial},
        {"end before the start", false, 1, 3 * kS, PartTimeProblem::EmptyPart, initial},
        {"end past the file", false, 2, 11 * kS, PartTimeProblem::OutsideFile, initial},
        {"negative start", true, 0, -kS, PartTimeProblem::OutsideFile, initial},
    };
    for (const TimeCase& c : cases) {
        SplitPartsModel model = TenSeconds();
        model.Take(split::PartsFromPoints({4 * kS, 7 * kS}, 10 * kS),
                   split::PartNameStyle::Numbered);
        const PartTimeProblem problem =
            c.start ? model.SetStart(c.row, c.us) : model.SetEnd(c.row, c.us);
        EXPECT_EQ(problem, c.problem) << c.name;
        EXPECT_EQ(Spans(model), c.parts) << c.name;
    }
}

TEST(SplitPartsModel, TypedNamesSurviveRenumberingAndKeepTheExtension) {
    SplitPartsModel model = TenSeconds();
    model.AddSplitPoint(5 * kS);
    model.SetName(1, "  Finale ");
    EXPECT_EQ(model.rows()[1].part.name, "Finale.mp3");
    model.AddSplitPoint(2 * kS);  // the typed row is now the third
    EXPECT_EQ(model.rows()[1].part.name, "song (02).mp3");
    EXPECT_EQ(model.rows()[2].part.name, "Finale.mp3");
    model.SetName(2, "Coda.MP3");
    EXPECT_EQ(model.rows()[2].part.name, "Coda.MP3");
    model.SetName(2, "");
    EXPECT_EQ(model.rows()[2].part.name, "song (03).mp3");
}

TEST(SplitPartsModel, TicksChooseThePartsToWrite) {
    SplitPartsModel model = TenSeconds();
    model.Take(split::PartsEvery(2 * kS, model.lengthUs()), split::PartNameStyle::Numbered);
    model.SetChecked(1, false);
    model.SetChecked(3, false);
    EXPECT_EQ(model.CheckedRows(), (std::vector<std::size_t>{0, 2, 4}));
    model.SetSource("other", ".wav", 3 * kS);
    EXPECT_TRUE(model.rows().empty()) << "a new file starts without parts";
}

}  // namespace
}  // namespace tolvane::testing
