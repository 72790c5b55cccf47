#pragma once
// Where a cut really starts and ends, as a decoder plays it: the source and the cut are
// decoded to float samples, the cut is found in the source by normalised
// cross-correlation, and its edges are compared with the asked stretch.

#include <string>
#include <vector>

#include "MediaFixtures.h"

namespace tolvane::testing {

// The players a cut is checked with. GStreamer plays through `decodebin` as desktop
// players do (with gst-libav: FFmpeg's decoders); GstreamerMpg123 and GstreamerFaad force
// the decoders it picks without gst-libav, GstreamerA52dec liba52's AC-3 decoder. Sox
// decodes MP3 with libmad, Ogg with libvorbisfile; Oggdec is libvorbisfile's own tool.
// GstreamerPlaybin plays through `playbin`, which (unlike a `decodebin` line) follows a
// chained Ogg file's streams.
enum class Decoder {
    Ffmpeg,
    Mpg123,
    Opusdec,
    Gstreamer,
    GstreamerMpg123,
    GstreamerFaad,
    GstreamerA52dec,
    Sox,
    Oggdec,
    GstreamerPlaybin
};
std::string DecoderName(Decoder decoder);
// Whether the program that plays with `decoder` is installed (tests skip it otherwise,
// saying so; `scripts/setup.sh --test` installs them all).
bool DecoderInstalled(Decoder decoder);

// The first channel of a file as `decoder` plays it (gapless headers, edit lists and
// pre-skip honoured where the decoder knows them). Empty when it cannot be decoded.
struct DecodedAudio {
    int rate = 0;
    std::vector<float> samples;
};
DecodedAudio Decode(const fs::path& file, Decoder decoder);

struct CutPrecision {
    bool found = false;
    double correlation = 0;
    // Positive: the cut starts (ends) after the asked point, in samples of the cut's rate.
    long startErrorSamples = 0;
    long endErrorSamples = 0;
    double startErrorMs = 0;
    double endErrorMs = 0;
    // RMS of the difference over the cut's first 50 ms, relative to the source's RMS there:
    // 0 when the head decodes as in the source, about 1 or more when it is damaged.
    double headError = 1;
};
// Measures `cut` against `source` for the stretch [startSec, endSec) of the source (an
// end past the decoded source is its end).
CutPrecision MeasureCut(const DecodedAudio& source, const DecodedAudio& cut, double startSec,
                        double endSec);
// Decodes the cut with `decoder`, the source with FFmpeg, and measures.
CutPrecision MeasureCut(const fs::path& source, const fs::path& cut, double startSec, double endSec,
                        Decoder decoder = Decoder::Ffmpeg);
std::string Describe(const CutPrecision& precision);

}  // namespace tolvane::testing
