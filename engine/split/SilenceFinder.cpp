#include "engine/split/SilenceFinder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <optional>
#include <type_traits>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "engine/ffmpeg/FfmpegSetup.h"
#include "engine/split/QuietRuns.h"
#include "engine/split/SplitPoints.h"

namespace tolvane::split {

namespace {

// A sample is loud at or beyond these values of its format: |x| >= limit for floats,
// x >= high or x <= low for integers (held wider than the sample, so full scale fits).
template <typename Sample>
struct Bounds {
    using Wide = std::conditional_t<std::is_floating_point_v<Sample>, Sample, std::int64_t>;
    Wide low = 0;
    Wide high = 0;

    static Bounds Of(double linear) {
        if constexpr (std::is_floating_point_v<Sample>) {
            return {-static_cast<Sample>(linear), static_cast<Sample>(linear)};
        } else if constexpr (std::is_same_v<Sample, std::uint8_t>) {
            const auto t = static_cast<std::int64_t>(std::ceil(linear * 128));
            return {128 - t, 128 + t};
        } else {
            const double scale = std::pow(2.0, 8 * sizeof(Sample) - 1);
            const auto t = static_cast<std::int64_t>(std::ceil(linear * scale));
            return {-t, t};
        }
    }
    bool Loud(Sample x) const {
        if constexpr (std::is_floating_point_v<Sample>)
            return std::fabs(x) >= high;
        else
            return Wide{x} >= high || Wide{x} <= low;
    }
};

template <typename Sample>
bool AnyLoud(const Sample* data, int count, const Bounds<Sample>& bounds) {
    int k = 0;
#if defined(__SSE2__)
    // The decoder's own format for MP3, AAC, Vorbis and Opus: four at a time.
    if constexpr (std::is_same_v<Sample, float>) {
        const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
        const __m128 limit = _mm_set1_ps(bounds.high);
        __m128 any = _mm_setzero_ps();
        for (; k + 8 <= count; k += 8) {
            const __m128 a = _mm_and_ps(_mm_loadu_ps(data + k), magnitude);
            const __m128 b = _mm_and_ps(_mm_loadu_ps(data + k + 4), magnitude);
            any = _mm_or_ps(any, _mm_or_ps(_mm_cmpge_ps(a, limit), _mm_cmpge_ps(b, limit)));
        }
        if (_mm_movemask_ps(any) != 0)
            return true;
    }
#endif
    bool loud = false;
    for (; k < count; ++k)
        loud |= bounds.Loud(data[k]);
    return loud;
}

}  // namespace

// Takes decoded frames in order and finds the quiet runs among their samples; keeps
// where each sample lies on the source's timeline.
class SilenceFinder::Detector {
  public:
    Detector(double linear, std::int64_t minLengthUs) : linear_(linear), minUs_(minLengthUs) {}

    // False for a sample format it does not know.
    bool Take(const AVFrame& frame);
    SilenceScan Finish();
    std::int64_t samples() const { return samples_; }
    std::int64_t Us() const { return UsAt(samples_); }

  private:
    template <typename Sample>
    void TakeSamples(const AVFrame& frame);
    void FollowRate(int rate);
    std::int64_t UsAt(std::int64_t sample) const;

