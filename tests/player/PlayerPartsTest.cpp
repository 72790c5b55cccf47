// The player's inner parts: the sample buffer, the heard-position clock, the decoder's
// seek landing and the wall-clock output.

#include "AudioDecoder.h"
#include "AudioOutput.h"
#include "HeardClock.h"
#include "PlayerTestSupport.h"
#include "SampleRing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <future>
#include <vector>

using namespace tolvane::player;
using namespace tolvane::testing;
using namespace std::chrono_literals;

TEST(PlayerSampleRing, KeepsOrderAndPositionsAcrossTheWrap) {
    SampleRing ring(2, 5);
    ring.Reset(1, 100);
    const std::vector<float> first = {1, 1, 2, 2, 3, 3, 4, 4};
    ASSERT_TRUE(ring.Push(first.data(), 4, 1));
    std::vector<float> out(10);
    auto popped = ring.Pop(out.data(), 3);
    EXPECT_EQ(popped.frames, 3);
    EXPECT_EQ(popped.startFrame, 100);
    const std::vector<float> second = {5, 5, 6, 6, 7, 7};
    ASSERT_TRUE(ring.Push(second.data(), 3, 1));  // wraps
    popped = ring.Pop(out.data(), 5);
    EXPECT_EQ(popped.frames, 4);
    EXPECT_EQ(popped.startFrame, 103);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[2], 5);
    EXPECT_EQ(out[7], 7);
}

TEST(PlayerSampleRing, ResetRefusesOlderGenerationAndWakesABlockedPush) {
    SampleRing ring(1, 4);
    ring.Reset(1, 0);
    const std::vector<float> samples(10, 0.5f);
    auto blocked = std::async(std::launch::async, [&] { return ring.Push(samples.data(), 10, 1); });
    EXPECT_EQ(blocked.wait_for(100ms), std::future_status::timeout);  // full after 4
    ring.Reset(2, 50);
    ASSERT_EQ(blocked.wait_for(2s), std::future_status::ready);
    EXPECT_FALSE(blocked.get());
    EXPECT_EQ(ring.BufferedFrames(), 0);
    EXPECT_FALSE(ring.Push(samples.data(), 1, 1));
    std::vector<float> out(4);
    EXPECT_EQ(ring.Pop(out.data(), 4).startFrame, 50);
}

