// The slider's view of a file's time: zooming keeps the time under the pointer, stays
// inside the file and its narrowest view, and a play head that leaves it turns the page.

#include "TimeView.h"

#include <gtest/gtest.h>

using tolvane::TimeView;

namespace {

constexpr std::int64_t kHourUs = 3600LL * 1000000;

TimeView HourOnTrack() {
    TimeView view;
    view.Reset(kHourUs, 1, 515, 11800);  // the window's track: x 1..516
    return view;
}

TEST(TimeView, ZoomKeepsTheTimeUnderThePointer) {
    const double cases[][2] = {{1, 0.5}, {258, 0.1}, {516, 0.8}, {100, 0.001}, {400, 1.0 / 0.8}};
    for (const auto& [x, factor] : cases) {
        TimeView view = HourOnTrack();
        view.ZoomAround(300, 0.01);  // zoomed in somewhere first, so wider is possible
        const double before = view.PixelToTime(x);
        view.ZoomAround(x, factor);
        EXPECT_NEAR(view.PixelToTime(x), before, 1.0) << x << " " << factor;
    }
}

TEST(TimeView, StaysInsideTheFileAndItsNarrowestView) {
    TimeView view = HourOnTrack();
    view.ZoomAround(516, 1e-9);
    EXPECT_DOUBLE_EQ(view.SpanUs(), 11800);
    EXPECT_DOUBLE_EQ(view.ToUs(), double(kHourUs));  // pinned to the end, not past it
    view.ZoomAround(1, 1e9);
    EXPECT_FALSE(view.Zoomed());
    EXPECT_DOUBLE_EQ(view.FromUs(), 0);
    view.Show(-5e6, 10e6);
    EXPECT_DOUBLE_EQ(view.FromUs(), 0);
    EXPECT_DOUBLE_EQ(view.SpanUs(), 15e6);
}

TEST(TimeView, APlayHeadOutsideTheViewTurnsThePage) {
    TimeView view = HourOnTrack();
    view.Show(0, 10e6);
    EXPECT_FALSE(view.Follow(5e6));
    EXPECT_TRUE(view.Follow(12e6));
    EXPECT_LT(view.FromUs(), 12e6);
    EXPECT_GT(view.ToUs(), 12e6 + 8e6);
    view.Fit();
    EXPECT_FALSE(view.Follow(30e6));  // the whole file shows: nothing to follow
}

}  // namespace
