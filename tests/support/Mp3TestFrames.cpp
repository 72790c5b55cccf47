#include "Mp3TestFrames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "engine/cut/MpegAudioFrames.h"

namespace tolvane::testing {

namespace {

void PutBits(std::vector<std::uint8_t>& data, std::size_t at, int bits, std::uint32_t value) {
    for (int i = bits - 1; i >= 0; --i, ++at) {
        const auto mask = static_cast<std::uint8_t>(0x80 >> (at & 7));
        data[at >> 3] = static_cast<std::uint8_t>(((value >> i) & 1) ? data[at >> 3] | mask
                                                                     : data[at >> 3] & ~mask);
    }
}

}  // namespace

ff::PacketPtr MakeMp3Frame(int begin, int bytes, std::uint8_t fill, std::uint32_t header) {
    const int size = ParseMpegAudioHeader(header)->bytes;
    const bool mpeg1 = ((header >> 19) & 3) == 3;
    const bool mono = ((header >> 6) & 3) == 3;
    const int sideBytes = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const std::size_t side = (header >> 16) & 1 ? 4 : 6;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size), fill);
    AV_WB32(data.data(), header);
    std::fill(data.begin() + 4, data.begin() + static_cast<long>(side) + sideBytes, 0);
    PutBits(data, side * 8, mpeg1 ? 9 : 8, static_cast<std::uint32_t>(begin));
    // part2_3_length of the first granule and channel, after the private bits (and
    // MPEG-1's scale factor selection).
    const std::size_t lengthAt = mpeg1 ? 9 + (mono ? 5 + 4 : 3 + 8) : 8 + (mono ? 1 : 2);
    PutBits(data, side * 8 + lengthAt, 12, static_cast<std::uint32_t>(bytes * 8));
    ff::PacketPtr packet(av_packet_alloc());
    EXPECT_EQ(av_new_packet(packet.get(), size), 0);
    std::memcpy(packet->data, data.data(), data.size());
    return packet;
}

std::vector<std::uint8_t> PacketBytes(const AVPacket& packet) {
    return {packet.data, packet.data + packet.size};
}

}  // namespace tolvane::testing
