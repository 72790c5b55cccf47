#include "engine/probe/QuietPoint.h"

#include "engine/probe/AudioWindow.h"
#include "engine/probe/FrameSamples.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace tolvane {

namespace {

bool CutToTheSample(AVCodecID codec) {
    return codec == AV_CODEC_ID_FLAC ||
           (codec >= AV_CODEC_ID_PCM_S16LE && codec < AV_CODEC_ID_ADPCM_IMA_QT);
}

// The sample nearest to `from` (within [first, last]) at which the signal crosses zero:
// of the two samples around a change of sign, the one closer to zero.
std::optional<std::size_t> NearestZeroCrossing(const float* s, std::size_t from, std::size_t first,
                                               std::size_t last) {
    const auto crossingAt = [&](std::size_t k) -> std::optional<std::size_t> {
        if (s[k] == 0.0f)
            return k;
        if (k > first && (s[k - 1] < 0.0f) != (s[k] < 0.0f))
            return std::fabs(s[k - 1]) < std::fabs(s[k]) ? k - 1 : k;
        return std::nullopt;
    };
    for (std::size_t d = 0; from >= first + d || from + d <= last; ++d) {
        if (from >= first + d)
            if (auto k = crossingAt(from - d))
                return k;
        if (from + d <= last && d > 0)
            if (auto k = crossingAt(from + d))
                return k;
    }
    return std::nullopt;
}

}  // namespace

QuietPoint QuietPointIn(const float* samples, std::size_t count, std::int64_t firstUs, int rate,
                        const QuietPointSearch& search, bool toZeroCrossing) {
    if (count == 0 || rate <= 0)
        return {};
    const auto indexOf = [&](std::int64_t us) {
        const double k = std::round(double(us - firstUs) * rate / 1e6);
        return static_cast<long long>(std::clamp(k, 0.0, double(count - 1)));
    };
    const long long at = indexOf(search.atUs);
    const long long first = indexOf(search.atUs - search.reachUs);
    const long long last = indexOf(search.atUs + search.reachUs);
    const long long half = std::max<long long>(search.energyWindowUs * rate / 2000000, 1);

    // Running sums of squares: the energy of any window in two look-ups.
    std::vector<double> sums(count + 1, 0.0);
    for (std::size_t k = 0; k < count; ++k)
        sums[k + 1] = sums[k] + double(samples[k]) * samples[k];
    long long best = at;
    double bestEnergy = std::numeric_limits<double>::max();
    for (long long k = first; k <= last; ++k) {
        const long long lo = std::max(k - half, 0LL);
        const long long hi = std::min<long long>(k + half, static_cast<long long>(count));
        const double energy = (sums[std::size_t(hi)] - sums[std::size_t(lo)]) / double(hi - lo);
        // Of equally quiet spots the one nearest the mark.
        if (energy < bestEnergy - 1e-12 || (std::fabs(energy - bestEnergy) <= 1e-12 &&
                                            std::llabs(k - at) < std::llabs(best - at))) {
            best = k;
            bestEnergy = energy;
        }
    }
    QuietPoint point{true, 0, false};
    if (toZeroCrossing) {
        if (auto crossing = NearestZeroCrossing(samples, std::size_t(best), std::size_t(first),
                                                std::size_t(last))) {
            best = static_cast<long long>(*crossing);
            point.zeroCrossing = true;
        }
    }
    point.us = firstUs + static_cast<std::int64_t>(std::llround(best * 1e6 / rate));
    return point;
}

QuietPoint FindQuietPoint(const std::string& path, const QuietPointSearch& search) {
    AudioWindowSource source(path);
    return FindQuietPoint(source, search);
}

QuietPoint FindQuietPoint(AudioWindowSource& source, const QuietPointSearch& search) {
    if (!source.Ready())
        return {};
    const int rate = source.SampleRate();
    const std::int64_t margin = search.energyWindowUs;
    const std::int64_t fromUs = std::max<std::int64_t>(search.atUs - search.reachUs - margin, 0);
    const std::int64_t toUs = search.atUs + search.reachUs + margin;
    std::vector<float> mono;
    std::int64_t firstUs = -1;
    source.Read(fromUs, toUs, [&](const AVFrame& frame, std::int64_t startUs) {
        for (int k = 0; k < frame.nb_samples; ++k) {
            const std::int64_t t = startUs + std::int64_t(k) * 1000000 / rate;
            if (t < fromUs)
                continue;
            if (firstUs < 0)
                firstUs = startUs + static_cast<std::int64_t>(std::llround(k * 1e6 / rate));
            mono.push_back(FrameMonoSample(frame, k));
        }
        return true;
    });
    if (mono.empty())
        return {};
    return QuietPointIn(mono.data(), mono.size(), firstUs, rate, search,
                        CutToTheSample(source.Codec()));
}

}  // namespace tolvane
