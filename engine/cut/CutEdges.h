#pragma once
// The edges of one copied stream of a cut. Copied packets only start and end at packet
// boundaries; where the format can say where its audio starts and ends (an encoder
// delay, an edit list, a pre-skip, an end granule), the edges read a few packets before
// the start so the decoder has settled by then, and tell decoders to drop what lies
// outside the stretch. Formats without such means are cut at the packets that hold the
// stretch.

#include <cstdint>
#include <memory>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tolvane {

// The stretch of one stream, in its time base.
struct CutSpan {
    std::int64_t start = 0;
    std::int64_t end = 0;
    bool fromFileStart = false;  // nothing is trimmed at the start
    bool toFileEnd = false;      // nothing is trimmed at the end
    AVRational timeBase{1, 1};
    int sampleRate = 0;
};

class CutEdges {
  public:
    explicit CutEdges(const CutSpan& span) : span_(span) {}
    virtual ~CutEdges() = default;
    CutEdges(const CutEdges&) = delete;
    CutEdges& operator=(const CutEdges&) = delete;

    // Source time before the start whose packets are copied as well: packets that end
    // after start - Lead() are kept.
    virtual std::int64_t Lead() const { return 0; }
    // Source time after the end whose packets are copied as well, for decoders whose
    // output lags their packets' timestamps.
    virtual std::int64_t Tail() const { return 0; }
    // Whether the output may end after the packets taken so far (at the end, or
    // when the next packet lies past it): false while it could not be read back.
    virtual bool CanEnd() const { return packetsTaken_ > 0; }
    // Called on every packet kept (source time base), in order, before it is written.
    void Take(AVPacket& packet);
    // Called once the first packet is known, before the output header is written.
    virtual void PrepareOutput(AVCodecParameters& par) const { (void)par; }
    // The source time that becomes the output's zero; AV_NOPTS_VALUE before the first
    // packet.
    virtual std::int64_t Origin() const;

  protected:
    // Trims one packet (after its own skip-samples data was made right for the output); `first` on
    // the stream's first kept packet.
    virtual void Adjust(AVPacket& packet, bool first) {
        (void)packet;
        (void)first;
    }
    // Samples of the source (in the stream's sample rate) from the first kept packet
    // to the start: what a decoder is to drop at the output's start.
    std::int64_t SamplesBeforeStart() const;
    // Shortens the duration of a packet that runs past the end; true when it did.
    bool TrimDurationAtEnd(AVPacket& packet) const;
    std::int64_t ToSamples(std::int64_t ticks) const;
    std::int64_t ToTicks(std::int64_t samples) const;

    const CutSpan span_;

    std::int64_t firstTimestamp_ = AV_NOPTS_VALUE;
    std::int64_t lastTimestamp_ = AV_NOPTS_VALUE;
    int packetsTaken_ = 0;

  private:
    void KeepTrueSkipSamples(AVPacket& packet) const;
};

// Ask the decoder, by skip-samples side data, to drop the first `start` (the last `end`)
// samples of the packet's output; the other half of the data stays as it was.
void SetSkipSamplesAtStart(AVPacket& packet, std::uint32_t start);
void SetSkipSamplesAtEnd(AVPacket& packet, std::uint32_t end);

// The edges for a stream of `source` written into `output`.
std::unique_ptr<CutEdges> MakeCutEdges(const AVCodecParameters& source,
                                       const AVOutputFormat* output, const CutSpan& span);

}  // namespace tolvane