// After a reset the output gets nothing until the new generation can fill a request
// (or pushes nothing more): never a few frames, then a gap.
TEST(PlayerSampleRing, ANewGenerationStartsOnlyWithAFullRequestOrItsEnd) {
    struct Case {
        const char* name;
        int pushed;
        bool complete;
        int request;
        int handed;
    };
    const Case cases[] = {
        {"short", 30, false, 64, 0},
        {"full", 64, false, 64, 64},
        {"short end", 30, true, 64, 30},
        {"ring full, request larger", 100, false, 150, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SampleRing ring(1, 100);
        ring.Reset(1, 0);
        const std::vector<float> samples(static_cast<size_t>(c.pushed), 0.5f);
        ASSERT_TRUE(ring.Push(samples.data(), c.pushed, 1));
        if (c.complete) {
            ring.MarkComplete(1);
        }
        std::vector<float> out(static_cast<size_t>(c.request));
        EXPECT_EQ(ring.Pop(out.data(), c.request).frames, c.handed);
    }
    // Once started, an underrun hands what there is; a reset waits again.
    SampleRing ring(1, 100);
    ring.Reset(1, 0);
    const std::vector<float> samples(70, 0.5f);
    ASSERT_TRUE(ring.Push(samples.data(), 70, 1));
    std::vector<float> out(64);
    ASSERT_EQ(ring.Pop(out.data(), 64).frames, 64);
    EXPECT_EQ(ring.Pop(out.data(), 64).frames, 6);
    ring.Reset(2, 0);
    ring.MarkComplete(1);  // an older generation's end does not count
    ASSERT_TRUE(ring.Push(samples.data(), 10, 2));
    EXPECT_EQ(ring.Pop(out.data(), 64).frames, 0);
}

TEST(PlayerSampleRing, AbortWakesABlockedPush) {
    SampleRing ring(1, 2);
    ring.Reset(0, 0);
    const std::vector<float> samples(8, 0.0f);
    auto blocked = std::async(std::launch::async, [&] { return ring.Push(samples.data(), 8, 0); });
    ring.Abort();
    ASSERT_EQ(blocked.wait_for(2s), std::future_status::ready);
    EXPECT_FALSE(blocked.get());
}

TEST(PlayerHeardClock, HeardLagsHandedByOneBufferAndMovesBetweenCallbacks) {
    HeardClock clock;
    clock.Configure(1000, 100);  // 1000 Hz, 100-frame buffers: 100 ms latency
    clock.Reset(500, 1);
    const auto t0 = HeardClock::Clock::now();
    clock.Handed(500, 100, 1, t0);
    EXPECT_EQ(clock.HeardFrame(t0 + 50ms), 500);  // still playing what came before
    EXPECT_NEAR(clock.HeardFrame(t0 + 150ms), 550, 1);
    EXPECT_NEAR(clock.HeardFrame(t0 + 400ms), 600, 1);  // never past what was handed
    clock.Handed(600, 40, 1, t0 + 100ms);               // the last frames, then silence
    EXPECT_NEAR(clock.HeardFrame(t0 + 150ms), 550, 1);
    EXPECT_NEAR(clock.HeardFrame(t0 + 230ms), 630, 1);
    EXPECT_EQ(clock.HeardFrame(t0 + 900ms), 640);
}

TEST(PlayerHeardClock, IgnoresBuffersPoppedBeforeASeek) {
    HeardClock clock;
    clock.Configure(1000, 100);
    clock.Reset(2000, 7);
    const auto t0 = HeardClock::Clock::now();
    clock.Handed(10, 100, 6, t0);  // from before the seek
    EXPECT_EQ(clock.HeardFrame(t0 + 500ms), 2000);
}

namespace {

// Every frame of a file, from the start, as the player's decoder delivers them.
std::vector<float> DecodeAll(AudioDecoder& decoder) {
    std::vector<float> all;
    std::vector<float> chunk;
    int64_t start = 0;
    while (decoder.Next(chunk, start) > 0)
        all.insert(all.end(), chunk.begin(), chunk.end());
    return all;
}

void ExpectSeekLandsExactly(const fs::path& file, double target, float tolerance) {
    AudioDecoder whole;
    ASSERT_TRUE(whole.Open(file.string()));
    ASSERT_TRUE(whole.ConfigureOutput(whole.SourceRate(), 2));
    const std::vector<float> all = DecodeAll(whole);

    AudioDecoder seeking;
    ASSERT_TRUE(seeking.Open(file.string()));
    ASSERT_TRUE(seeking.ConfigureOutput(seeking.SourceRate(), 2));
    seeking.Seek(target);
    std::vector<float> chunk;
    int64_t start = -1;
    ASSERT_GT(seeking.Next(chunk, start), 0);
    const int64_t expected = std::llround(target * seeking.SourceRate());
    EXPECT_EQ(start, expected);
    // The samples are those at the target in a decode from the start.
    const size_t compare = std::min<size_t>(chunk.size(), 400);
    ASSERT_LE(static_cast<size_t>(expected) * 2 + compare, all.size());
    for (size_t i = 0; i < compare; ++i) {
        ASSERT_NEAR(chunk[i], all[static_cast<size_t>(expected) * 2 + i], tolerance)
            << file << " sample " << i;
    }
}

}  // namespace

TEST(PlayerDecoder, SeekLandsOnTheAskedSampleInWavAndFlac) {
    ExpectSeekLandsExactly(PlayerFixtures().Wav(), 1.2345, 1e-6f);
    ExpectSeekLandsExactly(PlayerFixtures().Flac(), 2.0001, 1e-6f);
}

TEST(PlayerDecoder, SeekInMp3LandsOnTheAskedTime) {
    // MP3 frames overlap and borrow bits from earlier frames: a landing without
    // decoding a few frames before the target would start with garbled samples.
    const fs::path file = PlayerFixtures().Mp3();
    AudioDecoder whole;
    ASSERT_TRUE(whole.Open(file.string()));
    ASSERT_TRUE(whole.ConfigureOutput(44100, 2));
    const std::vector<float> all = DecodeAll(whole);

    AudioDecoder seeking;
    ASSERT_TRUE(seeking.Open(file.string()));
    ASSERT_TRUE(seeking.ConfigureOutput(44100, 2));
    for (const double target : {1.5, 0.3, 2.25}) {
        seeking.Seek(target);
        std::vector<float> landed;
        std::vector<float> chunk;
        int64_t start = -1;
        int64_t first = -1;
        while (landed.size() < 2 * 6000 && seeking.Next(chunk, start) > 0) {
            if (first < 0)
                first = start;
            landed.insert(landed.end(), chunk.begin(), chunk.end());
        }
        const int64_t expected = std::llround(target * 44100);
        EXPECT_EQ(first, expected);
        ASSERT_GE(landed.size(), 2u * 6000);
        ASSERT_LE(static_cast<size_t>(expected + 6000) * 2, all.size());
        double worst = 0;
        for (size_t i = 0; i < 2 * 6000; ++i) {
            worst = std::max(worst, std::abs(static_cast<double>(landed[i]) -
                                             all[static_cast<size_t>(expected) * 2 + i]));
        }
        EXPECT_LT(worst, 0.02) << "seek to " << target;
    }
}

TEST(PlayerDecoder, ResamplesToTheOutputRateWithoutLosingLength) {
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(PlayerFixtures().Wav().string()));
    ASSERT_TRUE(decoder.ConfigureOutput(48000, 1));
    const std::vector<float> all = DecodeAll(decoder);
    EXPECT_NEAR(static_cast<double>(all.size()) / 48000, 3.0, 0.01);
}

