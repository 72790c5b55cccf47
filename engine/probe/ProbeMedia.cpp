#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>
#include <optional>
#include <string_view>

#include "engine/cut/Mp3InfoFrame.h"
#include "engine/ffmpeg/FfmpegHolders.h"
#include "engine/ffmpeg/FfmpegSetup.h"
#include "engine/job/MediaEngine.h"
#include "engine/probe/OggLength.h"

namespace tolvane {

// The codec ids callers and the record lean on, by their FFmpeg values.
static_assert(AV_CODEC_ID_MJPEG == 7);
static_assert(AV_CODEC_ID_PNG == 61);
// DVD navigation data is matched by name: its numeric id differs between FFmpeg releases.
static_assert(AV_CODEC_ID_MP3 == kMp3CodecId);
static_assert(AV_CODEC_ID_AAC == 86018);
static_assert(AV_CODEC_ID_MP2 == 86016);
static_assert(AV_CODEC_ID_PCM_S16LE == 65536);
static_assert(AV_CODEC_ID_FLAC == 86028);
static_assert(AVERROR(ENOMEM) == static_cast<int>(ProbeResult::OutOfMemory));

namespace {

// The length a file states itself, in microseconds, where FFmpeg's duration is only an
// estimate or covers more: an MP3 Info header's frame count less the encoder delay and
// padding, an MP4 track's edit list (the movie's duration may cover the priming too),
// FLAC's sample count, an Ogg file's granule positions (OggLength.h). Nothing where the
// file states none.
std::optional<std::int64_t> StatedLength(AVFormatContext& input, const AVStream& stream) {
    const AVCodecParameters& par = *stream.codecpar;
    const std::string_view format(input.iformat->name);
    if ((format.find("mov") != std::string_view::npos || par.codec_id == AV_CODEC_ID_FLAC) &&
        stream.duration > 0 && stream.duration != AV_NOPTS_VALUE)
        return av_rescale_q(stream.duration, stream.time_base, AVRational{1, 1000000});
    if (const std::optional<std::int64_t> ogg = OggStatedLength(input, stream))
        return ogg;
    if (format != "mp3" || input.pb == nullptr || !(input.pb->seekable & AVIO_SEEKABLE_NORMAL))
        return std::nullopt;
    const std::int64_t back = avio_tell(input.pb);
    std::array<std::uint8_t, 2048> bytes{};
    std::optional<Mp3InfoTag> tag;
    if (avio_seek(input.pb, 0, SEEK_SET) >= 0) {
        const int head = avio_read(input.pb, bytes.data(), 10);
        const std::size_t at =
            head > 0 ? Mp3AudioOffset(bytes.data(), static_cast<std::size_t>(head)) : 0;
        if (avio_seek(input.pb, static_cast<std::int64_t>(at), SEEK_SET) >= 0) {
            const int got = avio_read(input.pb, bytes.data(), static_cast<int>(bytes.size()));
            if (got > 0)
                tag = ReadMp3InfoFrame(bytes.data(), static_cast<std::size_t>(got));
        }
    }
    avio_seek(input.pb, back, SEEK_SET);
    if (!tag || tag->frames <= 0 || !tag->hasLameTag || tag->sampleRate <= 0)
        return std::nullopt;
    const std::int64_t samples = tag->frames * tag->frameSamples - tag->delay - tag->padding;
    if (samples <= 0)
        return std::nullopt;
    return av_rescale(samples, 1000000, tag->sampleRate);
}

bool HasMp3Extension(std::string_view path) {
    auto dot = path.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    std::string_view ext = path.substr(dot + 1);
    if (ext.size() != 3)
        return false;
    return std::tolower(static_cast<unsigned char>(ext[0])) == 'm' &&
           std::tolower(static_cast<unsigned char>(ext[1])) == 'p' && ext[2] == '3';
}

void ClearResults(MediaJob& job) {
    job.mislabeled = {};
    // A refused file leaves nothing a caller could mistake for the previous file's values.
    job.probeStartUs = job.probeEndUs = job.probeDurationUs = AV_NOPTS_VALUE;
    job.audioBitRate = job.audioSampleRate = job.audioChannels = 0;
}

void NoteMislabel(MediaJob& job, AVCodecID codec) {
    switch (codec) {
        case AV_CODEC_ID_AAC:
            job.mislabeled.aac = true;
            break;
        case AV_CODEC_ID_MP2:
            job.mislabeled.mp2 = true;
            break;
        case AV_CODEC_ID_PCM_S16LE:
            job.mislabeled.wav = true;
            break;
        case AV_CODEC_ID_FLAC:
            job.mislabeled.flac = true;
            break;
        default:
            break;
    }
}

bool IsCoverPicture(const AVStream* stream) {
    return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

}  // namespace

ProbeResult ProbeMedia(MediaJob& job) {
    ClearResults(job);
    const std::string& path = job.probeFileName;
    // Only regular files are offered to jobs: opening a FIFO would block until some
    // writer came, and a device such as /dev/zero has no end to cut to.
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return ProbeResult::Unusable;

    ff::InputFormatPtr input;
    if (ff::OpenInput(path.c_str(), input) < 0)
        return ProbeResult::Unusable;
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        return ProbeResult::NoStreamInfo;

    const bool mp3Name = HasMp3Extension(path);
    bool hasVideo = false;
    bool hasUsableAudio = false;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        const AVCodecParameters* par = stream->codecpar;
        if (ff::IsSkippedCodec(par))
            continue;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            if (!IsCoverPicture(stream))
                hasVideo = true;
            continue;  // a video decoder is never needed: the file is refused anyway
        }
        if (par->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        int ret = 0;
        const ff::CodecContextPtr context = ff::OpenDecoder(*stream, &ret);
        if (ret == AVERROR_DECODER_NOT_FOUND)
            continue;
        if (!context)
            return static_cast<ProbeResult>(ret);  // AVERROR(ENOMEM) is OutOfMemory
        if (!ff::IsUsableSampleRate(context->sample_rate) || context->ch_layout.nb_channels <= 0)
            continue;

        hasUsableAudio = true;
        // The last audio stream examined wins.
        // A header can claim any 64-bit rate; the record holds 32 bits.
        job.audioBitRate = static_cast<std::int32_t>(std::clamp<std::int64_t>(
            context->bit_rate, 0, std::numeric_limits<std::int32_t>::max()));
        job.audioSampleRate = context->sample_rate;
        job.audioChannels = context->ch_layout.nb_channels;
        job.probeStartUs = 0;
        job.probeEndUs = job.probeDurationUs = input->duration;  // AV_NOPTS_VALUE if unknown
        if (const std::optional<std::int64_t> stated = StatedLength(*input, *stream)) {
            job.probeDurationUs = *stated;  // the end stays where the demuxer ends,
            // except where the demuxer sees only the last stream of a chained Ogg file
            if (std::string_view(input->iformat->name) == "ogg" && *stated > job.probeEndUs)
                job.probeEndUs = *stated;
        }
        if (mp3Name)
            NoteMislabel(job, par->codec_id);
    }
    av_dump_format(input.get(), 0, path.c_str(), 0);
    if (hasVideo || !hasUsableAudio)
        return ProbeResult::Unusable;
    return ProbeResult::Usable;
}

}  // namespace tolvane
