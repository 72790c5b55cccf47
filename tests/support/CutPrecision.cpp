#include "CutPrecision.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

namespace tolvane::testing {

namespace {

// How far from the asked start the cut is looked for.
constexpr double kSearchSec = 0.3;
// Samples of the cut's middle matched against the source; a shorter cut is matched whole.
constexpr std::size_t kProbeSamples = 2048;
constexpr double kHeadSec = 0.05;
// The least energy of a source window, relative to the probe's, that can match it.
constexpr double kQuietestWindow = 1e-3;

struct StreamShape {
    int rate = 0;
    int channels = 0;
};

// Raw AC-3 is read as AC-3: FFmpeg's content probe takes a few frames of it for
// something else about as often as not, whatever the extension says.
std::string FormatOption(const fs::path& file) {
    return file.extension() == ".ac3" ? "-f ac3 " : "";
}

StreamShape Probe(const fs::path& file) {
    std::string out;
    if (RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,channels "
                   "-of csv=p=0 " +
                       FormatOption(file) + ShellQuote(file.string()),
                   &out) != 0)
        return {};
    StreamShape shape;
    if (std::sscanf(out.c_str(), "%d,%d", &shape.rate, &shape.channels) != 2)
        return {};
    return shape;
}

std::vector<float> FirstChannel(const std::string& raw, int channels) {
    std::vector<float> samples;
    if (channels <= 0)
        return samples;
    const std::size_t frames = raw.size() / (sizeof(float) * channels);
    samples.resize(frames);
    for (std::size_t i = 0; i < frames; ++i)
        std::memcpy(&samples[i], raw.data() + i * sizeof(float) * channels, sizeof(float));
    return samples;
}

}  // namespace

std::string DecoderName(Decoder decoder) {
    switch (decoder) {
        case Decoder::Ffmpeg:
            return "ffmpeg";
        case Decoder::Mpg123:
            return "mpg123";
        case Decoder::Opusdec:
            return "opusdec";
        case Decoder::Gstreamer:
            return "gstreamer";
        case Decoder::GstreamerMpg123:
            return "gstreamer-mpg123audiodec";
        case Decoder::GstreamerFaad:
            return "gstreamer-faad";
        case Decoder::GstreamerA52dec:
            return "gstreamer-a52dec";
        case Decoder::Sox:
            return "sox";
        case Decoder::Oggdec:
            return "oggdec";
        case Decoder::GstreamerPlaybin:
            return "gstreamer-playbin";
    }
    return "?";
}

bool DecoderInstalled(Decoder decoder) {
    std::string program;
    switch (decoder) {
        case Decoder::Ffmpeg:
            program = "ffmpeg";
            break;
        case Decoder::Mpg123:
        case Decoder::Opusdec:
        case Decoder::Sox:
        case Decoder::Oggdec:
            program = DecoderName(decoder);
            break;
        case Decoder::Gstreamer:
            return RunCommand("gst-inspect-1.0 decodebin >/dev/null 2>&1") == 0;
        case Decoder::GstreamerMpg123:
            return RunCommand("gst-inspect-1.0 mpg123audiodec >/dev/null 2>&1") == 0;
        case Decoder::GstreamerFaad:
            return RunCommand("gst-inspect-1.0 faad >/dev/null 2>&1") == 0;
        case Decoder::GstreamerA52dec:
            return RunCommand("gst-inspect-1.0 a52dec >/dev/null 2>&1") == 0;
        case Decoder::GstreamerPlaybin:
            return RunCommand("gst-inspect-1.0 playbin >/dev/null 2>&1") == 0;
    }
    return RunCommand("command -v " + program + " >/dev/null 2>&1") == 0;
}

DecodedAudio Decode(const fs::path& file, Decoder decoder) {
    const StreamShape shape = Probe(file);
    if (shape.rate <= 0 || shape.channels <= 0)
        return {};
    const std::string name = ShellQuote(file.string());
    DecodedAudio audio;
    std::string command;
    audio.rate = shape.rate;
    switch (decoder) {
        case Decoder::Ffmpeg:
            command = "ffmpeg -nostdin -v error " + FormatOption(file) + "-i " + name +
                      " -map 0:a:0 -f f32le -";
            break;
        case Decoder::Mpg123:
            command = "mpg123 -q --gapless -e f32 -s " + name;
            break;
        case Decoder::Opusdec:
            // Opus always decodes at 48 kHz; opusdec would resample to the input rate.
            audio.rate = 48000;
            command = "opusdec --quiet --float --rate 48000 " + name + " -";
            break;
        case Decoder::Gstreamer:
        case Decoder::GstreamerMpg123:
        case Decoder::GstreamerFaad:
        case Decoder::GstreamerA52dec: {
            const char* rank = decoder == Decoder::GstreamerMpg123   ? "mpg123audiodec:MAX "
                               : decoder == Decoder::GstreamerFaad   ? "faad:MAX "
                               : decoder == Decoder::GstreamerA52dec ? "a52dec:MAX "
                                                                     : "";
            // Through wavenc, which keeps only the buffers' parts inside the segment, as
            // an audio sink does (raw buffers still hold what the clipping drops).
            command = "t=$(mktemp --suffix=.wav) && " +
                      std::string(*rank ? "GST_PLUGIN_FEATURE_RANK=" : "") + rank +
                      "gst-launch-1.0 -q filesrc location=" + name +
                      " ! decodebin ! audioconvert ! audio/x-raw,format=F32LE ! wavenc ! "
                      "filesink location=\"$t\" >/dev/null 2>&1 && ffmpeg -nostdin -v error -i "
                      "\"$t\" -f f32le -; s=$?; rm -f \"$t\"; exit $s";
            break;
        }
        case Decoder::GstreamerPlaybin:
            command = "t=$(mktemp --suffix=.wav) && gst-launch-1.0 -q playbin uri=" +
                      ShellQuote("file://" + fs::absolute(file).string()) +
                      " audio-sink=\"audioconvert ! audio/x-raw,format=F32LE ! wavenc ! "
                      "filesink location=$t\" >/dev/null 2>&1 && ffmpeg -nostdin -v error -i "
                      "\"$t\" -f f32le -; s=$?; rm -f \"$t\"; exit $s";
            break;
        case Decoder::Sox:
            command = "sox " + name + " -t f32 -";
            break;
        case Decoder::Oggdec:
            command = "oggdec -Q -o - " + name + " | ffmpeg -nostdin -v error -i - -f f32le -";
            break;
    }
    std::string raw;
    if (RunCommand(command + " 2>/dev/null", &raw) != 0)
        return {};
    audio.samples = FirstChannel(raw, shape.channels);
    return audio;
}

