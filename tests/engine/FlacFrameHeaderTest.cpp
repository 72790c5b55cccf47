// FLAC frame headers: reading known headers, the coded numbers of every length, the two
// checksums, and frames of real files written again under new sample numbers.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "engine/cut/FlacFrameHeader.h"
#include "JobTestSupport.h"

namespace tolvane::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FlacFrameHeader, ChecksumsMatchTheirCheckValues) {
    const std::string text = "123456789";
    const Bytes bytes(text.begin(), text.end());
    EXPECT_EQ(FlacFrameHeader::Crc8(bytes), 0xF4);     // CRC-8, polynomial 0x07
    EXPECT_EQ(FlacFrameHeader::Crc16(bytes), 0xFEE8);  // CRC-16, polynomial 0x8005
    EXPECT_EQ(FlacFrameHeader::Crc8({}), 0);
    EXPECT_EQ(FlacFrameHeader::Crc16({}), 0);
    // Every length against the CRC taken bit by bit (the fast one takes 8 bytes a step).
    Bytes random(100);
    for (std::size_t i = 0; i < random.size(); ++i)
        random[i] = static_cast<std::uint8_t>(i * 151 + 17);
    for (std::size_t length = 0; length <= random.size(); ++length) {
        unsigned crc = 0;
        for (std::size_t i = 0; i < length; ++i) {
            crc ^= unsigned(random[i]) << 8;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 0x8000) ? ((crc << 1) ^ 0x8005) & 0xFFFF : (crc << 1) & 0xFFFF;
        }
        ASSERT_EQ(FlacFrameHeader::Crc16(std::span(random).first(length)), crc) << length;
    }
}

TEST(FlacFrameHeader, NumbersTakeOneToSevenBytes) {
    struct Case {
        std::uint64_t number;
        Bytes coded;
    };
    const Case cases[] = {
        {0, {0x00}},
        {0x7F, {0x7F}},
        {0x80, {0xC2, 0x80}},
        {0x7FF, {0xDF, 0xBF}},
        {0x800, {0xE0, 0xA0, 0x80}},
        {0xFFFF, {0xEF, 0xBF, 0xBF}},
        {0x10000, {0xF0, 0x90, 0x80, 0x80}},
        {0x1FFFFF, {0xF7, 0xBF, 0xBF, 0xBF}},
        {0x200000, {0xF8, 0x88, 0x80, 0x80, 0x80}},
        {0x3FFFFFF, {0xFB, 0xBF, 0xBF, 0xBF, 0xBF}},
        {0x4000000, {0xFC, 0x84, 0x80, 0x80, 0x80, 0x80}},
        {0x7FFFFFFF, {0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF}},
        {0x80000000, {0xFE, 0x82, 0x80, 0x80, 0x80, 0x80, 0x80}},
        {FlacFrameHeader::kMaxNumber, {0xFE, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(FlacFrameHeader::EncodeNumber(c.number), c.coded);
        Bytes followed = c.coded;
        followed.push_back(0x55);  // what comes after the number is not read
        const auto decoded = FlacFrameHeader::DecodeNumber(followed);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->value, c.number);
        EXPECT_EQ(decoded->length, c.coded.size());
    }
    EXPECT_TRUE(FlacFrameHeader::EncodeNumber(FlacFrameHeader::kMaxNumber + 1).empty());
    for (const Bytes& bad : {Bytes{}, Bytes{0x80}, Bytes{0xFF, 0x80}, Bytes{0xC2, 0x00},
                             Bytes{0xE0, 0xA0}, Bytes{0xFE, 0x80, 0x80, 0x80, 0x80, 0x80}}) {
        EXPECT_FALSE(FlacFrameHeader::DecodeNumber(bad)) << "coded number of " << bad.size();
    }
}

TEST(FlacFrameHeader, KnownHeadersAreRead) {
    struct Case {
        const char* what;
        Bytes bytes;  // the header, CRC-8 last, and a byte of the first subframe
        bool valid, variable;
        std::uint32_t blockSize;
        std::uint64_t number;
        std::size_t size;
    };
    const Case cases[] = {
        {"16 bit 44.1 kHz, 4608 samples, frame 0",
         {0xFF, 0xF8, 0x59, 0x88, 0x00, 0x8A, 0x44},
         true,
         false,
         4608,
         0,
         6},
        {"24 bit 96 kHz, 8192 samples, frame 0",
         {0xFF, 0xF8, 0xDB, 0x8C, 0x00, 0x03, 0x44},
         true,
         false,
         8192,
         0,
         6},
        {"variable, 3828 samples in two bytes, sample 0",
         {0xFF, 0xF9, 0x79, 0x88, 0x00, 0x0E, 0xF3, 0x78, 0x4A},
         true,
         true,
         3828,
         0,
         8},
        {"wrong CRC-8", {0xFF, 0xF8, 0x59, 0x88, 0x00, 0x8B, 0x44}, false, false, 0, 0, 0},
        {"no sync", {0xFF, 0xF0, 0x59, 0x88, 0x00, 0x8A, 0x44}, false, false, 0, 0, 0},
        {"reserved block size", {0xFF, 0xF8, 0x09, 0x88, 0x00, 0x8A, 0x44}, false, false, 0, 0, 0},
        {"cut short", {0xFF, 0xF9, 0x79, 0x88, 0x00, 0x0E}, false, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto header = FlacFrameHeader::Parse(c.bytes);
        ASSERT_EQ(header.has_value(), c.valid);
        if (!header)
            continue;
        EXPECT_EQ(header->variableBlockSize(), c.variable);
        EXPECT_EQ(header->blockSize(), c.blockSize);
        EXPECT_EQ(header->number(), c.number);
        EXPECT_EQ(header->size(), c.size);
    }
}

// The first `count` audio packets of a file, read with FFmpeg directly.
std::vector<Bytes> FirstFrames(const fs::path& file, int count) {
    std::vector<Bytes> frames;
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, file.c_str(), nullptr, nullptr) < 0)
        return frames;
    AVPacket* packet = av_packet_alloc();
    while (static_cast<int>(frames.size()) < count && av_read_frame(input, packet) >= 0) {
        frames.emplace_back(packet->data, packet->data + packet->size);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&input);
    return frames;
}

