#include "engine/copy/CopyPipeline.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "engine/copy/SourceTags.h"
#include "engine/copy/Mp3Seam.h"
#include "engine/ffmpeg/FfmpegSetup.h"
#include "engine/probe/OggLinkInput.h"

namespace tolvane {

static_assert((AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX) == 8197);

namespace {

// Whether packets of `other` can follow those of `first` in one stream.
bool SameAudio(const AVCodecParameters& other, const AVCodecParameters& first) {
    return other.codec_id == first.codec_id && other.sample_rate == first.sample_rate &&
           other.ch_layout.nb_channels == first.ch_layout.nb_channels;
}

// Whether Ogg links of `codec` are cut exactly at both ends by the formats' own means.
bool ChainsExactly(AVCodecID codec) {
    return codec == AV_CODEC_ID_OPUS || codec == AV_CODEC_ID_VORBIS;
}

constexpr auto kNearest = static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX);

}  // namespace

bool CopyPipeline::MapStreams(int k, const AVFormatContext* input) {
    // Every described audio stream, in input order, goes to the next output stream.
    outputIndex_.assign(input->nb_streams, -1);
    const bool addStreams = k == 0 || chained_;
    int next = 0;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        if (ff::IsSkippedCodec(stream->codecpar) || !ff::HasAudioParameters(stream->codecpar))
            continue;
        if (k > 0 && chained_ && next == 0 &&
            (stream->codecpar->codec_id != firstCodec_ ||
             stream->codecpar->sample_rate != firstRate_ ||
             stream->codecpar->ch_layout.nb_channels != firstChannels_))
            return RecordFailure(job_, AVERROR_INVALIDDATA, false, JobStep::AddingStream);
        if (addStreams) {
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
        } else if (!SameAudio(*stream->codecpar, *output_.context()->streams[next]->codecpar)) {
            // The commands refuse unlike inputs before the start; a file changed since
            // then ends the job here.
            return RecordFailure(job_, AVERROR_INVALIDDATA, false, JobStep::AddingStream);
        }
        if (k == 0 && next == 0) {
            firstCodec_ = stream->codecpar->codec_id;
            firstRate_ = stream->codecpar->sample_rate;
            firstChannels_ = stream->codecpar->ch_layout.nb_channels;
        }
        outputIndex_[i] = next++;
    }
    if (next == 0)  // nothing to copy
        return RecordFailure(job_, AVERROR_STREAM_NOT_FOUND, false, JobStep::FindingAudio);
    return true;
}

bool CopyPipeline::StartLink() {
    const AVFormatContext* context = output_.context();
    if (output_.HeaderWritten() && context->nb_streams > 0)
        linksBeforeSec_ +=
            static_cast<double>(rebase_.End(0)) * av_q2d(context->streams[0]->time_base);
    if (const int ret = output_.StartLink(); ret < 0)
        return RecordFailure(job_, ret, true, JobStep::WritingHeader);
    return true;
}

double CopyPipeline::VorbisRestartSec(int k, double endSec) const {
    // The part after is read as its own cut would be, from a second opening of the file.
    ff::InputFormatPtr second;
    if (k >= static_cast<int>(job_.inputNames.size()) ||
        OpenJobInput(job_.inputNames[static_cast<std::size_t>(k)], second) < 0)
        return endSec;
    return VorbisRestartSec(*second, endSec);
}

double CopyPipeline::VorbisRestartSec(AVFormatContext& second, double endSec) const {
    CutSpan link;
    link.ownLink = true;
    CutRange range(second, endSec, std::numeric_limits<double>::infinity(),
                   output_.context()->oformat, link);
    range.Position(second);
    ff::PacketPtr packet(av_packet_alloc());
    while (packet && range.Read(second, *packet) >= 0) {
        const AVStream* stream = second.streams[packet->stream_index];
        const bool first = stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
                           range.Admit(*packet) == CutRange::Verdict::Write &&
                           packet->pts != AV_NOPTS_VALUE;
        if (first) {
            const std::int64_t start = second.start_time != AV_NOPTS_VALUE ? second.start_time : 0;
            return static_cast<double>(packet->pts + packet->duration) * av_q2d(stream->time_base) -
                   static_cast<double>(start) / AV_TIME_BASE;
        }
        av_packet_unref(packet.get());
    }
    return endSec;
}

