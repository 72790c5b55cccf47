#pragma once
// Copy mode: the packets of every described audio stream go into the output unchanged
// (no decoding). A cut keeps the packets of its range, each stream's format cutting its
// own edges (engine/cut/CutEdges.h); a copy join appends the inputs' ranges, each
// format joining its seams; a removal appends the part after a stretch to the part
// before it.

#include <memory>
#include <optional>
#include <vector>

#include "engine/copy/LinkStretches.h"
#include "engine/copy/Mp3Seam.h"
#include "engine/copy/TimestampRebase.h"
#include "engine/cut/CutEdges.h"
#include "engine/cut/CutRange.h"
#include "engine/job/JobOutput.h"
#include "engine/job/JobSteps.h"
#include "engine/job/MediaJob.h"

namespace tolvane {

class CopyPipeline final : private CutPacketSink {
  public:
    CopyPipeline(MediaJob& job, JobOutput& output) : job_(job), output_(output) {}
    CopyPipeline(const CopyPipeline&) = delete;
    CopyPipeline& operator=(const CopyPipeline&) = delete;

    // Copies input k (the output is created with input 0), reading into `packet`.
    InputOutcome Run(int k, AVFormatContext* input, AVPacket* packet);
    // Writes what a seam still holds; called at the job's end and on a cancel.
    bool Flush();

  private:
    // Copies the stretch [startSec, endSec) of the input (an end past the input: to
    // its end); `seams` tells what goes before and after it in the output.
    InputOutcome RunStretch(AVFormatContext* input, AVPacket* packet, double startSec,
                            double endSec, CutSpan seams);
    // Copies input k, a chained Ogg file of `links` whose audio stream FFmpeg sees as
    // `audio`, link by link: each stretch of a
    // link that the job keeps is read from that link opened as a file of its own and
    // written as a link of the output, so every one keeps its exact start and end.
    InputOutcome RunLinks(int k, const AVStream& audio, const std::vector<OggLink>& links,
                          AVPacket* packet);
    // The stretches of `links` that input k keeps.
    std::vector<LinkStretch> KeptStretches(int k, const std::vector<OggLink>& links) const;
    // Finds the input's audio streams and, for input 0 and each new link of a chained
    // output, makes an output stream for each.
    bool MapStreams(int k, const AVFormatContext* input);
    // Where the part of input k after a stretch ending at `endSec` starts to play, in a
    // chained Vorbis output (whole packets: at or before `endSec`).
    double VorbisRestartSec(int k, double endSec) const;
    // The same, read from `second`, an opening of the input of its own.
    double VorbisRestartSec(AVFormatContext& second, double endSec) const;
    // Ends the output's running link and begins the next (chained outputs), its
    // timeline from zero again.
    bool StartLink();
    // Writes the header, once a cut's edges have set their streams.
    bool WriteHeader();
    // Puts the job's output tags into the output's header; 0 or an FFmpeg error.
    int SetOutputTags();
    // What the edges hand over: rescaled to the output stream, moved onto the output's
    // timeline and written.
    bool Write(AVPacket& packet) override;
    // Main data a seam may need of a packet before the stretch.
    void ReadBefore(const AVPacket& packet) override;
    // Turns what the edges returned into the outcome of the step; records their failure.
    bool EdgesDone(int code);
    // Every stream's edges hand over what they still hold.
    bool FinishEdges();
    // Samples of the first output stream written so far.
    std::int64_t SamplesWritten() const;
    CutEdges* EdgesOf(int source) const { return range_ ? range_->Edges(source) : nullptr; }

    MediaJob& job_;
    JobOutput& output_;
    TimestampRebase rebase_;
    // Of the running input: output stream per input stream (-1: not copied), the range
    // of the running stretch and whether another went before it in the output, and the
    // input stream of the packet being handed over.
    int input_ = 0;
    bool afterAnother_ = false;
    const AVFormatContext* format_ = nullptr;
    std::vector<int> outputIndex_;
    std::optional<CutRange> range_;
    int source_ = 0;
    // The seams of a join into MP3.
    std::unique_ptr<Mp3Seam> mp3Seam_;
    // A join or removal into Ogg: each stretch is a link of its own, cut as a cut is,
    // so each keeps its exact start and end. The links' times, in seconds, before
    // the running one's, and what the first link's stream is.
    bool chained_ = false;
    double linksBeforeSec_ = 0.0;
    AVCodecID firstCodec_ = AV_CODEC_ID_NONE;
    int firstRate_ = 0;
    int firstChannels_ = 0;
};

}  // namespace tolvane
