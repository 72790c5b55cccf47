#include "engine/job/JobOutput.h"

#include <string_view>

namespace tolvane {

namespace {

constexpr int kFlacStreamInfoSize = 34;

// A copied FLAC stream header carries the source's sample count and checksum; the cut
// holds fewer samples, so it gets its own count and "checksum unknown" (all zero).
void SetFlacTotalSamples(AVCodecParameters* par, std::int64_t samples) {
    if (par->extradata == nullptr || par->extradata_size < kFlacStreamInfoSize)
        return;
    std::uint8_t* info = par->extradata;
    const std::uint64_t total = static_cast<std::uint64_t>(samples) & 0xFFFFFFFFFULL;
    info[13] = static_cast<std::uint8_t>((info[13] & 0xF0) | ((total >> 32) & 0x0F));
    info[14] = static_cast<std::uint8_t>(total >> 24);
    info[15] = static_cast<std::uint8_t>(total >> 16);
    info[16] = static_cast<std::uint8_t>(total >> 8);
    info[17] = static_cast<std::uint8_t>(total);
    for (int i = 18; i < kFlacStreamInfoSize; ++i)
        info[i] = 0;
}

}  // namespace

int JobOutput::Open(const std::string& path) {
    path_ = path;
    AVFormatContext* raw = nullptr;
    int ret = avformat_alloc_output_context2(&raw, nullptr, nullptr, path.c_str());
    if (ret < 0 || raw == nullptr)
        return ret < 0 ? ret : AVERROR(EINVAL);
    context_.reset(raw);
    // No "encoder" tag: the output carries no tags at all.
    context_->flags |= AVFMT_FLAG_BITEXACT;
    return 0;
}

AVStream* JobOutput::AddStream() {
    AVStream* stream = avformat_new_stream(context_.get(), nullptr);
    if (stream != nullptr)
        writtenDuration_.push_back(0);
    return stream;
}

int JobOutput::WriteHeader() {
    av_dump_format(context_.get(), 0, path_.c_str(), 1);
    if (!(context_->oformat->flags & AVFMT_NOFILE)) {
        int ret = file_.Create(path_);
        if (ret < 0)
            return ret;
        context_->pb = file_.io();
        context_->flags |= AVFMT_FLAG_CUSTOM_IO;
        // Let the I/O buffer fill before it is written out: one write per packet
        // costs more than the copy itself on a cut.
        context_->flush_packets = 0;
    }
    int ret = avformat_write_header(context_.get(), nullptr);
    if (ret < 0)
        return ret;
    headerWritten_ = true;
    return file_.error();
}

int JobOutput::Write(AVPacket* packet) {
    const int index = packet->stream_index;
    const std::int64_t duration = packet->duration;
    int ret = av_interleaved_write_frame(context_.get(), packet);
    if (ret < 0)
        return ret;
    if (file_.error() < 0)
        return file_.error();
    ++packetsWritten_;
    if (index >= 0 && static_cast<size_t>(index) < writtenDuration_.size() && duration > 0)
        writtenDuration_[index] += duration;
    return 0;
}

void JobOutput::FixStreamHeaders() {
    for (unsigned i = 0; i < context_->nb_streams; ++i) {
        AVStream* stream = context_->streams[i];
        AVCodecParameters* par = stream->codecpar;
        if (par->codec_id != AV_CODEC_ID_FLAC || par->sample_rate <= 0)
            continue;
        SetFlacTotalSamples(par, av_rescale_q(writtenDuration_[i], stream->time_base,
                                              AVRational{1, par->sample_rate}));
    }
}

// The raw FLAC muxer only rewrites its stream header from an encoder's update, so the
// corrected header of a copied stream is put in place here: "fLaC", a 4-byte block
// header, then the stream information.
int JobOutput::RewriteFlacStreamInfo() {
    if (std::string_view(context_->oformat->name) != "flac" || context_->nb_streams != 1 ||
        context_->pb == nullptr || !(context_->pb->seekable & AVIO_SEEKABLE_NORMAL))
        return 0;
    const AVCodecParameters* par = context_->streams[0]->codecpar;
    if (par->extradata == nullptr || par->extradata_size < kFlacStreamInfoSize)
        return 0;
    AVIOContext* pb = context_->pb;
    const std::int64_t end = avio_tell(pb);
    if (avio_seek(pb, 8, SEEK_SET) < 0)
        return file_.error() < 0 ? file_.error() : AVERROR(EIO);
    avio_write(pb, par->extradata, kFlacStreamInfoSize);
    if (avio_seek(pb, end, SEEK_SET) < 0)
        return AVERROR(EIO);
    avio_flush(pb);
    return pb->error < 0 ? pb->error : file_.error();
}

int JobOutput::Finish() {
    if (!context_)
        return 0;
    int ret = 0;
    if (headerWritten_) {
        FixStreamHeaders();
        ret = av_write_trailer(context_.get());
        if (ret >= 0)
            ret = RewriteFlacStreamInfo();
    }
    context_->pb = nullptr;
    const int closeError = file_.Close();
    if (ret >= 0)
        ret = closeError;
    if (ret >= 0 && !headerWritten_)
        ret = AVERROR(EINVAL);
    context_.reset();
    if (ret < 0)
        file_.Remove();
    return ret;
}

void JobOutput::Discard() {
    if (context_)
        context_->pb = nullptr;
    context_.reset();
    file_.Remove();
}

}  // namespace tolvane
