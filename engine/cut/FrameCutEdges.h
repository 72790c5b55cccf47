#pragma once
// Formats that cannot say where their audio starts or ends: the cut keeps the packets
// that hold the stretch, plus what the decoder needs to output the stretch's first and
// last samples at all.

#include <deque>

#include "engine/cut/CutEdges.h"
#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane {

class FrameCutEdges final : public CutEdges {
  public:
    // `endByDuration`: the container ends the stream at the last packet's timestamp plus
    // its duration (Vorbis in Ogg: the last page's granule position), so the end is cut
    // to the sample.
    FrameCutEdges(const CutSpan& span, const AVCodecParameters& source, bool endByDuration);
    std::int64_t Lead() const override { return lead_; }
    std::int64_t Tail() const override { return tail_; }
    bool CanEnd() const override {
        return packetsTaken_ >= minimumPackets_ && framesAfterProbeSkip_ >= minimumFramesAfterSkip_;
    }
    int Emit(AVPacket& packet, CutPacketSink& sink) override;
    int Finish(CutPacketSink& sink, AVCodecParameters& par) override;
    std::int64_t Origin() const override;

  private:
    void Adjust(AVPacket& packet, bool first) override;

    std::int64_t lead_ = 0;
    std::int64_t tail_ = 0;
    int minimumPackets_ = 1;
    // Raw DTS is recognised by FFmpeg's content probe only by four frames that start
    // after the first 4096 bytes, which the probe passes over.
    std::int64_t bytesTaken_ = 0;
    int framesAfterProbeSkip_ = 0;
    int minimumFramesAfterSkip_ = 0;
    const bool endByDuration_;
    std::int64_t firstDuration_ = 0;
    // Writes held packets until those left cover no more than `keep` ticks.
    int WriteHeld(CutPacketSink& sink, std::int64_t keep);

    // The last packets, held back while a later one may still move the end into them.
    std::deque<ff::PacketPtr> held_;
};

}  // namespace tolvane
