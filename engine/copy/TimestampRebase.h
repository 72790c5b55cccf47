#pragma once
// Moves copied packets onto the output's timeline, per output stream: a cut starts at
// zero (at its edges' origin, or at its first packet), and each later input of a copy
// join continues where the one before it ended.

#include <cstdint>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tolvane {

class TimestampRebase {
  public:
    // The job's output streams, once, with its first input.
    void SetStreams(std::size_t count) { end_.assign(count, 0); }
    // A new input: each stream's next packet sets that stream's shift again.
    void StartInput();
    // True until stream `target` has had its first packet of this input.
    bool AwaitsFirst(int target) const { return awaitsFirst_[static_cast<std::size_t>(target)]; }
    // Shifts `packet` (output time base) of stream `target`. `origin` is the time that
    // becomes zero (AV_NOPTS_VALUE: the first packet's, when after zero); `laterInput`
    // for the inputs after a join's first.
    void Shift(AVPacket& packet, int target, std::int64_t origin, bool laterInput);

    // End of the written timeline of stream `target` (output time base).
    std::int64_t End(int target) const {
        const auto at = static_cast<std::size_t>(target);
        return at < end_.size() ? end_[at] : 0;
    }

  private:
    std::vector<bool> awaitsFirst_;
    std::vector<std::int64_t> shift_;
    // End of the written timeline per output stream, across inputs.
    std::vector<std::int64_t> end_;
};

}  // namespace tolvane
