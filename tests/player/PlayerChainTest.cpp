// The preview decoder plays a chained Ogg file as one stream: its links one after
// another, the length theirs together, a seek into any link landing on its sample.

#include "AudioDecoder.h"
#include "CutPrecision.h"
#include "PlayerTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <vector>

using namespace tolvane::player;
using namespace tolvane::testing;

namespace {

constexpr int kRate = 48000;
// The links' lengths: noise of these lengths, each encoded as a file of its own.
const std::vector<double> kLinkSeconds = {1.5, 2.2, 1.3};
constexpr float kSameSample = 1e-4f;

// Every chunk of a decode from the start, interleaved stereo; false when a chunk does
// not start where the one before ended.
bool DecodeAll(AudioDecoder& decoder, std::vector<float>& all) {
    std::vector<float> chunk;
    int64_t start = 0;
    int64_t next = 0;
    while (const int frames = decoder.Next(chunk, start)) {
        if (start != next)
            return false;
        next += frames;
        all.insert(all.end(), chunk.begin(), chunk.end());
    }
    return true;
}

class PlayerChain : public ::testing::TestWithParam<OggCodec> {
  protected:
    void SetUp() override {
        chain = MakeChainedOgg(dir.path(), "chain", GetParam().extension, GetParam().codecArgs,
                               kLinkSeconds);
    }
    // A decoder of `file` delivering its own rate in stereo.
    bool Open(AudioDecoder& decoder, const fs::path& file) {
        return decoder.Open(file.string()) && decoder.ConfigureOutput(kRate, 2);
    }
    TempDir dir;
    ChainedOgg chain;
};

// Across each seam the position runs on, and nothing is lost or played twice.
TEST_P(PlayerChain, PlaysEachLinkWholeOneAfterAnother) {
    AudioDecoder decoder;
    ASSERT_TRUE(Open(decoder, chain.file));
    std::vector<float> played;
    ASSERT_TRUE(DecodeAll(decoder, played));
    std::vector<float> expected;
    for (const fs::path& part : chain.parts) {
        AudioDecoder one;
        ASSERT_TRUE(Open(one, part));
        ASSERT_TRUE(DecodeAll(one, expected));
    }
    ASSERT_EQ(played.size(), expected.size());
    for (size_t i = 0; i < played.size(); ++i)
        ASSERT_NEAR(played[i], expected[i], kSameSample) << "sample " << i / 2;
    EXPECT_EQ(played.size(), static_cast<size_t>(2 * kRate * decoder.DurationSeconds()));
}

// A seek lands in the right link at the right sample: what FFmpeg plays of that link.
TEST_P(PlayerChain, SeekLandsInTheRightLink) {
    AudioDecoder decoder;
    ASSERT_TRUE(Open(decoder, chain.file));
    const double secondStart = kLinkSeconds[0];
    const double thirdStart = secondStart + kLinkSeconds[1];
    struct Seek {
        double seconds;
        size_t part;
        double into;
    };
    for (const Seek& seek : {Seek{secondStart + 0.75, 1, 0.75}, Seek{0.4, 0, 0.4},
                             Seek{thirdStart + 0.3, 2, 0.3}, Seek{secondStart, 1, 0}}) {
        SCOPED_TRACE(seek.seconds);
        decoder.Seek(seek.seconds);
        std::vector<float> chunk;
        int64_t start = -1;
        ASSERT_GT(decoder.Next(chunk, start), 0);
        EXPECT_EQ(start, std::llround(seek.seconds * kRate));
        const std::vector<float> link = Decode(chain.parts[seek.part], Decoder::Ffmpeg).samples;
        const auto at = static_cast<size_t>(std::llround(seek.into * kRate));
        const size_t compare = std::min<size_t>(chunk.size() / 2, 400);
        ASSERT_LE(at + compare, link.size());
        for (size_t i = 0; i < compare; ++i)
            ASSERT_NEAR(chunk[2 * i], link[at + i], kSameSample) << "sample " << i;
    }
}

// The preview player shows the whole length, its position runs on across a seam and it
// plays to the end of the last link.
TEST_P(PlayerChain, PlayerRunsAcrossTheSeamsToTheEnd) {
    auto player = ClockOnlyPlayer();
    std::atomic<bool> ended{false};
    player->PlayerModule_Initialize([&] { ended = true; }, [](int) {}, "preview");
    player->PlayerModule_SetFileName(chain.file.string());
    ASSERT_NE(player->PlayerModule_Open(), -1);
    EXPECT_NEAR(Duration(*player), 5.0, 1e-6);
    player->PlayerModule_SetCurrentPosition(kLinkSeconds[0] - 0.1);
    player->PlayerModule_Start();
    EXPECT_TRUE(WaitUntil([&] { return CurrentSeconds(*player) > kLinkSeconds[0] + 0.1; }));
    player->PlayerModule_SetCurrentPosition(4.8);
    EXPECT_TRUE(WaitUntil([&] { return ended.load(); }));
}

INSTANTIATE_TEST_SUITE_P(Codecs, PlayerChain, ::testing::ValuesIn(kOggCodecs),
                         [](const auto& info) { return info.param.extension; });

}  // namespace
