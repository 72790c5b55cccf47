#include "engine/cut/MarkStep.h"

#include "engine/cut/CutEdges.h"
#include "engine/cut/FrameCutEdges.h"
#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane {

std::int64_t MarkStepUs(const std::string& path) {
    ff::InputFormatPtr input;
    if (ff::OpenInput(path.c_str(), input) < 0 ||
        avformat_find_stream_info(input.get(), nullptr) < 0)
        return kExactMarkStepUs;
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0)
        return kExactMarkStepUs;
    const AVStream& stream = *input->streams[index];
    const AVCodecParameters& par = *stream.codecpar;
    if (par.sample_rate <= 0)
        return kExactMarkStepUs;
    // The cut writes the source's own container: its edges decide.
    CutSpan span;
    span.timeBase = stream.time_base;
    span.sampleRate = par.sample_rate;
    span.end = stream.duration > 0 ? stream.duration : 1;
    const std::unique_ptr<CutEdges> edges =
        MakeCutEdges(*input, index, av_guess_format(nullptr, path.c_str(), nullptr), span);
    if (dynamic_cast<const FrameCutEdges*>(edges.get()) == nullptr || par.frame_size <= 0)
        return kExactMarkStepUs;
    return std::int64_t(par.frame_size) * 1000000 / par.sample_rate;
}

}  // namespace tolvane
