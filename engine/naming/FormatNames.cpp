#include "engine/naming/FormatNames.h"

#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane {

FormatNames ReadFormatNames(const std::string& path) {
    FormatNames names;
    ff::InputFormatPtr input;
    if (ff::OpenInput(path.c_str(), input) < 0)
        return names;
    // The header alone names the codec for every container the engine reads; without
    // it (raw streams) the stream information fills it in.
    auto findCodec = [&] {
        for (unsigned i = 0; i < input->nb_streams; ++i) {
            const AVCodecParameters* par = input->streams[i]->codecpar;
            if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->codec_id != AV_CODEC_ID_NONE)
                names.codec = avcodec_get_name(par->codec_id);  // the last one wins, as in a probe
        }
    };
    findCodec();
    if (names.codec.empty() && avformat_find_stream_info(input.get(), nullptr) >= 0)
        findCodec();
    names.container = input->iformat->name;
    return names;
}

}  // namespace tolvane
