#include "engine/cut/CutRange.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "engine/ffmpeg/FfmpegHolders.h"
#include "engine/cut/MpegAudioFrames.h"
#include "engine/ffmpeg/TimeUnits.h"

extern "C" {
#include <libavutil/intreadwrite.h>
#include <libavutil/opt.h>
}

namespace tolvane {

namespace {

// AV_TIME_BASE_Q is a C compound literal, which C++ compilers only take as an extension.
constexpr AVRational kMicroseconds{1, AV_TIME_BASE};
constexpr AVRounding kNearest = static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX);
// An end this close to the length is the end of the file: the window shows the length
// rounded to the millisecond.
constexpr double kEndOfFileSlackSec = 0.0015;
// Packets read after a seek to find where it landed; a demuxer that needs more has no
// usable seek.
constexpr int kLandingPackets = 256;
// Bytes the FLAC and WAV demuxers read at a time instead of their 1 or 4 KiB: their
// packets only carry bytes to the FLAC parser, or are PCM the cut splits at the sample,
// so the cut is the same, with a fraction of the reads and allocations.
constexpr int kRawReadBytes = 64 * 1024;

std::int64_t Timestamp(const AVPacket& packet) {
    return packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
}

// Whether a packet of `duration` plays anything after `start`: the source's own end
// skip (the encoder's padding at the file's end) plays nothing.
bool HoldsSamplesAfter(const AVPacket& packet, std::int64_t duration, std::int64_t start,
                       int sampleRate, AVRational timeBase) {
    const std::int64_t ts = Timestamp(packet);
    std::size_t size = 0;
    const std::uint8_t* skip = av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (skip == nullptr || size < 10 || sampleRate <= 0)
        return ts + duration > start;
    const std::int64_t padding =
        av_rescale_q(AV_RL32(skip + 4), AVRational{1, sampleRate}, timeBase);
    return padding < duration && ts + duration - padding > start;
}

std::int64_t StartTime(const AVFormatContext& input) {
    return input.start_time != AV_NOPTS_VALUE ? input.start_time : 0;
}

// The file's first packet may lie before its start time (MP3 counts the encoder delay
// into the start time), but a time before zero is no seek target for some demuxers.
std::int64_t EarliestSeekTime(const AVFormatContext& input) {
    return std::min<std::int64_t>(StartTime(input), 0);
}

bool SeekToFileStart(AVFormatContext& input) {
    return av_seek_frame(&input, -1, EarliestSeekTime(input), AVSEEK_FLAG_BACKWARD) >= 0 ||
           av_seek_frame(&input, -1, StartTime(input), AVSEEK_FLAG_BACKWARD) >= 0;
}

}  // namespace

CutRange::CutRange(const AVFormatContext& input, double startSec, double endSec,
                   const AVOutputFormat* output)
    : CutRange(input, startSec, endSec, output, CutSpan{}) {}

CutRange::CutRange(const AVFormatContext& input, double startSec, double endSec,
                   const AVOutputFormat* output, const CutSpan& seams)
    : windows_(input.nb_streams) {
    const std::int64_t origin = StartTime(input);
    const double length =
        input.duration > 0 ? static_cast<double>(input.duration) / AV_TIME_BASE : -1.0;
    const bool openEnd =
        length > 0 ? !(endSec < length - kEndOfFileSlackSec) : !std::isfinite(endSec);
    startsAtFileStart_ = !(startSec > 0);
    // A start at the end holds nothing, whatever the last frame's padding holds. (No
    // slack here: a start in the last millisecond still has samples after it.)
    const bool startsAtEnd = length > 0 && !(startSec < length);
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVStream& stream = *input.streams[i];
        Window& w = windows_[i];
        w.used = !ff::IsSkippedCodec(stream.codecpar) && ff::HasAudioParameters(stream.codecpar);
        if (!w.used)
            continue;
        w.done = startsAtEnd;
        if (referenceStream_ < 0)
            referenceStream_ = static_cast<int>(i);
        w.timeBase = stream.time_base;
        w.start = startsAtFileStart_ ? std::numeric_limits<std::int64_t>::min()
                                     : av_rescale_q_rnd(origin + SecondsToMicros(startSec),
                                                        kMicroseconds, w.timeBase, kNearest);
        w.openEnd = openEnd;
        w.end = openEnd ? std::numeric_limits<std::int64_t>::max()
                        : av_rescale_q_rnd(origin + SecondsToMicros(endSec), kMicroseconds,
                                           w.timeBase, kNearest);
        w.sampleRate = stream.codecpar->sample_rate;
        CutSpan span;
        span.start = w.start;
        span.end = w.end;
        span.fromFileStart = startsAtFileStart_;
        span.toFileEnd = openEnd;
        span.timeBase = w.timeBase;
        span.sampleRate = w.sampleRate;
        span.afterAnother = seams.afterAnother;
        span.beforeAnother = seams.beforeAnother;
        span.samplesBefore = seams.samplesBefore;
        span.ownLink = seams.ownLink;
        w.edges = MakeCutEdges(input, static_cast<int>(i), output, span);
        const std::int64_t lead =
            seams.afterAnother ? w.edges->LeadAfterAnother() : w.edges->Lead();
        w.keepFrom = startsAtFileStart_ ? w.start : w.start - lead;
        afterAnother_ = seams.afterAnother;
        w.stopAt = openEnd || seams.beforeAnother ? w.end : w.end + w.edges->Tail();
    }
}