InputOutcome CopyPipeline::Run(int k, AVFormatContext* input, AVPacket* packet) {
    input_ = k;
    format_ = input;
    range_.reset();
    if (k == 0 && !OpenJobOutput(job_, output_))
        return InputOutcome::Failed;
    const bool seams = job_.joinMode || job_.removeStretch;
    if (k == 0 && seams && std::string_view(output_.context()->oformat->name) == "mp3")
        mp3Seam_ = std::make_unique<Mp3Seam>();
    if (k == 0 && seams && output_.CanChain()) {
        const int audio = av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        chained_ = job_.chainOggStreams && audio >= 0 &&
                   ChainsExactly(input->streams[audio]->codecpar->codec_id);
    }
    // FFmpeg reads a chained input as its last link's length and finds no time past its
    // first link: it is read link by link instead.
    if (const int audio = av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        audio >= 0) {
        const std::vector<OggLink> links = ChainedOggLinks(*input, *input->streams[audio]);
        if (!links.empty())
            return RunLinks(k, *input->streams[audio], links, packet);
    }
    if (k > 0 && chained_ && !StartLink())
        return InputOutcome::Failed;
    if (!MapStreams(k, input))
        return InputOutcome::Failed;
    if (k == 0 || chained_)
        rebase_.SetStreams(output_.context()->nb_streams);
    InputOutcome outcome = InputOutcome::Done;
    if (job_.removeStretch) {
        // The input without its stretch: the part before it, then the part after it.
        CutSpan before;
        before.beforeAnother = true;
        // The part after a removed Vorbis stretch starts playing at a whole packet, which
        // may lie before the stretch's start: the part before ends there instead, so no
        // audio plays twice.
        double beforeEnd = job_.startSec[k];
        if (chained_ && firstCodec_ == AV_CODEC_ID_VORBIS) {
            const double restart = VorbisRestartSec(k, job_.endSec[k]);
            if (restart > 0)
                beforeEnd = std::min(beforeEnd, restart);
        }
        outcome = RunStretch(input, packet, 0.0, beforeEnd, before);
        // The part after is found from where the part before stopped reading.
        if (range_)
            range_->ReturnToDemuxer();
        CutSpan after;
        after.afterAnother = true;
        if (outcome == InputOutcome::Done && chained_) {
            outcome =
                StartLink() && MapStreams(k, input) ? InputOutcome::Done : InputOutcome::Failed;
            rebase_.SetStreams(output_.context()->nb_streams);
        }
        if (outcome == InputOutcome::Done)
            outcome = RunStretch(input, packet, job_.endSec[k],
                                 std::numeric_limits<double>::infinity(), after);
    } else {
        // A cut keeps the packets that hold its stretch, found by timestamps; each input
        // of a copy join contributes the stretch its range gives, joined to the ones
        // around it.
        CutSpan around;
        around.afterAnother = job_.joinMode && k > 0;
        around.beforeAnother = job_.joinMode && k + 1 < job_.fileCount;
        outcome = RunStretch(input, packet, job_.startSec[k], job_.endSec[k], around);
    }
    if (outcome != InputOutcome::Failed && k + 1 >= job_.fileCount && !Flush())
        return InputOutcome::Failed;
    return outcome;
}

