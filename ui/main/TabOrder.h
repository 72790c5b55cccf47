#pragma once
// The order the Tab key visits controls in: as the eye reads the window, row by row from
// the top and left to right within a row.

#include <QRect>

#include <vector>

namespace tolvane {

// Indices of `places` in reading order. A row starts at the highest place not yet taken
// and holds every place whose vertical centre lies within that first place's height;
// within a row places go left to right (top to bottom at the same left edge).
std::vector<int> ReadingOrder(const std::vector<QRect>& places);

}  // namespace tolvane
