#pragma once
// A stretch of a chained Ogg file's timeline as stretches of its links: each link is
// cut as a file of its own, with its own exact start and end.

#include <cstddef>
#include <vector>

#include "engine/probe/OggLength.h"

namespace tolvane {

struct LinkStretch {
    std::size_t link = 0;
    double startSec = 0;  // within the link
    double endSec = 0;    // within the link; infinity: to its end
};

// The stretches of `links` that [startSec, endSec) of the file covers, in order; an end
// of infinity runs to the file's end. A stretch that takes a link from its start
// starts at 0, one that takes it to its end ends at infinity, and a link the stretch
// only touches at an edge is left out.
std::vector<LinkStretch> LinkStretches(const std::vector<OggLink>& links, double startSec,
                                       double endSec);

}  // namespace tolvane
