#include "engine/copy/TimestampRebase.h"

#include <algorithm>

namespace tolvane {

void TimestampRebase::StartInput() {
    awaitsFirst_.assign(end_.size(), true);
    shift_.assign(end_.size(), 0);
}

void TimestampRebase::Shift(AVPacket& packet, int target, std::int64_t origin, bool laterInput) {
    const auto at = static_cast<std::size_t>(target);
    if (awaitsFirst_[at]) {
        awaitsFirst_[at] = false;
        const std::int64_t first = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
        if (laterInput && first != AV_NOPTS_VALUE)
            shift_[at] = first - end_[at];
        else if (origin != AV_NOPTS_VALUE)
            shift_[at] = origin;
        else if (first != AV_NOPTS_VALUE && first > 0)
            shift_[at] = first;
    }
    if (packet.pts != AV_NOPTS_VALUE)
        packet.pts -= shift_[at];
    if (packet.dts != AV_NOPTS_VALUE)
        packet.dts -= shift_[at];
    if (packet.pts != AV_NOPTS_VALUE)
        end_[at] = std::max(end_[at], packet.pts + packet.duration);
}

}  // namespace tolvane