TEST(FlacFrameHeader, RealFramesAreRenumberedWithValidChecksums) {
    TempDir dir;
    struct Source {
        std::string name, args;
        std::uint32_t blockSize;
    };
    for (const Source& s :
         {Source{"s16.flac", "-ar 44100 -sample_fmt s16 -c:a flac", 4608},
          Source{"s24.flac", "-ar 96000 -sample_fmt s32 -c:a flac", 8192},
          Source{"small.flac", "-ar 8000 -sample_fmt s16 -c:a flac -frame_size 300", 300}}) {
        SCOPED_TRACE(s.name);
        const fs::path file = dir / s.name;
        ASSERT_TRUE(RunFfmpeg("-f lavfi -i anoisesrc=d=1:c=pink -ac 2 " + s.args, file));
        const std::vector<Bytes> frames = FirstFrames(file, 3);
        ASSERT_EQ(frames.size(), 3u);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const auto header = FlacFrameHeader::Parse(frames[i]);
            ASSERT_TRUE(header);
            EXPECT_FALSE(header->variableBlockSize());
            EXPECT_EQ(header->number(), i);
            EXPECT_EQ(header->blockSize(), s.blockSize);
            // The CRC-16 at the end makes the CRC of the whole frame zero.
            EXPECT_EQ(FlacFrameHeader::Crc16(frames[i]), 0);
        }
        // Sample numbers of every coded length, the header growing and shrinking.
        for (std::uint64_t number :
             {std::uint64_t{0}, std::uint64_t{0x80}, std::uint64_t{0x800}, std::uint64_t{0x10000},
              std::uint64_t{0x200000}, std::uint64_t{0x4000000}, std::uint64_t{0x80000000},
              FlacFrameHeader::kMaxNumber}) {
            SCOPED_TRACE(number);
            const Bytes& frame = frames[1];
            const auto header = FlacFrameHeader::Parse(frame);
            const Bytes renumbered = header->Renumbered(frame, number);
            ASSERT_FALSE(renumbered.empty());
            const auto again = FlacFrameHeader::Parse(renumbered);
            ASSERT_TRUE(again);
            EXPECT_TRUE(again->variableBlockSize());
            EXPECT_EQ(again->number(), number);
            EXPECT_EQ(again->blockSize(), header->blockSize());
            EXPECT_EQ(FlacFrameHeader::Crc16(renumbered), 0);
            const std::size_t grown = FlacFrameHeader::EncodeNumber(number).size() -
                                      FlacFrameHeader::EncodeNumber(header->number()).size();
            EXPECT_EQ(renumbered.size(), frame.size() + grown);
            // The subframes are the same bytes.
            EXPECT_TRUE(std::equal(
                frame.begin() + static_cast<std::ptrdiff_t>(header->size()), frame.end() - 2,
                renumbered.begin() + static_cast<std::ptrdiff_t>(again->size())));
        }
        // A frame damaged in the source stays damaged: its check still fails.
        Bytes damaged = frames[2];
        damaged[damaged.size() / 2] ^= 0x10;
        const Bytes renumberedDamage = FlacFrameHeader::Parse(damaged)->Renumbered(damaged, 5000);
        ASSERT_FALSE(renumberedDamage.empty());
        EXPECT_NE(FlacFrameHeader::Crc16(renumberedDamage), 0);
        EXPECT_TRUE(FlacFrameHeader::Parse(frames[0])
                        ->Renumbered(frames[0], FlacFrameHeader::kMaxNumber + 1)
                        .empty());
    }
}

}  // namespace
}  // namespace tolvane::testing