TEST(PlayerClockOutput, PullsAtRealTimePace) {
    std::atomic<int64_t> pulled{0};
    ClockAudioOutput output(8000, 2, [&](float*, int frames) { pulled += frames; });
    SleepMs(100);
    EXPECT_EQ(pulled.load(), 0);  // starts paused
    const Stopwatch running;
    output.SetPaused(false);
    ASSERT_TRUE(WaitUntil([&] { return pulled >= 4000; }));  // half a second
    // One buffer (a hundredth of a second) is pulled ahead of its time.
    const double pulledSeconds = static_cast<double>(pulled.load()) / 8000;
    EXPECT_LT(pulledSeconds, running.Seconds() + 0.02);
}

TEST(PlayerSampleRing, ResetWithTailFadesTheOldSoundOutBeforeTheNew) {
    SampleRing ring(1, 1000);
    ring.Reset(1, 0);
    const std::vector<float> loud(600, 1.0f);
    ASSERT_TRUE(ring.Push(loud.data(), 600, 1));
    ring.Reset(2, 5000, true);
    const std::vector<float> quiet(200, 0.25f);
    ASSERT_TRUE(ring.Push(quiet.data(), 200, 2));
    std::vector<float> out(400, -1.0f);
    const auto popped = ring.Pop(out.data(), 400);
    ASSERT_EQ(popped.tailFrames, SampleRing::kTailFrames);
    EXPECT_EQ(popped.frames, 400 - SampleRing::kTailFrames);
    EXPECT_EQ(popped.startFrame, 5000);
    EXPECT_GT(out[0], 0.99f);
    for (int i = 1; i < popped.tailFrames; ++i)
        ASSERT_LE(out[i], out[i - 1]);
    EXPECT_EQ(out[popped.tailFrames - 1], 0.0f);
    EXPECT_EQ(out[popped.tailFrames], 0.25f);
    // Silent output takes only the tail; a reset without a tail has none.
    ring.Reset(3, 0, false);
    EXPECT_EQ(ring.Pop(out.data(), 400, false).tailFrames, 0);
}

namespace {

// A 4 s FLAC tone whose bytes from 40 % to 55 % of the file are zeroed: the frames
// there are lost, and the demuxer's timestamps jump over them.
fs::path DamagedFlac() {
    const fs::path path = PlayerFixtures().dir / "damaged.flac";
    if (!fs::exists(path)) {
        const fs::path whole = PlayerFixtures().Flac(4.0);
        fs::copy_file(whole, path);
        const auto size = fs::file_size(path);
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(size * 40 / 100));
        const std::string zeros(size * 15 / 100, '\0');
        file.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
    }
    return path;
}

}  // namespace

// Lost frames are played as silence: every chunk starts where its timestamp puts it, so
// the position (and a pause's resume point) after the damage is the file's own, and
// the whole decode is as long as the file.
TEST(PlayerDecoder, ChunksAfterADamagedStretchKeepTheirTimestamps) {
    AudioDecoder decoder;
    ASSERT_TRUE(decoder.Open(DamagedFlac().string()));
    ASSERT_TRUE(decoder.ConfigureOutput(decoder.SourceRate(), 1));
    std::vector<float> chunk;
    int64_t start = -1;
    int64_t expectedStart = 0;
    int64_t silent = 0;
    int frames = 0;
    while ((frames = decoder.Next(chunk, start)) > 0) {
        ASSERT_EQ(start, expectedStart) << "chunks are contiguous";
        expectedStart += frames;
        if (std::all_of(chunk.begin(), chunk.end(), [](float v) { return v == 0.0f; }))
            silent += frames;
    }
    const double rate = decoder.SourceRate();
    EXPECT_NEAR(static_cast<double>(expectedStart) / rate, 4.0, 0.01);
    EXPECT_GT(static_cast<double>(silent) / rate, 0.3) << "the lost stretch";

    // A seek past the damage lands on the asked sample of the timeline.
    decoder.Seek(3.0);
    ASSERT_GT(decoder.Next(chunk, start), 0);
    EXPECT_EQ(start, std::llround(3.0 * rate));
}
