// The MP3 seam on frames made here: what the frame before a seam carries for the bit
// reservoir of the frame after it, and the muting of frames that would read wrong bytes.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "engine/copy/Mp3Seam.h"
#include "engine/cut/Mp3FrameLayout.h"
#include "Mp3TestFrames.h"

namespace tolvane {
namespace {

constexpr std::uint32_t kHeader = testing::kMp3Header;
constexpr std::uint32_t kCrcHeader = testing::kMp3CrcHeader;
constexpr int kFrameBytes = 417;

// A frame whose main data starts `begin` bytes back and is `bytes` long; payload `fill`.
ff::PacketPtr Frame(int begin, int bytes, std::uint8_t fill, std::uint32_t header = kHeader) {
    return testing::MakeMp3Frame(begin, bytes, fill, header);
}

std::vector<std::uint8_t> Bytes(const AVPacket& packet) {
    return testing::PacketBytes(packet);
}

TEST(Mp3SeamTest, FrameBeforeTheSeamCarriesTheReservoirAtItsEnd) {
    for (const std::uint32_t header : {kHeader, kCrcHeader}) {
        Mp3Seam seam;
        ff::PacketPtr ready;
        ff::PacketPtr last = Frame(0, 100, 'L', header);
        const std::vector<std::uint8_t> own = Bytes(*last);
        ASSERT_EQ(seam.Take(*last, ready), 0);
        seam.StartInput();
        seam.AddReservoir(*Frame(0, 10, 'a', header));
        ff::PacketPtr before = Frame(0, 10, 'b', header);
        before->data[kFrameBytes - 1] = 'z';
        seam.AddReservoir(*before);
        ff::PacketPtr first = Frame(300, 350, 'F', header);
        ASSERT_EQ(seam.Take(*first, ready), 0);
        ASSERT_TRUE(ready);
        const std::vector<std::uint8_t> rebuilt = Bytes(*ready);
        ASSERT_EQ(rebuilt.size(), 1044u);  // the same frame at 320k
        EXPECT_EQ((rebuilt[2] >> 4) & 0xF, 14);
        const std::size_t payload = header == kCrcHeader ? 38 : 36;
        // Past the header and CRC: the side information and the frame's own main data.
        EXPECT_TRUE(std::equal(own.begin() + 6, own.begin() + static_cast<long>(payload) + 100,
                               rebuilt.begin() + 6));
        EXPECT_EQ(rebuilt.back(), 'z');
        EXPECT_EQ(rebuilt[rebuilt.size() - 300], 'b');
        if (header == kCrcHeader) {
            const std::uint16_t crc = MpegAudioFrameCrc(rebuilt.data(), rebuilt.data() + 6, 32);
            EXPECT_EQ(AV_RB16(rebuilt.data() + 4), crc);
        }
        EXPECT_EQ(seam.counts().bridged, 1);
        EXPECT_EQ(seam.counts().muted, 0);
    }
}

TEST(Mp3SeamTest, FramesReadingBytesNotAtHandAreMuted) {
    Mp3Seam seam;
    ff::PacketPtr ready;
    ff::PacketPtr last = Frame(0, 100, 'L');
    ASSERT_EQ(seam.Take(*last, ready), 0);
    seam.StartInput();  // no reservoir: the input's own start read from before it
    ff::PacketPtr first = Frame(200, 250, 'F');
    ff::PacketPtr second = Frame(400, 50, 'G');  // still before the seam
    ff::PacketPtr third = Frame(100, 50, 'H');   // within the frames after it
    for (ff::PacketPtr* frame : {&first, &second, &third})
        ASSERT_EQ(seam.Take(**frame, ready), 0);
    ff::PacketPtr held = seam.Flush();
    ASSERT_TRUE(held);
    EXPECT_EQ(seam.counts().muted, 2);
    const std::optional<Mp3FrameLayout> layout = ReadMp3FrameLayout(held->data, held->size);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->mainDataBegin, 100);  // the third frame stays as it was
    EXPECT_EQ(held->data[kFrameBytes - 1], 'H');
}

TEST(Mp3SeamTest, LayoutReadsSideInformation) {
    const ff::PacketPtr frame = Frame(321, 200, 'x');
    const std::optional<Mp3FrameLayout> layout = ReadMp3FrameLayout(frame->data, frame->size);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->mainDataBegin, 321);
    EXPECT_EQ(layout->mainDataBytes, 200);
    EXPECT_EQ(layout->payloadBytes, kFrameBytes - 36);
    EXPECT_FALSE(ReadMp3FrameLayout(frame->data, 100));  // cut short
}

}  // namespace
}  // namespace tolvane
