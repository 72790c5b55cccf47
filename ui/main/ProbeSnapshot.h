#pragma once
// What the probe found out about the cut tab's current file, kept apart from the job
// record so a later probe (a file added to the merge list) cannot change what the cut
// of the current file uses.

#include <cstdint>

#include "engine/job/MislabelFlags.h"

namespace tolvane {

struct ProbeSnapshot {
    std::int64_t startUs = 0, endUs = 0, durationUs = 0;
    std::int32_t sampleRate = 0;
    MislabelFlags mislabeled;
};

}  // namespace tolvane