CutPrecision MeasureCut(const DecodedAudio& source, const DecodedAudio& cut, double startSec,
                        double endSec) {
    CutPrecision result;
    const std::vector<float>& src = source.samples;
    const std::vector<float>& seg = cut.samples;
    if (source.rate <= 0 || source.rate != cut.rate || seg.size() < 8 || src.size() < seg.size())
        return result;
    const double rate = source.rate;
    const std::size_t probeLength = std::min(seg.size(), kProbeSamples);
    const std::size_t probeAt = (seg.size() - probeLength) / 2;
    const long expected = std::lround(startSec * rate) + static_cast<long>(probeAt);
    const long reach = std::lround(kSearchSec * rate);
    const long lo = std::max(0L, expected - reach);
    const long hi = std::min(static_cast<long>(src.size() - probeLength), expected + reach);
    if (hi < lo)
        return result;

    double probeEnergy = 0;
    for (std::size_t i = 0; i < probeLength; ++i)
        probeEnergy += double(seg[probeAt + i]) * seg[probeAt + i];
    // Energy of the source under the probe, kept up to date as the probe slides.
    double windowEnergy = 0;
    for (std::size_t i = 0; i < probeLength; ++i)
        windowEnergy += double(src[lo + i]) * src[lo + i];
    double best = -2;
    long bestAt = lo;
    for (long at = lo; at <= hi; ++at) {
        if (at > lo) {
            const double out = src[at - 1], in = src[at + probeLength - 1];
            windowEnergy += in * in - out * out;
        }
        double dot = 0;
        const float* s = src.data() + at;
        const float* p = seg.data() + probeAt;
        for (std::size_t i = 0; i < probeLength; ++i)
            dot += double(s[i]) * p[i];
        // A window much quieter than the probe cannot hold it, and over silence the
        // running energy is no more than the rounding of its sums: r would blow up.
        const double energy = std::max(windowEnergy, probeEnergy * kQuietestWindow);
        const double r = dot / (std::sqrt(energy * probeEnergy) + 1e-12);
        if (r > best) {
            best = r;
            bestAt = at;
        }
    }
    const long offset = bestAt - static_cast<long>(probeAt);
    result.found = true;
    result.correlation = best;
    result.startErrorSamples = offset - std::lround(startSec * rate);
    // The cut cannot go on past the source's own end.
    const long askedEnd = std::min(std::lround(endSec * rate), static_cast<long>(src.size()));
    result.endErrorSamples = offset + static_cast<long>(seg.size()) - askedEnd;
    result.startErrorMs = result.startErrorSamples * 1000.0 / rate;
    result.endErrorMs = result.endErrorSamples * 1000.0 / rate;

    const std::size_t head = std::min(seg.size(), static_cast<std::size_t>(kHeadSec * rate));
    if (offset >= 0 && static_cast<std::size_t>(offset) + head <= src.size() && head > 0) {
        double diff = 0, energy = 0;
        for (std::size_t i = 0; i < head; ++i) {
            const double d = double(seg[i]) - src[offset + i];
            diff += d * d;
            energy += double(src[offset + i]) * src[offset + i];
        }
        result.headError = std::sqrt(diff / head) / (std::sqrt(energy / head) + 1e-9);
    }
    return result;
}

CutPrecision MeasureCut(const fs::path& source, const fs::path& cut, double startSec, double endSec,
                        Decoder decoder) {
    // The source as FFmpeg plays it is the reference: a player that ignores the source's
    // own gapless header would shift the reference as well.
    return MeasureCut(Decode(source, Decoder::Ffmpeg), Decode(cut, decoder), startSec, endSec);
}

std::string Describe(const CutPrecision& p) {
    if (!p.found)
        return "cut not found in the source";
    std::ostringstream text;
    text << "start " << p.startErrorSamples << " samples (" << p.startErrorMs << " ms), end "
         << p.endErrorSamples << " samples (" << p.endErrorMs << " ms), head error " << p.headError
         << ", correlation " << p.correlation;
    return text.str();
}

}  // namespace tolvane::testing
