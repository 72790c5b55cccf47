#pragma once
// The stretch of a cut, [start, end) of the source's timeline, as each stream's packets
// see it. A copy keeps every packet that holds a sample of the stretch and nothing
// before or after it; raw PCM packets are split at the sample, so such a cut is exact.

#include <cstdint>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tolvane {

class CutRange {
  public:
    // `startSec` and `endSec` count from the file's start. An end at or past the
    // input's length (or not a number) copies to the file's real end, whatever the
    // length estimate said.
    CutRange(const AVFormatContext& input, double startSec, double endSec);

    enum class Verdict { Skip, Write, StreamDone };
    // Decides on one packet (input time base); a PCM packet across either edge is
    // trimmed in place to the stretch.
    Verdict Admit(AVPacket& packet);
    // True when every stream has passed the end: nothing after can be kept.
    bool AllDone() const;
    bool startsAtFileStart() const { return startsAtFileStart_; }
    // [start, end) of one stream in its time base: start is the lowest value when the
    // cut starts at the file's start, end the highest when it runs to the file's end.
    struct Stretch {
        std::int64_t start = 0;
        std::int64_t end = 0;
        bool openEnd = false;
    };
    Stretch StretchOf(int stream) const;

    // Positions the input at or before the start by time. Returns false when no time
    // seek works (the caller may try a byte position then).
    bool Position(AVFormatContext& input) const;

  private:
    struct Window {
        bool used = false;  // an audio stream the cut copies
        std::int64_t start = 0;
        std::int64_t end = 0;
        bool openEnd = false;
        bool done = false;
        int pcmFrameBytes = 0;  // bytes per sample frame of raw PCM; 0 otherwise
        int sampleRate = 0;
        AVRational timeBase{1, 1};
    };
    void TrimPcm(AVPacket& packet, const Window& window) const;
    // The first stream's timestamp of the first packet read after a seek to `target`.
    static std::int64_t FirstTimestampAfterSeek(AVFormatContext& input, int stream,
                                                std::int64_t target);

    std::vector<Window> windows_;
    int referenceStream_ = -1;
    bool startsAtFileStart_ = true;
};

}  // namespace tolvane
