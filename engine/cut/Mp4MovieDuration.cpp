#include "engine/cut/Mp4MovieDuration.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tolvane {

namespace {

std::uint64_t ReadBe(const std::uint8_t* at, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | at[i];
    return value;
}

// One box: its type and its payload (after the size, type and any 64-bit size).
struct Box {
    std::string_view type;
    const std::uint8_t* payload = nullptr;
    std::size_t payloadSize = 0;
};

// Calls `visit` on every box laid out in [data, data + size); stops at a broken one.
template <typename Visit>
void ForEachBox(const std::uint8_t* data, std::size_t size, Visit visit) {
    std::size_t at = 0;
    while (at + 8 <= size) {
        std::uint64_t boxSize = ReadBe(data + at, 4);
        std::size_t header = 8;
        if (boxSize == 1) {
            if (at + 16 > size)
                return;
            boxSize = ReadBe(data + at + 8, 8);
            header = 16;
        } else if (boxSize == 0) {
            boxSize = size - at;
        }
        if (boxSize < header || boxSize > size - at)
            return;
        visit(Box{std::string_view(reinterpret_cast<const char*>(data + at + 4), 4),
                  data + at + header, static_cast<std::size_t>(boxSize) - header});
        at += static_cast<std::size_t>(boxSize);
    }
}

std::optional<Box> Child(const Box& parent, std::string_view type) {
    std::optional<Box> found;
    ForEachBox(parent.payload, parent.payloadSize, [&](const Box& box) {
        if (!found && box.type == type)
            found = box;
    });
    return found;
}

// The time scale (at 12 in version 0, 20 in version 1) of an "mvhd" or "mdhd" box.
std::uint32_t TimeScale(const Box& header) {
    const bool v1 = header.payloadSize > 0 && header.payload[0] == 1;
    const std::size_t at = v1 ? 20 : 12;
    return header.payloadSize >= at + 4 ? static_cast<std::uint32_t>(ReadBe(header.payload + at, 4))
                                        : 0;
}

// A track's edits plus the media time its first edit skips, in the movie's time scale.
std::uint64_t TrackReach(const Box& trak, std::uint32_t movieScale) {
    const std::optional<Box> edts = Child(trak, "edts");
    const std::optional<Box> elst = edts ? Child(*edts, "elst") : std::nullopt;
    const std::optional<Box> mdia = Child(trak, "mdia");
    const std::optional<Box> mdhd = mdia ? Child(*mdia, "mdhd") : std::nullopt;
    if (!elst || !mdhd || elst->payloadSize < 8)
        return 0;
    const std::uint32_t mediaScale = TimeScale(*mdhd);
    const bool v1 = elst->payload[0] == 1;
    const std::size_t entryBytes = v1 ? 20 : 12;
    const std::uint64_t count = ReadBe(elst->payload + 4, 4);
    if (mediaScale == 0 || count == 0 || 8 + count * entryBytes > elst->payloadSize)
        return 0;
    std::uint64_t reach = 0;
    std::int64_t firstMediaTime = -1;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = elst->payload + 8 + i * entryBytes;
        reach += ReadBe(entry, v1 ? 8 : 4);
        const std::int64_t mediaTime =
            v1 ? static_cast<std::int64_t>(ReadBe(entry + 8, 8))
               : static_cast<std::int32_t>(static_cast<std::uint32_t>(ReadBe(entry + 4, 4)));
        if (firstMediaTime < 0 && mediaTime >= 0)
            firstMediaTime = mediaTime;
    }
    if (firstMediaTime > 0)  // rounded up, so the edit's last sample is inside
        reach +=
            (static_cast<std::uint64_t>(firstMediaTime) * movieScale + mediaScale - 1) / mediaScale;
    return reach;
}

}  // namespace

std::optional<MovieDurationPatch> PatchMovieDuration(const std::uint8_t* moov, std::size_t size) {
    std::optional<Box> movie;
    ForEachBox(moov, size, [&](const Box& box) {
        if (!movie && box.type == "moov")
            movie = box;
    });
    if (!movie)
        return std::nullopt;
    const std::optional<Box> mvhd = Child(*movie, "mvhd");
    if (!mvhd || mvhd->payloadSize < 32)
        return std::nullopt;
    const std::uint32_t movieScale = TimeScale(*mvhd);
    const bool v1 = mvhd->payload[0] == 1;
    const std::size_t durationAt = v1 ? 24 : 16;
    const int durationBytes = v1 ? 8 : 4;
    const std::uint64_t current = ReadBe(mvhd->payload + durationAt, durationBytes);
    std::uint64_t reach = 0;
    ForEachBox(movie->payload, movie->payloadSize, [&](const Box& box) {
        if (box.type == "trak")
            reach = std::max(reach, TrackReach(box, movieScale));
    });
    if (movieScale == 0 || reach <= current || (!v1 && reach > 0xFFFFFFFFu))
        return std::nullopt;
    MovieDurationPatch patch;
    patch.offset = static_cast<std::size_t>(mvhd->payload - moov) + durationAt;
    patch.duration = reach;
    for (int i = durationBytes - 1; i >= 0; --i)
        patch.bytes.push_back(static_cast<std::uint8_t>(reach >> (8 * i)));
    return patch;
}

}  // namespace tolvane