CutEdges* CutRange::Edges(int stream) const {
    if (stream < 0 || static_cast<std::size_t>(stream) >= windows_.size())
        return nullptr;
    return windows_[static_cast<std::size_t>(stream)].edges.get();
}

bool CutRange::AllDone() const {
    for (const Window& w : windows_) {
        if (w.used && !w.done)
            return false;
    }
    return true;
}

CutRange::Verdict CutRange::Admit(AVPacket& packet) {
    if (packet.stream_index < 0 || static_cast<std::size_t>(packet.stream_index) >= windows_.size())
        return Verdict::Skip;
    Window& w = windows_[static_cast<std::size_t>(packet.stream_index)];
    if (!w.used || w.done)
        return Verdict::Skip;
    const std::int64_t ts = Timestamp(packet);
    if (ts == AV_NOPTS_VALUE) {
        reachedStart_ = true;
        w.edges->Keep(packet, packet.duration);
        return Verdict::Write;  // cannot be placed: kept, so nothing can be missing
    }
    if (ts >= w.stopAt && w.edges->CanEnd()) {
        w.done = true;
        return Verdict::StreamDone;
    }
    const std::int64_t duration = w.edges->PacketDuration(packet);
    if (duration > 0 && ts < w.keepFrom && ts + duration <= w.keepFrom)
        return Verdict::Skip;  // wholly before the start and the decoder's lead
    if (afterAnother_ && ts < w.keepFrom && !w.edges->TrimsToSample())
        return Verdict::Skip;  // played before the seam (see CutEdges::TrimsToSample)
    if (duration <= 0 || HoldsSamplesAfter(packet, duration, w.start, w.sampleRate, w.timeBase))
        reachedStart_ = true;
    return w.edges->Keep(packet, duration) ? Verdict::Write : Verdict::Skip;
}

std::int64_t CutRange::FirstTimestampAfterSeek(AVFormatContext& input, int stream,
                                               std::int64_t target) {
    if (av_seek_frame(&input, -1, target, AVSEEK_FLAG_BACKWARD) < 0)
        return std::numeric_limits<std::int64_t>::min();
    ff::PacketPtr packet(av_packet_alloc());
    if (!packet)
        return AV_NOPTS_VALUE;
    for (int i = 0; i < kLandingPackets; ++i) {
        if (av_read_frame(&input, packet.get()) < 0)
            return AV_NOPTS_VALUE;  // landed at the end: nothing after it to miss
        const bool ours = packet->stream_index == stream;
        const std::int64_t ts = Timestamp(*packet);
        av_packet_unref(packet.get());
        if (ours && ts != AV_NOPTS_VALUE)
            return ts;
    }
    return AV_NOPTS_VALUE;
}

int CutRange::Read(AVFormatContext& input, AVPacket& packet) {
    if (firstFrameFromDemuxer_) {
        const int ret = av_read_frame(&input, &packet);
        firstFrameFromDemuxer_ = ret >= 0 && packet.stream_index != referenceStream_;
        return ret;
    }
    if (mpegAudio_)
        return mpegAudio_->Read(packet);
    if (syncFrames_)
        return syncFrames_->Read(packet);
    return flacFrames_ ? flacFrames_->Read(packet) : av_read_frame(&input, &packet);
}

