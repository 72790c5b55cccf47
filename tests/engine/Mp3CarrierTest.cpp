// The frame that carries the bit reservoir before a cut's first frames: made from the
// frame that reads it, silent, the bytes in place; and a real cut that starts with it.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "JobTestSupport.h"
#include "Mp3TestFrames.h"
#include "engine/cut/Mp3FrameLayout.h"
#include "engine/cut/Mp3InfoFrame.h"
#include "engine/cut/Mp3LeadFrames.h"
#include "engine/cut/MpegAudioFrames.h"

namespace tolvane::testing {
namespace {

// The frame is silent (side information zero, no main data read) and its CRC matches.
void ExpectSilentWithCrc(const std::uint8_t* frame, int size) {
    const std::optional<Mp3FrameLayout> layout = ReadMp3FrameLayout(frame, size);
    ASSERT_TRUE(layout);
    const std::uint8_t* side = frame + layout->sideOffset;
    EXPECT_TRUE(std::all_of(side, side + layout->sideBytes, [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(!layout->crc ||
                AV_RB16(frame + 4) == MpegAudioFrameCrc(frame, side, layout->sideBytes));
}

TEST(Mp3CarrierFrame, HoldsTheBytesAtTheEndOfTheSmallestFrameThatFits) {
    struct Case {
        std::uint32_t header;
        int count, bitRateIndex;                      // 0: none fits
    } const cases[] = {{kMp3Header, 300, 8},          // 112k: 365 bytes, 329 after the side info
                       {kMp3CrcHeader, 300, 8},       // 327 after the CRC and side info
                       {kMp3Header, 0, 1},            // 32k
                       {kMp3Header, 511, 11},         // 192k; 160k holds 486
                       {kMp3LsfMonoHeader, 255, 10},  // 96k; 80k holds 248
                       {kMp3LsfMonoHeader, 600, 0}};  // 160k holds 509
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(c.count));
        std::iota(bytes.begin(), bytes.end(), std::uint8_t{1});
        const ff::PacketPtr frame = MakeMp3Frame(c.count, 40, 'x', c.header);
        const std::vector<std::uint8_t> carrier =
            Mp3CarrierFrame(frame->data, frame->size, bytes.data(), c.count);
        ASSERT_EQ(carrier.empty(), c.bitRateIndex == 0);
        if (carrier.empty())
            continue;
        const std::uint32_t word = AV_RB32(carrier.data());
        EXPECT_EQ((word >> 12) & 0xF, static_cast<std::uint32_t>(c.bitRateIndex));
        EXPECT_EQ(word & ~0xF200u, c.header & ~0xF200u);  // but bit rate and padding
        EXPECT_EQ(static_cast<int>(carrier.size()), ParseMpegAudioHeader(word)->bytes);
        ExpectSilentWithCrc(carrier.data(), static_cast<int>(carrier.size()));
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), carrier.end() - c.count));
    }
}

TEST(Mp3LeadFrames, CarrierHoldsTheMainDataRightBeforeTheFrame) {
    Mp3LeadFrames lead;
    ff::PacketPtr a = MakeMp3Frame(0, 100, 'a');
    a->data[a->size - 1] = 'z';
    ASSERT_EQ(lead.Add(*a, false), 0);
    ASSERT_EQ(lead.Add(*MakeMp3Frame(300, 100, 'b'), true), 0);
    ASSERT_EQ(lead.Add(*MakeMp3Frame(100, 100, 'c'), true), 0);
    const ff::PacketPtr next = MakeMp3Frame(50, 100, 'd');
    // The held frame 'b' reads the last 300 bytes of 'a'.
    const std::vector<std::uint8_t> carrier = lead.CarrierBefore(0, *next);
    ASSERT_GT(carrier.size(), 301u);
    EXPECT_EQ(carrier.back(), 'z');
    EXPECT_EQ(carrier[carrier.size() - 300], 'a');
    EXPECT_EQ(carrier[carrier.size() - 301], 0);
    // 'next' reads 50 bytes of 'c'. A frame that reads more than was read has none.
    EXPECT_EQ(lead.CarrierBefore(2, *next).end()[-50], 'c');
    Mp3LeadFrames shortLead;
    ASSERT_EQ(shortLead.Add(*a, false), 0);
    EXPECT_TRUE(shortLead.CarrierBefore(0, *MakeMp3Frame(400, 10, 'b')).empty());
}

TEST(Mp3CarrierCut, StartsWithTheCarrierAndCopiesTheFramesAfterItUnchanged) {
    TempDir dir;
    // Bursts of noise and silence at a low quality: frames reading far back.
    const fs::path source = dir / "speech.mp3";
    ASSERT_TRUE(
        RunFfmpeg("-f lavfi -i \"anoisesrc=d=4:a=0.5:seed=3:r=22050,bandpass=f=900,"
                  "aeval='val(0)*lt(mod(t\\,0.7)\\,0.45)'\" -c:a libmp3lame -q:a 6",
                  source));
    MediaJob job;
    PrepareCut(job, source, dir / "cut.mp3", 2.345, 3.0);
    RunJob(job);
    ASSERT_EQ(job.fileStatus[0], kInputDone);
    const std::string file = ReadFileBytes(dir / "cut.mp3");
    const auto* cut = reinterpret_cast<const std::uint8_t*>(file.data());
    const std::uint8_t* info = cut + Mp3AudioOffset(cut, file.size());
    ASSERT_TRUE(ReadMp3InfoFrame(info, file.size()));
    const std::uint8_t* carrier = info + ParseMpegAudioHeader(AV_RB32(info))->bytes;
    const std::uint8_t* frames = carrier + ParseMpegAudioHeader(AV_RB32(carrier))->bytes;
    const std::uint8_t* end = cut + file.size();
    ExpectSilentWithCrc(carrier, static_cast<int>(frames - carrier));
    // The first frame copied reads what the carrier holds; it and every frame after it
    // are the source's, byte for byte.
    EXPECT_GT(ReadMp3FrameLayout(frames, static_cast<int>(end - frames))->mainDataBegin, 0);
    EXPECT_NE(ReadFileBytes(source).find(std::string(frames, end)), std::string::npos);
}

}  // namespace
}  // namespace tolvane::testing
