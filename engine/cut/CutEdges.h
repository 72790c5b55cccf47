#pragma once
// Where a format's audio starts and ends: the edges of one copied stream of a cut.
//
// Copied packets only start and end at packet boundaries. Each format says here how a
// stretch [start, end) of its stream is cut out of the packets that hold it:
//
//   PcmCutEdges    raw PCM: packets are split at the sample.
//   FlacCutEdges   FLAC in a FLAC file: the edge frames are decoded, trimmed and written
//                  again, every frame renumbered; Finish() puts the written block and
//                  frame sizes into the output's STREAMINFO.
//   Mp3CutEdges    MP3: frames before the start for the bit reservoir; the skip-samples
//                  data of the first and last packet become the Info header's encoder
//                  delay and padding.
//   AacCutEdges    AAC in MP4: frames before the start get times before zero, so the
//                  muxer's edit list starts at the start; the last duration ends it.
//   OpusCutEdges   Opus in Ogg: the OpusHead pre-skip drops the lead, the last packet's
//                  duration gives the final page the end granule.
//   FrameCutEdges  every other format: whole packets, plus what the decoder needs to
//                  play the first and last sample at all (Vorbis, WMA, raw MPEG audio).
//
// MakeCutEdges() picks the one for a stream. A user of the edges, per stream:
//   1. Lead() and Tail() widen the stretch by what is read before and after it;
//      PacketDuration() places packets that carry no duration.
//   2. Keep(packet) on every packet that holds part of the widened stretch, in order:
//      trims it in place (false: nothing of it is left) and records what the format
//      writes at the ends. CanEnd() tells whether the stream may end before the next.
//   3. PrepareOutput(par) once the first packet is kept, before the output's header.
//   4. Emit(packet, sink) once the header is written: hands the kept packet, or what the
//      format writes in its place, to the sink (source time base).
//   5. Finish(sink, par) at the stream's end: what the format still holds, and what it
//      writes into the stream information the muxer rewrites with the trailer.
//   Origin() tells which source time becomes the output's zero.
// Each CutEdges serves one stretch of one stream. A job that cuts several stretches of
// one input (a split) makes one per stretch and output; a job that joins inputs without
// re-encoding makes one per input with the stretch that input contributes.

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
    // In a join without re-encoding: another input's audio comes before (after) this
    // stretch in the output, so nothing of the stream's own start (end) may be dropped
    // by what only a stream's start (end) can say, and no packet is read before (after)
    // it for a decoder that starts (ends) there.
    bool afterAnother = false;
    bool beforeAnother = false;
    // Samples the output holds before this stretch, for formats that number their frames.
    std::int64_t samplesBefore = 0;
    // The stretch is a logical stream of its own among others in the output (a link of
    // a chained Ogg file): both its ends are cut as exactly as the format can.
    bool ownLink = false;
};

// Takes what a stream's edges write (source time base); false stops the stream.
class CutPacketSink {
  public:
    virtual bool Write(AVPacket& packet) = 0;
    // Takes a packet read before the start that is not written but that the first
    // written packets read from (MP3's bit reservoir after a join's seam).
    virtual void ReadBefore(const AVPacket& packet) { (void)packet; }

  protected:
    ~CutPacketSink() = default;
};

class CutEdges {
  public:
    explicit CutEdges(const CutSpan& span) : span_(span) {}
    virtual ~CutEdges() = default;
    CutEdges(const CutEdges&) = delete;
    CutEdges& operator=(const CutEdges&) = delete;

    // Returned by Emit() and Finish() when the sink refused a packet (the sink knows why).
    static constexpr int kSinkStopped = AVERROR_EXIT;

    // Source time before the start whose packets are copied as well: packets that end
    // after start - Lead() are kept.
    virtual std::int64_t Lead() const { return 0; }
    // Lead() of a stretch that follows another input's audio: the decoder already runs,
    // so only what a packet reads from the packets before it (MP3's bit reservoir) is
    // read. Such packets go to the sink's ReadBefore().
    virtual std::int64_t LeadAfterAnother() const { return 0; }
    // Whether Keep() trims packets to the sample. A stretch of a format that does not,
    // following another input, starts with the first packet that starts in it: the
    // packet that holds its start plays in the stretch before (a removed stretch inside
    // one packet removes nothing rather than doubling the packet).
    virtual bool TrimsToSample() const { return false; }
    // Source time after the end whose packets are copied as well, for decoders whose
    // output lags their packets' timestamps.
    virtual std::int64_t Tail() const { return 0; }
    // The packet's duration in the source time base, worked out where it has none (0:
    // unknown).
    virtual std::int64_t PacketDuration(const AVPacket& packet) const { return packet.duration; }
    // Whether the output may end after the packets taken so far (at the end, or
    // when the next packet lies past it): false while it could not be read back.
    virtual bool CanEnd() const { return packetsTaken_ > 0; }
    // Called on every packet kept (source time base), in order, before the output's
    // header: trims it to the stretch in place. `duration` is PacketDuration(). False
    // when nothing of the packet is left: it is not to be written.
    bool Keep(AVPacket& packet, std::int64_t duration);
    // Called once the first packet is known, before the output header is written.
    virtual void PrepareOutput(AVCodecParameters& par) const { (void)par; }
    // Hands a kept packet, or what the format writes in its place, to `sink`. Returns
    // 0, an FFmpeg error of the edges, or kSinkStopped.
    virtual int Emit(AVPacket& packet, CutPacketSink& sink);
    // Called once at the stream's end (or cancel): hands what is still held to `sink`
    // and completes the output's stream information `par`. Same returns as Emit().
    virtual int Finish(CutPacketSink& sink, AVCodecParameters& par) {
        (void)sink;
        (void)par;
        return 0;
    }
    // The source time that becomes the output's zero; AV_NOPTS_VALUE before the first
    // packet, or when the first packet emitted (when after zero) is to become zero.
    virtual std::int64_t Origin() const;

  protected:
    // Cuts the packet itself to the stretch where the format can (before anything else
    // sees it); false when nothing of it is left.
    virtual bool Fit(AVPacket& packet, std::int64_t duration) {
        (void)packet;
        (void)duration;
        return true;
    }
    // Trims one packet (after its own skip-samples data was made right for the output);
    // `first` on the stream's first kept packet.
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

// The edges for stream `stream` of `input` copied into `output`.
std::unique_ptr<CutEdges> MakeCutEdges(const AVFormatContext& input, int stream,
                                       const AVOutputFormat* output, const CutSpan& span);

}  // namespace tolvane
