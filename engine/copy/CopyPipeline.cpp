#include "engine/copy/CopyPipeline.h"

#include <string_view>

#include "engine/copy/SourceTags.h"
#include "engine/ffmpeg/FfmpegSetup.h"

namespace tolvane {

static_assert((AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX) == 8197);

namespace {

constexpr auto kNearest = static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX);

}  // namespace

bool CopyPipeline::MapStreams(int k, const AVFormatContext* input) {
    // Every described audio stream, in input order, goes to the next output stream.
    outputIndex_.assign(input->nb_streams, -1);
    int next = 0;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        if (ff::IsSkippedCodec(stream->codecpar) || !ff::HasAudioParameters(stream->codecpar))
            continue;
        if (k == 0) {
            AVStream* out = output_.AddStream();
            const int ret = out == nullptr
                                ? AVERROR(ENOMEM)
                                : avcodec_parameters_copy(out->codecpar, stream->codecpar);
            if (ret < 0)
                return RecordFailure(job_, ret, true, JobStep::AddingStream);
            out->codecpar->codec_tag = 0;
            out->time_base = stream->time_base;
        } else if (static_cast<unsigned>(next) >= output_.context()->nb_streams) {
            continue;  // later inputs reuse the first input's streams
        }
        outputIndex_[i] = next++;
    }
    if (next == 0)  // nothing to copy
        return RecordFailure(job_, AVERROR_STREAM_NOT_FOUND, false, JobStep::FindingAudio);
    return true;
}

InputOutcome CopyPipeline::Run(int k, AVFormatContext* input, AVPacket* packet) {
    input_ = k;
    format_ = input;
    range_.reset();
    if (k == 0 && !OpenJobOutput(job_, output_))
        return InputOutcome::Failed;
    if (!MapStreams(k, input))
        return InputOutcome::Failed;
    if (k == 0)
        rebase_.SetStreams(output_.context()->nb_streams);
    rebase_.StartInput();
    // A cut keeps the packets that hold its stretch, found by timestamps; a copy join
    // takes whole inputs.
    if (!job_.joinMode) {
        range_.emplace(*input, job_.startSec[k], job_.endSec[k], output_.context()->oformat);
        job_.seekByBytes = 0;
        if (!range_->Position(*input))
            PositionAtRangeStart(job_, k, input);  // no time seek: the byte estimate
    }

    for (;;) {
        if (CancelRequested(job_))
            return FinishEdges() ? InputOutcome::Cancelled : InputOutcome::Failed;
        if ((range_ ? range_->Read(*input, *packet) : av_read_frame(input, packet)) < 0)
            break;  // end of file (or unreadable rest)
        const int source = packet->stream_index;
        if (source < 0 || static_cast<unsigned>(source) >= input->nb_streams ||
            outputIndex_[source] < 0) {
            av_packet_unref(packet);
            continue;
        }
        UpdateProgress(job_, k);
        if (range_ && range_->Admit(*packet) != CutRange::Verdict::Write) {
            av_packet_unref(packet);
            if (range_->AllDone())
                break;  // every stream has passed the end of the stretch
            continue;
        }
        // The header waits for the first packet: the edges of a cut set parameters
        // only the first packet decides.
        if (!output_.HeaderWritten() && !WriteHeader()) {
            av_packet_unref(packet);
            return InputOutcome::Failed;
        }
        source_ = source;
        CutEdges* edges = EdgesOf(source);
        const int ret =
            edges ? edges->Emit(*packet, *this) : (Write(*packet) ? 0 : CutEdges::kSinkStopped);
        av_packet_unref(packet);
        if (!EdgesDone(ret))
            return InputOutcome::Failed;
    }
    if (!FinishEdges())
        return InputOutcome::Failed;
    if (range_ && (!output_.HasPackets() || !range_->ReachedStart())) {
        // The stretch lies before the first packet, past the last, or nowhere.
        RecordFailure(job_, kErrorNoAudioInRange, false, JobStep::ReadingRange);
        return InputOutcome::Failed;
    }
    return InputOutcome::Done;
}

