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

std::vector<std::uint8_t> Reservoir(int count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{1});
    return bytes;
}

// The frame is silent (side information zero, no main data read) and its CRC matches.
void ExpectSilentWithCrc(const std::vector<std::uint8_t>& frame) {
    const std::optional<Mp3FrameLayout> layout =
        ReadMp3FrameLayout(frame.data(), static_cast<int>(frame.size()));
    ASSERT_TRUE(layout);
    EXPECT_TRUE(std::all_of(frame.begin() + layout->sideOffset,
                            frame.begin() + layout->sideOffset + layout->sideBytes,
                            [](std::uint8_t b) { return b == 0; }));
    if (layout->crc) {
        EXPECT_EQ(AV_RB16(frame.data() + 4),
                  MpegAudioFrameCrc(frame.data(), frame.data() + 6, layout->sideBytes));
    }
}

TEST(Mp3CarrierFrame, HoldsTheBytesAtTheEndOfTheSmallestFrameThatFits) {
    struct Case {
        std::uint32_t header;
        int count, bitRateIndex;
    } const cases[] = {{kMp3Header, 300, 8},           // 112k: 365 bytes, 329 after the side info
                       {kMp3CrcHeader, 300, 8},        // 327 after the CRC and side info
                       {kMp3Header, 0, 1},             // 32k
                       {kMp3Header, 511, 11},          // 192k; 160k holds 486
                       {kMp3LsfMonoHeader, 255, 10}};  // 96k; 80k holds 248
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        const ff::PacketPtr frame = MakeMp3Frame(c.count, 40, 'x', c.header);
        const std::vector<std::uint8_t> bytes = Reservoir(c.count);
        const std::vector<std::uint8_t> carrier =
            Mp3CarrierFrame(frame->data, frame->size, bytes.data(), c.count);
        ASSERT_FALSE(carrier.empty());
        const std::uint32_t word = AV_RB32(carrier.data());
        EXPECT_EQ((word >> 12) & 0xF, static_cast<std::uint32_t>(c.bitRateIndex));
        EXPECT_EQ(word & ~0xF200u, c.header & ~0xF200u);  // but bit rate and padding
        EXPECT_EQ(static_cast<int>(carrier.size()), ParseMpegAudioHeader(word)->bytes);
        ExpectSilentWithCrc(carrier);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), carrier.end() - c.count));
    }
}

TEST(Mp3CarrierFrame, NoneWhereNoBitRateHoldsTheBytesOrTheFrameHasNone) {
    const std::vector<std::uint8_t> bytes = Reservoir(600);
    const ff::PacketPtr lsf = MakeMp3Frame(0, 10, 'x', kMp3LsfMonoHeader);
    EXPECT_TRUE(Mp3CarrierFrame(lsf->data, lsf->size, bytes.data(), 600).empty());
    ff::PacketPtr freeFormat = MakeMp3Frame(0, 10, 'x');
    freeFormat->data[2] &= 0x0F;  // bit-rate index 0
    EXPECT_TRUE(Mp3CarrierFrame(freeFormat->data, freeFormat->size, bytes.data(), 10).empty());
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
    ASSERT_FALSE(carrier.empty());
    ExpectSilentWithCrc(carrier);
    EXPECT_EQ(carrier.back(), 'z');
    EXPECT_EQ(carrier[carrier.size() - 300], 'a');
    EXPECT_EQ(carrier[carrier.size() - 301], 0);
    // 'next' reads 50 bytes of 'c', which was read as well.
    const std::vector<std::uint8_t> last = lead.CarrierBefore(2, *next);
    ASSERT_EQ(last.size(), 104u);
    EXPECT_EQ(last[last.size() - 50], 'c');
    // A frame that reads from before the first frame read has no carrier.
    Mp3LeadFrames shortLead;
    ASSERT_EQ(shortLead.Add(*MakeMp3Frame(0, 100, 'a'), false), 0);
    EXPECT_TRUE(shortLead.CarrierBefore(0, *MakeMp3Frame(400, 10, 'b')).empty());
}

// Bursts of band-limited noise with silent gaps, at a low quality: frames of 26 to 40
// bytes whose main data begins up to 255 bytes back.
fs::path MakeSpeech(const fs::path& dir) {
    const fs::path path = dir / "speech.mp3";
    return RunFfmpeg(
               "-f lavfi -i \"anoisesrc=d=4:a=0.5:seed=3:r=22050,bandpass=f=900:w=1200,"
               "aeval='val(0)*lt(mod(t\\,0.7)\\,0.45)'\" -ac 1 -c:a libmp3lame -q:a 6",
               path)
               ? path
               : fs::path();
}

TEST(Mp3CarrierCut, StartsWithTheCarrierAndCopiesTheFramesAfterItUnchanged) {
    TempDir dir;
    const fs::path source = MakeSpeech(dir.path());
    ASSERT_FALSE(source.empty());
    const fs::path out = dir / "cut.mp3";
    MediaJob job;
    PrepareCut(job, source, out, 2.345, 3.0);
    RunJob(job);
    ASSERT_EQ(job.fileStatus[0], kInputDone);
    const std::string file = ReadFileBytes(out);
    const std::string whole = ReadFileBytes(source);
    const std::string cut = file.substr(
        Mp3AudioOffset(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(cut.data());
    const auto size = static_cast<int>(cut.size());
    const int info = ParseMpegAudioHeader(AV_RB32(bytes))->bytes;
    ASSERT_TRUE(ReadMp3InfoFrame(bytes, cut.size()));
    const std::optional<MpegAudioHeader> carrier = ParseMpegAudioHeader(AV_RB32(bytes + info));
    ASSERT_TRUE(carrier);
    ExpectSilentWithCrc({bytes + info, bytes + info + carrier->bytes});
    EXPECT_GT(ReadMp3FrameLayout(bytes + info, size - info)->payloadBytes, 0);
    // Everything after it is one stretch of the source's frames, byte for byte.
    const std::string frames = cut.substr(static_cast<std::size_t>(info + carrier->bytes));
    EXPECT_NE(whole.find(frames), std::string::npos);
    const std::optional<Mp3FrameLayout> first = ReadMp3FrameLayout(
        reinterpret_cast<const std::uint8_t*>(frames.data()), static_cast<int>(frames.size()));
    ASSERT_TRUE(first);
    EXPECT_GT(first->mainDataBegin, 0);  // the first frame reads what the carrier holds
}

}  // namespace
}  // namespace tolvane::testing