void CutRange::ReturnToDemuxer() {
    if (mpegAudio_ && !firstFrameFromDemuxer_)
        mpegAudio_->ReturnToDemuxer();
}

void CutRange::ReadLargerBlocks(AVFormatContext& input) {
    if (input.iformat->priv_class == nullptr || input.priv_data == nullptr)
        return;
    const std::string_view name = input.iformat->name;
    if (name == "flac")
        av_opt_set_int(input.priv_data, "raw_packet_size", kRawReadBytes, 0);
    else if (name == "wav")
        av_opt_set_int(input.priv_data, "max_size", kRawReadBytes, 0);
}

bool CutRange::Position(AVFormatContext& input) {
    ReadLargerBlocks(input);
    // Raw AC-3 and DTS whose demuxer's stamps fall behind the audio are timed by their
    // frames, from the file's start as well.
    if (referenceStream_ >= 0) {
        const Window& w = windows_[static_cast<std::size_t>(referenceStream_)];
        syncFrames_ = SyncFramePackets::ForStream(
            input, referenceStream_,
            startsAtFileStart_ ? std::numeric_limits<std::int64_t>::min() : w.keepFrom);
        if (syncFrames_)
            return true;
    }
    if (!SeekToStart(input))
        return false;
    // FLAC frames are read from the file's blocks once the demuxer has found the first.
    if (!mpegAudio_ && referenceStream_ >= 0)
        flacFrames_ = FlacFramePackets::ForStream(input, referenceStream_);
    return true;
}

// MPEG audio from the file's start: the demuxer gives the first frame, with the encoder
// delay it read from the stream's header; the frames after it are read as a cut from
// later on reads them, without the demuxer's small reads and parser.
bool CutRange::ReadFramesAfterTheFirst(AVFormatContext& input) {
    if (std::strcmp(input.iformat->name, "mp3") != 0)
        return true;
    if (const std::optional<MpegAudioLanding> second =
            SeekPastFirstMpegAudioFrame(input, referenceStream_)) {
        mpegAudio_ = std::make_unique<MpegAudioPackets>(input, *second);
        firstFrameFromDemuxer_ = true;
        return true;
    }
    // The walk has read ahead: back to the start, as the demuxer finds it.
    return SeekToFileStart(input);
}

bool CutRange::SeekToStart(AVFormatContext& input) {
    if (referenceStream_ < 0)
        return true;
    if (startsAtFileStart_)
        return ReadFramesAfterTheFirst(input);
    const Window& w = windows_[static_cast<std::size_t>(referenceStream_)];
    // MPEG audio has no index: its frames are counted instead of read as packets, and
    // then read as frames.
    if (const std::optional<MpegAudioLanding> landing =
            SeekToMpegAudioFrame(input, referenceStream_, w.keepFrom)) {
        mpegAudio_ = std::make_unique<MpegAudioPackets>(input, *landing);
        return true;
    }
    const std::int64_t origin = StartTime(input);
    const std::int64_t first = EarliestSeekTime(input);
    std::int64_t target = std::max(first, av_rescale_q(w.keepFrom, w.timeBase, kMicroseconds));
    // A demuxer may land after the asked time (an index or a bit-rate estimate):
    // step back until the first packet starts at or before the start.
    std::int64_t step = AV_TIME_BASE;
    for (int attempt = 0; attempt < 6; ++attempt) {
        std::int64_t landed = FirstTimestampAfterSeek(input, referenceStream_, target);
        if (landed == std::numeric_limits<std::int64_t>::min() && target < origin) {
            target = origin;  // no seek before the start time: the start time, then
            landed = FirstTimestampAfterSeek(input, referenceStream_, target);
        }
        if (landed == std::numeric_limits<std::int64_t>::min())
            return false;  // this input has no time seek
        if (landed == AV_NOPTS_VALUE || landed <= w.keepFrom || target <= first)
            return av_seek_frame(&input, -1, target, AVSEEK_FLAG_BACKWARD) >= 0;
        target = std::max(first, target - step);
        step *= 2;
    }
    return SeekToFileStart(input);
}

}  // namespace tolvane