bool CopyPipeline::WriteHeader() {
    for (unsigned i = 0; range_ && i < format_->nb_streams; ++i) {
        CutEdges* edges = range_->Edges(static_cast<int>(i));
        if (outputIndex_[i] >= 0 && edges != nullptr)
            edges->PrepareOutput(*output_.context()->streams[outputIndex_[i]]->codecpar);
    }
    if (const int ret = SetOutputTags(); ret < 0)
        return RecordFailure(job_, ret, true, JobStep::WritingHeader);
    if (const int ret = output_.WriteHeader(); ret < 0)
        return RecordFailure(job_, ret, true, JobStep::WritingHeader);
    const AVRational base = output_.context()->streams[0]->time_base;
    job_.outputTimeBaseNum = base.num;
    job_.outputTimeBaseDen = base.den;
    return true;
}

int CopyPipeline::SetOutputTags() {
    AVFormatContext* context = output_.context();
    // The Ogg muxer writes each stream's comments from the stream's own tags.
    const bool perStream = std::string_view(context->oformat->name) == "ogg";
    const TagList tags = job_.keepSourceTags ? MergeTags(ReadSourceTags(*format_), job_.outputTags)
                                             : job_.outputTags;
    for (const auto& [key, value] : tags) {
        int ret = av_dict_set(&context->metadata, key.c_str(), value.c_str(), 0);
        for (unsigned i = 0; ret >= 0 && perStream && i < context->nb_streams; ++i)
            ret = av_dict_set(&context->streams[i]->metadata, key.c_str(), value.c_str(), 0);
        if (ret < 0)
            return ret;
    }
    return 0;
}

bool CopyPipeline::Write(AVPacket& packet) {
    const int target = outputIndex_[source_];
    const AVStream* out = output_.context()->streams[target];
    const AVRational from = format_->streams[source_]->time_base;
    packet.pts = av_rescale_q_rnd(packet.pts, from, out->time_base, kNearest);
    packet.dts = av_rescale_q_rnd(packet.dts, from, out->time_base, kNearest);
    packet.duration = av_rescale_q(packet.duration, from, out->time_base);
    packet.pos = -1;
    if (!range_)  // a cut's edges keep what holds of the skip-samples data
        av_packet_shrink_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, 0);
    std::int64_t origin = AV_NOPTS_VALUE;
    if (rebase_.AwaitsFirst(target)) {
        const CutEdges* edges = EdgesOf(source_);
        const std::int64_t at = edges ? edges->Origin() : AV_NOPTS_VALUE;
        if (at != AV_NOPTS_VALUE)
            origin = av_rescale_q_rnd(at, from, out->time_base, kNearest);
    }
    rebase_.Shift(packet, target, origin, input_ > 0);
    if (packet.pts != AV_NOPTS_VALUE)
        job_.audioTime = static_cast<double>(packet.pts) * av_q2d(out->time_base);
    packet.stream_index = target;
    const int ret = output_.Write(&packet);
    return ret >= 0 || RecordFailure(job_, ret, true, JobStep::WritingPacket);
}

bool CopyPipeline::EdgesDone(int code) {
    if (code >= 0)
        return true;
    if (code != CutEdges::kSinkStopped)  // a refused packet was recorded by Write()
        RecordFailure(job_, code, true, JobStep::CuttingEdges);
    return false;
}

bool CopyPipeline::FinishEdges() {
    for (unsigned i = 0; range_ && i < format_->nb_streams; ++i) {
        CutEdges* edges = range_->Edges(static_cast<int>(i));
        if (outputIndex_[i] < 0 || edges == nullptr)
            continue;
        source_ = static_cast<int>(i);
        if (!EdgesDone(
                edges->Finish(*this, *output_.context()->streams[outputIndex_[i]]->codecpar)))
            return false;
    }
    return true;
}

}  // namespace tolvane
