#include "engine/copy/LinkStretches.h"

#include <algorithm>
#include <limits>

namespace tolvane {

std::vector<LinkStretch> LinkStretches(const std::vector<OggLink>& links, double startSec,
                                       double endSec) {
    constexpr double kToEnd = std::numeric_limits<double>::infinity();
    std::vector<LinkStretch> stretches;
    double linkStart = 0;
    for (std::size_t i = 0; i < links.size(); ++i) {
        const OggLink& link = links[i];
        const double length =
            link.sampleRate > 0 ? static_cast<double>(link.samples) / link.sampleRate : 0;
        const double linkEnd = linkStart + length;
        // Less than one sample of a link is no part of it.
        const double sample = link.sampleRate > 0 ? 1.0 / link.sampleRate : 0;
        if (startSec < linkEnd - sample && endSec > linkStart + sample) {
            LinkStretch stretch;
            stretch.link = i;
            stretch.startSec = std::max(startSec - linkStart, 0.0);
            stretch.endSec = endSec >= linkEnd ? kToEnd : endSec - linkStart;
            stretches.push_back(stretch);
        }
        linkStart = linkEnd;
    }
    return stretches;
}

}  // namespace tolvane