std::vector<LinkStretch> CopyPipeline::KeptStretches(int k,
                                                     const std::vector<OggLink>& links) const {
    if (!job_.removeStretch)
        return LinkStretches(links, job_.startSec[k], job_.endSec[k]);
    std::vector<LinkStretch> kept = LinkStretches(links, 0.0, job_.startSec[k]);
    const std::vector<LinkStretch> after =
        LinkStretches(links, job_.endSec[k], std::numeric_limits<double>::infinity());
    // The part after a removed Vorbis stretch starts playing at a whole packet: when the
    // part before ends in the same link, it ends there, so no audio plays twice.
    if (!kept.empty() && !after.empty() && kept.back().link == after.front().link &&
        firstCodec_ == AV_CODEC_ID_VORBIS) {
        const std::string& name = job_.inputNames[static_cast<std::size_t>(k)];
        if (const std::unique_ptr<OggLinkInput> second =
                OggLinkInput::Open(name, links[after.front().link])) {
            const double restart = VorbisRestartSec(second->format(), after.front().startSec);
            if (restart > 0)
                kept.back().endSec = std::min(kept.back().endSec, restart);
        }
    }
    kept.insert(kept.end(), after.begin(), after.end());
    return kept;
}

InputOutcome CopyPipeline::RunLinks(int k, const AVStream& audio, const std::vector<OggLink>& links,
                                    AVPacket* packet) {
    if (!output_.CanChain() || k >= static_cast<int>(job_.inputNames.size())) {
        RecordFailure(job_, kErrorChainedInput, false, JobStep::OpeningInput);
        return InputOutcome::Failed;
    }
    if (k == 0)
        firstCodec_ = audio.codecpar->codec_id;
    const std::vector<LinkStretch> stretches = KeptStretches(k, links);
    if (stretches.empty()) {
        RecordFailure(job_, kErrorNoAudioInRange, false, JobStep::ReadingRange);
        return InputOutcome::Failed;
    }
    // A cut inside one link is a plain cut of it. Otherwise the output is chained from
    // here on: an input written before as part of one stream ends where its stream ends.
    if (stretches.size() > 1 || job_.joinMode || job_.removeStretch)
        chained_ = true;
    const std::string& name = job_.inputNames[static_cast<std::size_t>(k)];
    for (std::size_t j = 0; j < stretches.size(); ++j) {
        const LinkStretch& stretch = stretches[j];
        const std::unique_ptr<OggLinkInput> link = OggLinkInput::Open(name, links[stretch.link]);
        if (!link) {
            RecordFailure(job_, AVERROR_INVALIDDATA, false, JobStep::OpeningInput);
            return InputOutcome::Failed;
        }
        AVFormatContext* input = &link->format();
        format_ = input;
        range_.reset();
        const bool afterAnother = k > 0 || j > 0;
        if ((afterAnother && !StartLink()) || !MapStreams(k, input))
            return InputOutcome::Failed;
        rebase_.SetStreams(output_.context()->nb_streams);
        CutSpan seams;
        seams.afterAnother = afterAnother;
        const InputOutcome outcome =
            RunStretch(input, packet, stretch.startSec, stretch.endSec, seams);
        range_.reset();  // it reads the link, which goes now
        format_ = nullptr;
        if (outcome != InputOutcome::Done)
            return outcome;
    }
    if (k + 1 >= job_.fileCount && !Flush())
        return InputOutcome::Failed;
    return InputOutcome::Done;
}

