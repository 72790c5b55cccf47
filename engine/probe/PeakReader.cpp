#include "engine/probe/PeakReader.h"

#include "engine/probe/AudioWindow.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#if defined(__SSE__)
#include <immintrin.h>
#endif

namespace tolvane {

namespace {

// A sample in [-1, 1] as the decoder's format scales it.
float AsFloat(float v) {
    return v;
}
float AsFloat(double v) {
    return static_cast<float>(v);
}
float AsFloat(std::int16_t v) {
    return static_cast<float>(v) / 32768.0f;
}
float AsFloat(std::int32_t v) {
    return static_cast<float>(v) / 2147483648.0f;
}
float AsFloat(std::uint8_t v) {
    return (static_cast<float>(v) - 128.0f) / 128.0f;
}

// Widens [low, high] to the extremes of `count` floats in a row, eight at a time where
// the processor has SSE (the decoder's float output, one plane per channel, allows it):
// this is most of the reader's own time.
void ExtendRange(const float* data, int count, float& low, float& high) {
    int k = 0;
#if defined(__SSE__)
    if (count >= 8) {
        __m128 lows0 = _mm_loadu_ps(data);
        __m128 lows1 = _mm_loadu_ps(data + 4);
        __m128 highs0 = lows0;
        __m128 highs1 = lows1;
        for (k = 8; k + 8 <= count; k += 8) {
            const __m128 a = _mm_loadu_ps(data + k);
            const __m128 b = _mm_loadu_ps(data + k + 4);
            lows0 = _mm_min_ps(lows0, a);
            lows1 = _mm_min_ps(lows1, b);
            highs0 = _mm_max_ps(highs0, a);
            highs1 = _mm_max_ps(highs1, b);
        }
        alignas(16) float lows[4];
        alignas(16) float highs[4];
        _mm_store_ps(lows, _mm_min_ps(lows0, lows1));
        _mm_store_ps(highs, _mm_max_ps(highs0, highs1));
        for (int lane = 0; lane < 4; ++lane) {
            low = std::min(low, lows[lane]);
            high = std::max(high, highs[lane]);
        }
    }
#endif
    for (; k < count; ++k) {
        low = std::min(low, data[k]);
        high = std::max(high, data[k]);
    }
}

}  // namespace

PeakReader::PeakReader(std::string path, int columns)
    : path_(std::move(path)), columns_(std::max(columns, 1)), thread_(&PeakReader::Read, this) {}

PeakReader::~PeakReader() {
    cancelled_ = true;
    thread_.join();
}

std::vector<ColumnPeak> PeakReader::Peaks() const {
    std::lock_guard lock(mutex_);
    return published_;
}

void PeakReader::Read() {
    if (!ReadAll() && !cancelled_)
        failed_ = true;
    done_ = true;
}

void PeakReader::Publish(int finished) {
    finished = std::clamp(finished, 0, columns_);
    std::lock_guard lock(mutex_);
    if (finished > static_cast<int>(published_.size()))
        published_.assign(working_.begin(), working_.begin() + finished);
}

template <typename Sample>
void PeakReader::Take(const std::uint8_t* const* planes, bool planar, int channels, int samples) {
    for (int i = 0; i < samples;) {
        const long long column = static_cast<long long>((samplesTaken_ + i) / samplesPerColumn_);
        const int at = static_cast<int>(std::min<long long>(column, columns_ - 1));
        // The samples of this frame that fall into the same column.
        const long long columnEnd =
            static_cast<long long>(std::ceil((column + 1) * samplesPerColumn_));
        const int run = static_cast<int>(
            std::clamp<long long>(columnEnd - (samplesTaken_ + i), 1, samples - i));
        float low = working_[at].low;
        float high = working_[at].high;
        for (int c = 0; c < channels; ++c) {
            const auto* data = reinterpret_cast<const Sample*>(planes[planar ? c : 0]);
            if constexpr (std::is_same_v<Sample, float>) {
                if (planar || channels == 1) {
                    ExtendRange(data + i, run, low, high);
                    continue;
                }
            }
            const std::size_t stride = planar ? 1 : static_cast<std::size_t>(channels);
            const std::size_t first = planar ? i : static_cast<std::size_t>(i) * channels + c;
            for (int k = 0; k < run; ++k) {
                const float v = AsFloat(data[first + static_cast<std::size_t>(k) * stride]);
                low = v < low ? v : low;
                high = v > high ? v : high;
            }
        }
        working_[at] = {std::max(low, -1.0f), std::min(high, 1.0f)};
        i += run;
    }
    samplesTaken_ += samples;
    Publish(static_cast<int>(samplesTaken_ / samplesPerColumn_));
}

bool PeakReader::TakeFrame(const AVFrame& frame) {
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int channels = frame.ch_layout.nb_channels;
    const std::uint8_t* const* planes = frame.extended_data;
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_FLT:
            Take<float>(planes, planar, channels, frame.nb_samples);
            return true;
        case AV_SAMPLE_FMT_DBL:
            Take<double>(planes, planar, channels, frame.nb_samples);
            return true;
        case AV_SAMPLE_FMT_S16:
            Take<std::int16_t>(planes, planar, channels, frame.nb_samples);
            return true;
        case AV_SAMPLE_FMT_S32:
            Take<std::int32_t>(planes, planar, channels, frame.nb_samples);
            return true;
        case AV_SAMPLE_FMT_U8:
            Take<std::uint8_t>(planes, planar, channels, frame.nb_samples);
            return true;
        default:
            return false;  // 64-bit integers: no decoder of a format we read makes them
    }
}

bool PeakReader::ReadAll() {
    AudioWindowSource source(path_);
    if (!source.Ready())
        return false;
    const double seconds = static_cast<double>(source.DurationUs()) / 1e6;
    if (seconds <= 0)
        return false;
    const int rate = source.SampleRate();
    samplesPerColumn_ = std::max(seconds * rate / columns_, 1.0);
    columnSeconds_ = samplesPerColumn_ / rate;
    seconds_ = seconds;
    working_.assign(static_cast<size_t>(columns_), ColumnPeak{});
    bool taken = true;
    source.Read(0, std::numeric_limits<std::int64_t>::max(),
                [&](const AVFrame& frame, std::int64_t startUs) {
                    if (std::isnan(startSeconds_.load()))
                        startSeconds_ = static_cast<double>(startUs) / 1e6;
                    taken = TakeFrame(frame);
                    return taken && !cancelled_;
                });
    if (!taken || cancelled_)
        return false;
    Publish(columns_);  // the file's end: every column is final, those past it silent
    return true;
}

}  // namespace tolvane
