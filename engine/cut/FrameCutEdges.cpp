#include "engine/cut/FrameCutEdges.h"

#include <algorithm>
#include <string_view>

namespace tolvane {

namespace {

// The longer of a Vorbis stream's two block sizes, from its identification header;
// 0 when it cannot be read.
int VorbisLongBlock(const AVCodecParameters& par) {
    if (par.extradata == nullptr || par.extradata_size < 30)
        return 0;
    const std::string_view data(reinterpret_cast<const char*>(par.extradata),
                                static_cast<std::size_t>(par.extradata_size));
    const std::size_t at = data.find("\x01vorbis");
    if (at == std::string_view::npos || at + 29 > data.size())
        return 0;
    const int exponent = (static_cast<unsigned char>(data[at + 28]) >> 4) & 0x0F;
    return exponent >= 6 && exponent <= 13 ? 1 << exponent : 0;
}

// Samples of a WMA (version 1 or 2) frame at `rate`.
int WmaFrameSamples(int rate) {
    if (rate <= 16000)
        return 512;
    return rate <= 22050 ? 1024 : 2048;
}

}  // namespace

FrameCutEdges::FrameCutEdges(const CutSpan& span, const AVCodecParameters& source)
    : CutEdges(span) {
    if (span.sampleRate <= 0)
        return;
    // A Vorbis decoder gives nothing for the first packet it reads (it only primes the
    // overlap): the packet before the start's is copied for that.
    if (source.codec_id == AV_CODEC_ID_VORBIS) {
        const int block = VorbisLongBlock(source);
        lead_ = ToTicks(block > 0 ? block / 2 : 1024);
    }
    // A WMA decoder's output lags its packets' times by most of a frame: the packet
    // after the end's is copied to play the end at all.
    if (source.codec_id == AV_CODEC_ID_WMAV1 || source.codec_id == AV_CODEC_ID_WMAV2)
        tail_ = ToTicks(WmaFrameSamples(span.sampleRate));
    // A file of raw MPEG audio is only recognised by two frames in a row.
    if (source.codec_id == AV_CODEC_ID_MP1 || source.codec_id == AV_CODEC_ID_MP2 ||
        source.codec_id == AV_CODEC_ID_MP3)
        minimumPackets_ = 2;
}

}  // namespace tolvane
