#pragma once
// The stretch of a cut, [start, end) of the source's timeline, as each stream's packets
// see it. A copy keeps every packet that holds a sample of the stretch and nothing
// before or after it, plus what each stream's edges (CutEdges.h) ask for; the edges
// trim what the format allows.

#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "engine/cut/CutEdges.h"
#include "engine/cut/FlacFramePackets.h"
#include "engine/cut/MpegAudioPackets.h"
#include "engine/cut/SyncFramePackets.h"

namespace tolvane {

class CutRange {
  public:
    // `startSec` and `endSec` count from the file's start. An end at or past the
    // input's length (or not a number) copies to the file's real end, whatever the
    // length estimate said. `output` is the format the streams are copied into: it
    // decides how the edges can be trimmed.
    CutRange(const AVFormatContext& input, double startSec, double endSec,
             const AVOutputFormat* output);
    // The stretch one input contributes to a join without re-encoding: `seams` says what
    // comes before and after it in the output (afterAnother, beforeAnother, samplesBefore
    // of CutSpan; the rest is ignored).
    CutRange(const AVFormatContext& input, double startSec, double endSec,
             const AVOutputFormat* output, const CutSpan& seams);

    enum class Verdict { Skip, Write, StreamDone };
    // Decides on one packet (input time base); a kept packet is trimmed in place to
    // the stretch as far as its format allows (its edges' Keep()).
    Verdict Admit(AVPacket& packet);
    // The edges of `stream`; null for a stream the cut does not copy.
    CutEdges* Edges(int stream) const;
    // True when every stream has passed the end: nothing after can be kept.
    bool AllDone() const;
    bool startsAtFileStart() const { return startsAtFileStart_; }
    // True once a packet holding a sample of the stretch was kept: packets read only
    // for the decoder's sake before the start are no cut.
    bool ReachedStart() const { return reachedStart_; }
    // Positions the input at or before the start by time. Returns false when no time
    // seek works (the caller may try a byte position then).
    bool Position(AVFormatContext& input);
    // The next packet of the positioned input, as av_read_frame.
    int Read(AVFormatContext& input, AVPacket& packet);
    // Leaves the demuxer where reading stopped, for another range of the same input:
    // frames read straight from the file have left it behind.
    void ReturnToDemuxer();

  private:
    struct Window {
        bool used = false;  // an audio stream the cut copies
        std::int64_t start = 0;
        std::int64_t end = 0;
        std::int64_t keepFrom = 0;  // packets that end after it are kept
        std::int64_t stopAt = 0;    // the first packet from here on is not
        bool openEnd = false;
        bool done = false;
        int sampleRate = 0;
        AVRational timeBase{1, 1};
        std::unique_ptr<CutEdges> edges;
    };
    static void ReadLargerBlocks(AVFormatContext& input);
    bool SeekToStart(AVFormatContext& input);
    bool ReadFramesAfterTheFirst(AVFormatContext& input);
    // The first stream's timestamp of the first packet read after a seek to `target`.
    static std::int64_t FirstTimestampAfterSeek(AVFormatContext& input, int stream,
                                                std::int64_t target);

    std::vector<Window> windows_;
    int referenceStream_ = -1;
    bool startsAtFileStart_ = true;
    bool reachedStart_ = false;
    bool afterAnother_ = false;
    // Set when the input is MPEG audio positioned by its frames.
    std::unique_ptr<MpegAudioPackets> mpegAudio_;
    // From the file's start, the demuxer gives the packets up to the first frame.
    bool firstFrameFromDemuxer_ = false;
    // Set when the input is raw AC-3 or DTS timed by its frames.
    std::unique_ptr<SyncFramePackets> syncFrames_;
    // Set when the input is a FLAC file positioned by the demuxer.
    std::unique_ptr<FlacFramePackets> flacFrames_;
};

}  // namespace tolvane