    // From `firstSample` on, samples come at `rate`, the first of them at `us`.
    struct RateSpan {
        std::int64_t firstSample = 0;
        std::int64_t us = 0;
        int rate = 0;
    };
    std::vector<RateSpan> spans_;
    const double linear_;
    const std::int64_t minUs_;
    std::optional<QuietRuns> runs_;
    int block_ = 1;  // samples looked at together
    std::int64_t samples_ = 0;
};

std::int64_t SilenceFinder::Detector::UsAt(std::int64_t sample) const {
    if (spans_.empty())
        return 0;
    const auto next =
        std::upper_bound(spans_.begin(), spans_.end(), sample,
                         [](std::int64_t s, const RateSpan& r) { return s < r.firstSample; });
    const RateSpan& span = next == spans_.begin() ? *next : *std::prev(next);
    return span.us +
           av_rescale_rnd(sample - span.firstSample, AV_TIME_BASE, span.rate, AV_ROUND_NEAR_INF);
}

void SilenceFinder::Detector::FollowRate(int rate) {
    if (!spans_.empty() && spans_.back().rate == rate)
        return;
    if (!runs_) {
        const std::int64_t minSamples =
            std::max<std::int64_t>(av_rescale(minUs_, rate, AV_TIME_BASE), 1);
        runs_.emplace(minSamples);
        // A loud block hides no quiet run inside it while it is no longer than one.
        block_ = static_cast<int>(std::min<std::int64_t>(minSamples, 256));
    }
    spans_.push_back({samples_, UsAt(samples_), rate});
}

template <typename Sample>
void SilenceFinder::Detector::TakeSamples(const AVFrame& frame) {
    const Bounds<Sample> bounds = Bounds<Sample>::Of(linear_);
    const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame.format)) != 0;
    const int channels = frame.ch_layout.nb_channels;
    const auto plane = [&](int c) {
        return reinterpret_cast<const Sample*>(frame.extended_data[planar ? c : 0]);
    };
    const auto loudAt = [&](int j) {
        for (int c = 0; c < channels; ++c)
            if (bounds.Loud(planar ? plane(c)[j] : plane(0)[j * channels + c]))
                return true;
        return false;
    };
    const int count = frame.nb_samples;
    for (int i = 0; i < count; i += block_) {
        const int n = std::min(block_, count - i);
        bool loud = false;
        if (planar)
            for (int c = 0; c < channels && !loud; ++c)
                loud = AnyLoud(plane(c) + i, n, bounds);
        else
            loud = AnyLoud(plane(0) + i * channels, n * channels, bounds);
        if (!loud)
            continue;
        // Inside a loud stretch only the last loud sample matters, and in music that
        // is nearly always the block's last.
        int first = i;
        if (runs_->CouldCount(samples_ + i + n))
            while (first + 1 < i + n && !loudAt(first))
                ++first;
        int last = i + n - 1;
        while (last > first && !loudAt(last))
            --last;
        runs_->Loud(samples_ + first, samples_ + last);
    }
    samples_ += count;
}

bool SilenceFinder::Detector::Take(const AVFrame& frame) {
    if (frame.nb_samples <= 0 || frame.ch_layout.nb_channels <= 0)
        return true;
    if (!ff::IsUsableSampleRate(frame.sample_rate))
        return false;
    FollowRate(frame.sample_rate);
    switch (av_get_packed_sample_fmt(static_cast<AVSampleFormat>(frame.format))) {
        case AV_SAMPLE_FMT_FLT:
            TakeSamples<float>(frame);
            return true;
        case AV_SAMPLE_FMT_DBL:
            TakeSamples<double>(frame);
            return true;
        case AV_SAMPLE_FMT_S16:
            TakeSamples<std::int16_t>(frame);
            return true;
        case AV_SAMPLE_FMT_S32:
            TakeSamples<std::int32_t>(frame);
            return true;
        case AV_SAMPLE_FMT_U8:
            TakeSamples<std::uint8_t>(frame);
            return true;
        default:
            return false;  // 64-bit integers: no audio decoder makes them
    }
}

SilenceScan SilenceFinder::Detector::Finish() {
    SilenceScan scan;
    if (!runs_)
        return scan;
    runs_->End(samples_);
    for (const QuietRun& run : runs_->runs())
        scan.silences.push_back({UsAt(run.start), UsAt(run.end)});
    scan.lengthUs = UsAt(samples_);
    return scan;
}

SilenceFinder::SilenceFinder(SilenceSettings settings, const std::atomic<bool>& stop)
    : settings_(settings), stop_(stop) {}