InputOutcome CopyPipeline::RunStretch(AVFormatContext* input, AVPacket* packet, double startSec,
                                      double endSec, CutSpan seams) {
    rebase_.StartInput();
    afterAnother_ = seams.afterAnother && !chained_;
    seams.samplesBefore = SamplesWritten();
    // A link of a chained output starts and ends as a cut of its own.
    CutSpan link;
    link.ownLink = true;
    range_.emplace(*input, startSec, endSec, output_.context()->oformat, chained_ ? link : seams);
    if (chained_ && input->duration > 0)
        output_.SetLinkLength(
            std::min(endSec, static_cast<double>(input->duration) / AV_TIME_BASE) - startSec);
    if (seams.afterAnother && mp3Seam_)
        mp3Seam_->StartInput();
    job_.seekByBytes = 0;
    if (!range_->Position(*input))
        PositionAtRangeStart(job_, input_, input);  // no time seek: the byte estimate

    for (;;) {
        if (CancelRequested(job_))
            return FinishEdges() && Flush() ? InputOutcome::Cancelled : InputOutcome::Failed;
        if (range_->Read(*input, *packet) < 0)
            break;  // end of file (or unreadable rest)
        const int source = packet->stream_index;
        if (source < 0 || static_cast<unsigned>(source) >= input->nb_streams ||
            outputIndex_[source] < 0) {
            av_packet_unref(packet);
            continue;
        }
        UpdateProgress(job_, input_);
        if (range_->Admit(*packet) != CutRange::Verdict::Write) {
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
    // A stretch after another may hold nothing (a removed stretch that ends within the
    // last packet): the output is what the stretches before gave.
    if (seams.afterAnother && output_.HasPackets() && !range_->ReachedStart())
        return InputOutcome::Done;
    if (!output_.HasPackets() || !range_->ReachedStart()) {
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

void CopyPipeline::ReadBefore(const AVPacket& packet) {
    if (mp3Seam_)
        mp3Seam_->AddReservoir(packet);
}

bool CopyPipeline::Write(AVPacket& packet) {
    const int target = outputIndex_[source_];
    const AVStream* out = output_.context()->streams[target];
    const AVRational from = format_->streams[source_]->time_base;
    packet.pts = av_rescale_q_rnd(packet.pts, from, out->time_base, kNearest);
    packet.dts = av_rescale_q_rnd(packet.dts, from, out->time_base, kNearest);
    packet.duration = av_rescale_q(packet.duration, from, out->time_base);
    packet.pos = -1;
    std::int64_t origin = AV_NOPTS_VALUE;
    if (rebase_.AwaitsFirst(target)) {
        const CutEdges* edges = EdgesOf(source_);
        const std::int64_t at = edges ? edges->Origin() : AV_NOPTS_VALUE;
        if (at != AV_NOPTS_VALUE)
            origin = av_rescale_q_rnd(at, from, out->time_base, kNearest);
    }
    rebase_.Shift(packet, target, origin, afterAnother_);
    if (packet.pts != AV_NOPTS_VALUE)
        job_.audioTime = linksBeforeSec_ + static_cast<double>(packet.pts) * av_q2d(out->time_base);
    packet.stream_index = target;
    if (mp3Seam_) {
        ff::PacketPtr ready;
        int ret = mp3Seam_->Take(packet, ready);
        if (ret >= 0 && ready)
            ret = output_.Write(ready.get());
        return ret >= 0 || RecordFailure(job_, ret, true, JobStep::WritingPacket);
    }
    const int ret = output_.Write(&packet);
    return ret >= 0 || RecordFailure(job_, ret, true, JobStep::WritingPacket);
}

bool CopyPipeline::Flush() {
    ff::PacketPtr held = mp3Seam_ ? mp3Seam_->Flush() : nullptr;
    if (!held)
        return true;
    const Mp3Seam::Counts& counts = mp3Seam_->counts();
    av_log(nullptr, AV_LOG_INFO, "MP3 seams: %d, %d bridged, %d frames muted\n", counts.seams,
           counts.bridged, counts.muted);
    const int ret = output_.Write(held.get());
    return ret >= 0 || RecordFailure(job_, ret, true, JobStep::WritingPacket);
}

std::int64_t CopyPipeline::SamplesWritten() const {
    const AVFormatContext* context = output_.context();
    if (context == nullptr || context->nb_streams == 0 || !output_.HeaderWritten())
        return 0;
    const AVStream* stream = context->streams[0];
    if (stream->codecpar->sample_rate <= 0)
        return 0;
    return av_rescale_q(rebase_.End(0), stream->time_base,
                        AVRational{1, stream->codecpar->sample_rate});
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
