// The waveform and the quiet-point search read a chained Ogg file on one timeline: its
// links one after another, checked against FFmpeg's decode of the files it was made of.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "CutPrecision.h"
#include "MediaFixtures.h"
#include "engine/probe/AudioWindow.h"
#include "engine/probe/PeakReader.h"

namespace tolvane::testing {
namespace {

constexpr int kRate = 48000;
constexpr int kColumns = 200;
const std::vector<double> kLinkSeconds = {1.5, 2.2, 1.3};  // 5 seconds

class ChainedWaveform : public ::testing::TestWithParam<OggCodec> {
  protected:
    void SetUp() override {
        chain = MakeChainedOgg(dir.path(), "chain", GetParam().extension, GetParam().codecArgs,
                               kLinkSeconds, kRate);
    }
    // Both channels of every part as FFmpeg decodes it, one after another.
    std::vector<float> PartsDecoded() {
        std::vector<float> all;
        for (const fs::path& part : chain.parts) {
            const fs::path raw = part.string() + ".f32";
            EXPECT_TRUE(RunFfmpeg("-i " + ShellQuote(part.string()) + " -f f32le", raw));
            const std::string bytes = ReadFileBytes(raw);
            const std::size_t at = all.size();
            all.resize(at + bytes.size() / sizeof(float));
            std::memcpy(all.data() + at, bytes.data(), bytes.size() / sizeof(float) * 4);
        }
        return all;
    }
    TempDir dir;
    ChainedOgg chain;
};

// Each column holds the extremes of its own samples, within a column either side.
TEST_P(ChainedWaveform, PeaksSpanEveryLinkInPlace) {
    PeakReader reader(chain.file.string(), kColumns);
    for (int i = 0; i < 3000 && !reader.Done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(reader.Done());
    ASSERT_FALSE(reader.Failed());
    EXPECT_NEAR(reader.Seconds(), 5.0, 1e-6);
    const std::vector<ColumnPeak> peaks = reader.Peaks();
    ASSERT_EQ(peaks.size(), std::size_t(kColumns));
    const std::vector<float> samples = PartsDecoded();
    const double perColumn = 5.0 * kRate / kColumns;
    std::vector<float> highs(kColumns, 0.0f);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto column = std::min<std::size_t>(
            static_cast<std::size_t>(static_cast<double>(i / 2) / perColumn), kColumns - 1);
        highs[column] = std::max(highs[column], samples[i]);
    }
    for (int c = 1; c + 1 < kColumns; ++c) {
        const auto [low, high] = std::minmax({highs[c - 1], highs[c], highs[c + 1]});
        ASSERT_GE(peaks[c].high, low - 0.02f) << "column " << c;
        ASSERT_LE(peaks[c].high, high + 0.02f) << "column " << c;
    }
}

// A window read in the second link, as the zoomed view and the quiet-point search read
// it, holds that link's samples at their place on the file's timeline.
TEST_P(ChainedWaveform, WindowInALaterLinkHoldsItsSamples) {
    AudioWindowSource source(chain.file.string());
    ASSERT_TRUE(source.Ready());
    EXPECT_EQ(source.DurationUs(), 5000000);
    const std::vector<float> link = Decode(chain.parts[1], Decoder::Ffmpeg).samples;
    for (const double into : {0.8, 0.05}) {
        SCOPED_TRACE(into);
        const double at = kLinkSeconds[0] + into;
        const auto wanted = static_cast<std::int64_t>(std::llround(at * kRate));
        std::vector<float> window;  // the first channel from `wanted` on
        source.Read(static_cast<std::int64_t>(at * 1e6),
                    static_cast<std::int64_t>(at * 1e6) + 20000,
                    [&](const AVFrame& frame, std::int64_t startUs) {
                        const std::int64_t first = std::llround(startUs * kRate / 1e6);
                        const auto* data = reinterpret_cast<const float*>(frame.extended_data[0]);
                        for (int i = 0; i < frame.nb_samples; ++i)
                            if (first + i >= wanted)
                                window.push_back(data[i]);
                        return true;
                    });
        const auto from = static_cast<std::size_t>(std::llround(into * kRate));
        ASSERT_GE(window.size(), 400u);
        ASSERT_LE(from + 400, link.size());
        for (std::size_t i = 0; i < 400; ++i)
            ASSERT_NEAR(window[i], link[from + i], 1e-4f) << "sample " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, ChainedWaveform, ::testing::ValuesIn(kOggCodecs),
                         [](const auto& info) { return info.param.extension; });

}  // namespace
}  // namespace tolvane::testing