namespace {

SilenceScan ScanFailure(PlanError error, std::string message) {
    SilenceScan scan;
    scan.failure = SplitPlan::Failed(error, std::move(message)).failure;
    return scan;
}

SilenceScan Unreadable(const std::string& path) {
    return ScanFailure(PlanError::SourceUnreadable, "no audio could be decoded from " + path);
}

}  // namespace

SilenceScan SilenceFinder::Scan(const std::string& path) {
    progress_ = 0.0;
    ff::InputFormatPtr input;
    if (ff::OpenInput(path.c_str(), input) < 0 ||
        avformat_find_stream_info(input.get(), nullptr) < 0)
        return Unreadable(path);
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0)
        return Unreadable(path);
    for (unsigned i = 0; i < input->nb_streams; ++i)
        if (static_cast<int>(i) != index)
            input->streams[i]->discard = AVDISCARD_ALL;
    const ff::CodecContextPtr decoder = ff::OpenDecoder(*input->streams[index]);
    ff::PacketPtr packet(av_packet_alloc());
    ff::FramePtr frame(av_frame_alloc());
    if (!decoder || !packet || !frame)
        return Unreadable(path);

    // Above full scale every sample would be quiet; far below it the threshold would
    // round to 0 in the sample format, and digital silence would count as loud.
    const double db =
        std::isnan(settings_.thresholdDb) ? SilenceSettings{}.thresholdDb : settings_.thresholdDb;
    const double linear = std::pow(10.0, std::clamp(db, -200.0, 0.0) / 20.0);
    Detector detector(linear, settings_.minLengthUs);
    const double durationUs = input->duration > 0 ? static_cast<double>(input->duration) : 0;
    const auto drain = [&]() {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            const bool taken = detector.Take(*frame);
            av_frame_unref(frame.get());
            if (!taken)
                return false;
        }
        return true;
    };
    while (!stop_ && av_read_frame(input.get(), packet.get()) >= 0) {
        const bool ours = packet->stream_index == index;
        if (ours)
            avcodec_send_packet(decoder.get(), packet.get());  // a damaged packet is skipped
        av_packet_unref(packet.get());
        if (ours && !drain())
            return Unreadable(path);
        if (durationUs > 0)
            progress_.store(std::min(detector.Us() / durationUs, 1.0), std::memory_order_relaxed);
    }
    if (stop_)
        return ScanFailure(PlanError::Cancelled, "the search for silences was stopped");
    avcodec_send_packet(decoder.get(), nullptr);
    if (!drain() || detector.samples() == 0)
        return Unreadable(path);
    progress_ = 1.0;
    return detector.Finish();
}

SplitPlan PartsAtSilences(const SilenceScan& scan, const SilenceSettings& settings) {
    if (!scan.ok())
        return SplitPlan::Failed(scan.failure.error, scan.failure.message);
    std::vector<std::int64_t> middles;
    for (const Silence& silence : scan.silences) {
        const std::int64_t middle = silence.startUs + (silence.endUs - silence.startUs) / 2;
        if (middle > 0 && middle < scan.lengthUs)
            middles.push_back(middle);
    }
    if (middles.empty()) {
        char text[120];
        std::snprintf(text, sizeof text, "no silence of %.3f s or longer below %.1f dBFS",
                      static_cast<double>(settings.minLengthUs) / 1e6, settings.thresholdDb);
        return SplitPlan::Failed(PlanError::NoPoints, text);
    }
    SplitPlan plan = PartsFromPoints(std::move(middles), scan.lengthUs);
    const auto silent = [&](const SplitPart& part) {
        return std::any_of(scan.silences.begin(), scan.silences.end(), [&](const Silence& s) {
            return s.startUs <= part.startUs && part.endUs <= s.endUs;
        });
    };
    std::erase_if(plan.parts, silent);
    if (plan.ok() && plan.parts.empty())
        return SplitPlan::Failed(PlanError::AllSilent,
                                 "the source holds nothing louder than the threshold");
    return plan;
}

}  // namespace tolvane::split
