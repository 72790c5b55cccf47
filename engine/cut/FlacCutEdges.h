#pragma once
// The ends of a FLAC cut, made sample-exact. The frames between the ends are copied;
// the first and the last frame, which hold samples outside the stretch, are decoded,
// trimmed to it and encoded again (FLAC is lossless: the samples stay bit for bit).
// Every frame written is renumbered so the cut is a stream of its own that starts at
// sample 0. Trimmed frames are shorter than the others, so the cut is written as a
// variable block size stream: each frame header tells the number of its first sample.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/cut/CutEdges.h"
#include "engine/cut/FlacFrameHeader.h"
#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane {

class FlacCutEdges final : public CutEdges {
  public:
    // For stream `index` of a cut's input; null when it is no FLAC stream of a FLAC
    // file. (Other containers give FLAC frames times of their own, not exact to the
    // sample.)
    static std::unique_ptr<FlacCutEdges> ForStream(const AVFormatContext& input, int index,
                                                   const CutSpan& span);

    // Hands what is to be written in the kept packet's place to `sink`: nothing (samples
    // held until the next frame), the frame renumbered, or a trimmed frame.
    bool TrimsToSample() const override { return exact_; }
    int Emit(AVPacket& packet, CutPacketSink& sink) override;
    // Hands the samples still held to `sink` as the last frame, and puts the block and
    // frame sizes of what was written into the output's STREAMINFO `par`.
    int Finish(CutPacketSink& sink, AVCodecParameters& par) override;
    // The frames count from the cut's first sample: the first one written becomes zero.
    std::int64_t Origin() const override { return AV_NOPTS_VALUE; }

  private:
    FlacCutEdges(const CutSpan& span, int streamIndex)
        : CutEdges(span), streamIndex_(streamIndex) {}
    // Appends what is to be written in the packet's place to `out`.
    int TakeFrame(const AVPacket& whole, std::vector<ff::PacketPtr>& out);
    // The bytes of `packet` that make its frame whole; none when no length does.
    std::optional<int> WholeFrameSize(const AVPacket& packet, const FlacFrameHeader& header);
    // Hands `packets` to `sink`, unless `code` is an error.
    static int Hand(int code, std::vector<ff::PacketPtr>& packets, CutPacketSink& sink);
    // Opens the decoder; without one (or with samples of a layout not foreseen) the
    // edge frames are copied whole.
    void OpenDecoder(const AVStream& stream);
    // Decodes `packet` and holds the samples of it that lie in the stretch.
    int HoldSamples(const AVPacket& packet, std::int64_t start, bool head, bool tail,
                    std::vector<ff::PacketPtr>& out);
    // Encodes every held sample as one frame.
    int EncodeHeld(std::vector<ff::PacketPtr>& out);
    // Writes `count` held samples as a frame of verbatim subframes.
    int WriteHeldVerbatim(int count, std::vector<ff::PacketPtr>& out);
    // Appends `frame` renumbered to the samples written so far.
    int EmitFrame(const std::uint8_t* data, int size, std::vector<ff::PacketPtr>& out);

    int streamIndex_ = 0;
    int bitsPerSample_ = 0;
    bool exact_ = false;
    ff::CodecContextPtr decoder_;
    ff::FramePtr decoded_{av_frame_alloc()};
    ff::FifoPtr held_;
    bool started_ = false;
    std::int64_t origin_ = 0;   // source sample the cut's sample 0 is
    std::int64_t written_ = 0;  // samples written
    // Sizes of the frames written: blocks without the last one, bytes of all.
    std::uint32_t lastBlock_ = 0;
    std::uint32_t minBlock_ = UINT32_MAX;
    std::uint32_t maxBlock_ = 0;
    std::uint32_t minFrame_ = UINT32_MAX;
    std::uint32_t maxFrame_ = 0;
};

}  // namespace tolvane
