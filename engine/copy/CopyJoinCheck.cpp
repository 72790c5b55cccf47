#include "engine/copy/CopyJoinCheck.h"

#include <string_view>
#include <vector>

#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane {

namespace {

const AVCodecParameters* FirstAudio(const AVFormatContext& context, int* count) {
    const AVCodecParameters* first = nullptr;
    *count = 0;
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        const AVCodecParameters* par = context.streams[i]->codecpar;
        if (ff::IsSkippedCodec(par) || !ff::HasAudioParameters(par))
            continue;
        ++*count;
        if (first == nullptr)
            first = par;
    }
    return first;
}

bool IsPcm(AVCodecID id) {
    return id >= AV_CODEC_ID_PCM_S16LE && id < AV_CODEC_ID_ADPCM_IMA_QT;
}

std::string ChannelText(const AVChannelLayout& layout) {
    char name[64] = {};
    av_channel_layout_describe(&layout, name, sizeof name);
    const int n = layout.nb_channels;
    return std::to_string(n) + (n == 1 ? " channel (" : " channels (") + name + ")";
}

// The packets of a Xiph-laced header set (Vorbis's extradata): sizes of all but the
// last are laced, the last takes the rest. Empty when the data is no such set.
std::vector<std::string_view> XiphHeaders(const AVCodecParameters& par) {
    if (par.extradata == nullptr || par.extradata_size < 3)
        return {};
    const auto* data = par.extradata;
    const int size = par.extradata_size;
    const int count = data[0] + 1;
    int at = 1;
    std::vector<int> sizes;
    for (int i = 0; i + 1 < count; ++i) {
        int length = 0;
        while (at < size && data[at] == 255)
            length += data[at++];
        if (at >= size)
            return {};
        sizes.push_back(length + data[at++]);
    }
    std::vector<std::string_view> headers;
    for (const int length : sizes) {
        if (at + length > size)
            return {};
        headers.emplace_back(reinterpret_cast<const char*>(data + at),
                             static_cast<std::size_t>(length));
        at += length;
    }
    headers.emplace_back(reinterpret_cast<const char*>(data + at),
                         static_cast<std::size_t>(size - at));
    return headers;
}

// Vorbis packets decode only with the code books of the setup header they were made
// with (the comment header between may differ).
bool SameVorbisSetup(const AVCodecParameters& a, const AVCodecParameters& b) {
    const std::vector<std::string_view> x = XiphHeaders(a);
    const std::vector<std::string_view> y = XiphHeaders(b);
    return x.size() == 3 && y.size() == 3 && x[0] == y[0] && x[2] == y[2];
}

// OpusHead from the channel mapping on (byte 18); the pre-skip and gain may differ.
std::string_view OpusMapping(const AVCodecParameters& par) {
    if (par.extradata == nullptr || par.extradata_size < 19)
        return {};
    return {reinterpret_cast<const char*>(par.extradata + 18),
            static_cast<std::size_t>(par.extradata_size - 18)};
}

std::string ProfileName(const AVCodecParameters& par) {
    const char* name = avcodec_profile_name(par.codec_id, par.profile);
    return name != nullptr ? name : std::to_string(par.profile);
}

}  // namespace

std::string DescribeCopyJoinDifference(const AVFormatContext& other, const AVFormatContext& first,
                                       bool chainOggStreams) {
    int otherCount = 0;
    int firstCount = 0;
    const AVCodecParameters* b = FirstAudio(other, &otherCount);
    const AVCodecParameters* a = FirstAudio(first, &firstCount);
    if (b == nullptr || a == nullptr)
        return "holds no audio stream to copy";
    const std::string_view container = other.iformat->name;
    if (container != first.iformat->name)
        return "a " + std::string(container) + " file, the first input is a " +
               first.iformat->name + " file";
    if (otherCount != firstCount)
        return std::to_string(otherCount) + " audio streams, the first input has " +
               std::to_string(firstCount);
    if (b->codec_id != a->codec_id) {
        if (IsPcm(b->codec_id) && IsPcm(a->codec_id))
            return std::string("PCM samples ") + (avcodec_get_name(b->codec_id) + 4) +
                   ", the first input's are " + (avcodec_get_name(a->codec_id) + 4);
        return std::string("codec ") + avcodec_get_name(b->codec_id) + ", the first input's is " +
               avcodec_get_name(a->codec_id);
    }
    if (b->sample_rate != a->sample_rate)
        return std::to_string(b->sample_rate) + " Hz, the first input is " +
               std::to_string(a->sample_rate) + " Hz";
    if (av_channel_layout_compare(&b->ch_layout, &a->ch_layout) != 0)
        return ChannelText(b->ch_layout) + ", the first input has " + ChannelText(a->ch_layout);
    if (b->bits_per_raw_sample != a->bits_per_raw_sample && b->bits_per_raw_sample > 0 &&
        a->bits_per_raw_sample > 0)
        return std::to_string(b->bits_per_raw_sample) + "-bit samples, the first input has " +
               std::to_string(a->bits_per_raw_sample) + "-bit samples";
    if (b->codec_id == AV_CODEC_ID_AAC && b->profile != a->profile)
        return "AAC profile " + ProfileName(*b) + ", the first input's is " + ProfileName(*a);
    // Each input of a chained Ogg output is a stream with its own headers.
    if (chainOggStreams && container == "ogg")
        return {};
    if (b->codec_id == AV_CODEC_ID_VORBIS && !SameVorbisSetup(*b, *a))
        return "Vorbis made with other settings (its code books differ from the first "
               "input's)";
    if (b->codec_id == AV_CODEC_ID_OPUS && OpusMapping(*b) != OpusMapping(*a))
        return "another Opus channel mapping than the first input's";
    return {};
}

std::optional<CopyJoinRefusal> CheckCopyJoin(std::span<const std::string> inputs,
                                             bool chainOggStreams) {
    ff::InputFormatPtr first;
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        ff::InputFormatPtr opened;
        int ret = ff::OpenInput(inputs[k].c_str(), opened);
        if (ret >= 0)
            ret = avformat_find_stream_info(opened.get(), nullptr);
        if (ret < 0) {
            char text[AV_ERROR_MAX_STRING_SIZE] = {};
            av_strerror(ret, text, sizeof text);
            return CopyJoinRefusal{k, std::string("cannot be read: ") + text};
        }
        if (k == 0) {
            int count = 0;
            if (FirstAudio(*opened, &count) == nullptr)
                return CopyJoinRefusal{k, "holds no audio stream to copy"};
            first = std::move(opened);
            continue;
        }
        std::string difference = DescribeCopyJoinDifference(*opened, *first, chainOggStreams);
        if (!difference.empty())
            return CopyJoinRefusal{k, std::move(difference)};
    }
    return std::nullopt;
}

}  // namespace tolvane
