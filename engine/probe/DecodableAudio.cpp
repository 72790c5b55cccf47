#include "engine/probe/DecodableAudio.h"

#include "engine/ffmpeg/FfmpegSetup.h"

namespace tolvane {

namespace {

// Packets tried before an output counts as undecodable; a damaged head longer than
// this leaves nothing a player would reach either.
constexpr int kPacketsToTry = 256;

bool ReceivesSamples(AVCodecContext* codec, AVFrame* frame) {
    while (avcodec_receive_frame(codec, frame) >= 0) {
        const bool any = frame->nb_samples > 0;
        av_frame_unref(frame);
        if (any)
            return true;
    }
    return false;
}

}  // namespace

bool HoldsDecodableAudio(const std::string& path, const char* formatName) {
    // A muxer without a demuxer of its name (ipod, adts, ...) leaves it to probing.
    const AVInputFormat* format = formatName ? av_find_input_format(formatName) : nullptr;
    ff::InputFormatPtr input;
    if (ff::OpenInput(path.c_str(), input, format) < 0 ||
        avformat_find_stream_info(input.get(), nullptr) < 0)
        return false;
    const AVCodec* decoder = nullptr;  // asked for, so only a stream FFmpeg can decode is taken
    const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream < 0 || decoder == nullptr)
        return false;
    const ff::CodecContextPtr codec = ff::OpenDecoder(*input->streams[stream]);
    ff::PacketPtr packet(av_packet_alloc());
    ff::FramePtr frame(av_frame_alloc());
    if (!codec || !packet || !frame)
        return false;
    for (int i = 0; i < kPacketsToTry && av_read_frame(input.get(), packet.get()) >= 0; ++i) {
        const bool ours = packet->stream_index == stream;
        if (ours)
            avcodec_send_packet(codec.get(), packet.get());  // a bad packet is only skipped
        av_packet_unref(packet.get());
        if (ours && ReceivesSamples(codec.get(), frame.get()))
            return true;
    }
    avcodec_send_packet(codec.get(), nullptr);
    return ReceivesSamples(codec.get(), frame.get());
}

}  // namespace tolvane
