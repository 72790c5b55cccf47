#include "engine/job/JobOutput.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>

#include "engine/cut/Mp3InfoFrame.h"
#include "engine/cut/Mp4MovieDuration.h"

extern "C" {
#include <libavutil/intreadwrite.h>
#include <libavutil/random_seed.h>
}

namespace tolvane {

namespace {

constexpr int kFlacStreamInfoSize = 34;

// A copied FLAC stream header carries the source's sample count and checksum; the cut
// holds other samples, so it gets its own count and the checksum of what was written, or
// "checksum unknown" (all zero) when that could not be taken.
void SetFlacTotals(AVCodecParameters* par, std::int64_t samples,
                   const std::optional<std::array<std::uint8_t, 16>>& md5) {
    if (par->extradata == nullptr || par->extradata_size < kFlacStreamInfoSize)
        return;
    std::uint8_t* info = par->extradata;
    const std::uint64_t total = static_cast<std::uint64_t>(samples) & 0xFFFFFFFFFULL;
    info[13] = static_cast<std::uint8_t>((info[13] & 0xF0) | ((total >> 32) & 0x0F));
    info[14] = static_cast<std::uint8_t>(total >> 24);
    info[15] = static_cast<std::uint8_t>(total >> 16);
    info[16] = static_cast<std::uint8_t>(total >> 8);
    info[17] = static_cast<std::uint8_t>(total);
    for (int i = 0; i < 16; ++i)
        info[18 + i] = md5 ? (*md5)[static_cast<std::size_t>(i)] : 0;
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

bool JobOutput::CanChain() const {
    if (!context_)
        return false;
    const std::string_view name(context_->oformat->name);
    return name == "ogg" || name == "opus";  // one muxer under two names
}

int JobOutput::StartLink() {
    if (!CanChain())
        return AVERROR(EINVAL);
    if (headerWritten_) {
        const int ret = av_write_trailer(context_.get());
        if (ret < 0)
            return ret;
        if (file_.error() < 0)
            return file_.error();
        ++linksEnded_;
    }
    const AVOutputFormat* format = context_->oformat;
    context_->pb = nullptr;  // the file stays open for the next stream
    context_.reset();
    writtenDuration_.clear();
    headerWritten_ = false;
    AVFormatContext* raw = nullptr;
    const int ret = avformat_alloc_output_context2(&raw, format, nullptr, path_.c_str());
    if (ret < 0 || raw == nullptr)
        return ret < 0 ? ret : AVERROR(ENOMEM);
    context_.reset(raw);
    context_->flags |= AVFMT_FLAG_BITEXACT;
    return 0;
}

int JobOutput::HeaderOptions(ff::Dictionary& options) {
    // The movie's time scale at the sample rate states an edit list to the sample; at
    // the muxer's 1000 it ends up to a millisecond late.
    if (IsMp4() && context_->nb_streams > 0 && context_->streams[0]->codecpar->sample_rate > 0)
        return av_dict_set_int(options.address(), "movie_timescale",
                               context_->streams[0]->codecpar->sample_rate, 0);
    if (!CanChain())
        return 0;
    // Streams that follow one another in a file must not share a serial number; a
    // random one keeps files joined later apart as well. The muxer numbers a link's
    // streams from the offset on.
    const unsigned count = context_->nb_streams;
    unsigned offset = 0;
    const auto taken = [&](unsigned at) {
        for (unsigned used : serials_) {
            if (used >= at && used < at + count)
                return true;
        }
        return false;
    };
    do {
        offset = av_get_random_seed() % (static_cast<unsigned>(INT32_MAX) - count);
    } while (taken(offset));
    for (unsigned i = 0; i < count; ++i)
        serials_.push_back(offset + i);
    int ret = av_dict_set_int(options.address(), "serial_offset", offset, 0);
    constexpr double kLongestPageSec = 1.0;  // the muxer's own choice
    constexpr double kShortestPageSec = 0.01;
    if (ret >= 0 && linkSeconds_ > 0 && linkSeconds_ < 4 * kLongestPageSec) {
        const double page = std::max(kShortestPageSec, linkSeconds_ / 4);
        ret = av_dict_set_int(options.address(), "page_duration",
                              static_cast<std::int64_t>(page * 1e6), 0);
    }
    return ret;
}

int JobOutput::WriteHeader() {
    av_dump_format(context_.get(), 0, path_.c_str(), 1);
    if (linksEnded_ > 0) {
        context_->pb = file_.io();
        context_->flags |= AVFMT_FLAG_CUSTOM_IO;
        context_->flush_packets = 0;
    } else if (!(context_->oformat->flags & AVFMT_NOFILE)) {
        int ret = file_.CreateFree(path_);
        if (ret < 0)
            return ret;
        path_ = file_.path();
        context_->pb = file_.io();
        context_->flags |= AVFMT_FLAG_CUSTOM_IO;
        // Let the I/O buffer fill before it is written out: one write per packet
        // costs more than the copy itself on a cut.
        context_->flush_packets = 0;
    }
    ff::Dictionary options;
    int ret = HeaderOptions(options);
    if (ret >= 0)
        ret = avformat_write_header(context_.get(), options.address());
    if (ret < 0)
        return ret;
    headerWritten_ = true;
    if (sumFlacSamples_ && std::string_view(context_->oformat->name) == "flac" &&
        context_->nb_streams == 1 && context_->streams[0]->codecpar->codec_id == AV_CODEC_ID_FLAC)
        flacChecksum_ = std::make_unique<FlacChecksum>(*context_->streams[0]);
    return file_.error();
}

int JobOutput::Write(AVPacket* packet) {
    const int index = packet->stream_index;
    const std::int64_t duration = packet->duration;
    if (packetsWritten_ == 0 && packet->size >= 2)
        mp3CrcProtected_ = (packet->data[1] & 1) == 0;
    if (flacChecksum_)
        flacChecksum_->Add(*packet);
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
        SetFlacTotals(
            par,
            av_rescale_q(writtenDuration_[i], stream->time_base, AVRational{1, par->sample_rate}),
            flacChecksum_ ? flacChecksum_->Result() : std::nullopt);
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

// The MP3 muxer names itself in the Info frame's tag and writes the frame without CRC;
// players that take the encoder delay and padding only from a "LAME" tag at the head of
// a stream of like frames then play the cut's lead-in and its end's padding.
int JobOutput::FixMp3InfoHeader() {
    if (std::string_view(context_->oformat->name) != "mp3" || context_->pb == nullptr ||
        file_.io() == nullptr)
        return 0;
    avio_flush(context_->pb);
    std::array<std::uint8_t, 10> head{};
    const int headBytes = file_.ReadAt(0, head.data(), head.size());
    if (headBytes < 0)
        return headBytes;
    const std::size_t at = Mp3AudioOffset(head.data(), static_cast<std::size_t>(headBytes));
    std::array<std::uint8_t, 2048> frame{};  // the largest MP3 frame is 1441 bytes
    const int size = file_.ReadAt(static_cast<std::int64_t>(at), frame.data(), frame.size());
    if (size < 0)
        return size;
    if (!FixMp3InfoFrame(frame.data(), static_cast<std::size_t>(size), mp3CrcProtected_))
        return 0;  // no Info frame: nothing to fix
    return file_.WriteAt(static_cast<std::int64_t>(at), frame.data(),
                         static_cast<std::size_t>(size));
}

bool JobOutput::IsMp4() const {
    const std::string_view name(context_->oformat->name);
    return name == "mp4" || name == "ipod" || name == "mov";
}

int JobOutput::FixMp4MovieDuration() {
    if (!IsMp4() || context_->pb == nullptr || file_.io() == nullptr)
        return 0;
    avio_flush(context_->pb);
    constexpr std::uint64_t kLargestMovieBox = 64 << 20;
    std::int64_t at = 0;
    for (;;) {
        std::array<std::uint8_t, 16> header{};
        const int got = file_.ReadAt(at, header.data(), header.size());
        if (got < 8)
            return got < 0 ? got : 0;
        std::uint64_t size = AV_RB32(header.data());
        if (size == 1 && got == 16)
            size = AV_RB64(header.data() + 8);
        if (size < 8)
            return 0;  // a box to the file's end, or broken: no movie box to fix
        if (std::memcmp(header.data() + 4, "moov", 4) != 0) {
            at += static_cast<std::int64_t>(size);
            continue;
        }
        if (size > kLargestMovieBox)
            return 0;
        std::vector<std::uint8_t> moov(static_cast<std::size_t>(size));
        const int read = file_.ReadAt(at, moov.data(), moov.size());
        if (read < 0 || static_cast<std::size_t>(read) != moov.size())
            return read < 0 ? read : 0;
        const std::optional<MovieDurationPatch> patch =
            PatchMovieDuration(moov.data(), moov.size());
        if (!patch)
            return 0;
        return file_.WriteAt(at + static_cast<std::int64_t>(patch->offset), patch->bytes.data(),
                             patch->bytes.size());
    }
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
        if (ret >= 0)
            ret = FixMp3InfoHeader();
        if (ret >= 0)
            ret = FixMp4MovieDuration();
    }
    context_->pb = nullptr;
    const int closeError = file_.Close();
    if (ret >= 0)
        ret = closeError;
    // A stream begun after others and left without a packet adds nothing to the file.
    if (ret >= 0 && !headerWritten_ && linksEnded_ == 0)
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
