#pragma once
// The packets a demuxer (or a reader standing in for it) hands out, as a cut takes them:
// for comparing two ways of reading the same file.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/ffmpeg/FfmpegHolders.h"
#include "MediaFixtures.h"

namespace tolvane::testing {

struct PacketView {
    std::int64_t pts = 0, dts = 0, duration = 0;
    int flags = 0;
    std::string data, skipSamples;
    bool operator==(const PacketView&) const = default;
};

// The input with its streams probed; null when it cannot be opened.
ff::InputFormatPtr OpenProbed(const fs::path& file);

// The packets of stream `stream` to the end, from the first that ends after `from`, as
// `read` (av_read_frame's like) gives them.
template <typename Read>
std::vector<PacketView> PacketsFrom(Read read, std::int64_t from, int stream = 0) {
    std::vector<PacketView> packets;
    ff::PacketPtr packet(av_packet_alloc());
    while (read(*packet) >= 0) {
        if (packet->stream_index == stream && packet->pts + packet->duration > from) {
            PacketView view{packet->pts,
                            packet->dts,
                            packet->duration,
                            packet->flags,
                            std::string(reinterpret_cast<char*>(packet->data), packet->size),
                            {}};
            std::size_t size = 0;
            if (const std::uint8_t* skip =
                    av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &size))
                view.skipSamples.assign(reinterpret_cast<const char*>(skip), size);
            packets.push_back(std::move(view));
        }
        av_packet_unref(packet.get());
    }
    return packets;
}

}  // namespace tolvane::testing
