#include "engine/probe/OggLength.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane {

namespace {

constexpr std::size_t kHeaderSize = 27;
constexpr std::size_t kMaxHeader = kHeaderSize + 255;
// The end of the file read for the last page: a page holds at most 65307 bytes.
constexpr std::int64_t kTailBytes = 64 * 1024 + kMaxHeader;
constexpr std::uint8_t kContinued = 1;
constexpr std::uint8_t kFirstPage = 2;
constexpr std::uint8_t kLastPage = 4;

// The page checksum: CRC-32 with polynomial 0x04C11DB7, not reflected, from zero.
constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 0x80000000U) ? (r << 1) ^ 0x04C11DB7U : r << 1;
        table[i] = r;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct Page {
    std::uint8_t flags = 0;
    std::int64_t granule = -1;
    std::uint32_t serial = 0;
    std::size_t headerSize = 0;
    std::size_t bodySize = 0;
    std::span<const std::uint8_t> lacing;
};

// The page whose header starts `bytes`; nothing when none does (or it is cut short).
std::optional<Page> ParseHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), "OggS", 4) != 0 || bytes[4] != 0)
        return std::nullopt;
    Page page;
    page.flags = bytes[5];
    page.granule = static_cast<std::int64_t>(static_cast<std::uint64_t>(Le32(&bytes[6])) |
                                             static_cast<std::uint64_t>(Le32(&bytes[10])) << 32);
    page.serial = Le32(&bytes[14]);
    const std::size_t segments = bytes[26];
    page.headerSize = kHeaderSize + segments;
    if (bytes.size() < page.headerSize)
        return std::nullopt;
    page.lacing = bytes.subspan(kHeaderSize, segments);
    for (const std::uint8_t lace : page.lacing)
        page.bodySize += lace;
    return page;
}

// Whether the whole page at the start of `bytes` is there and its checksum right.
bool ChecksumHolds(std::span<const std::uint8_t> bytes, const Page& page) {
    const std::size_t size = page.headerSize + page.bodySize;
    if (bytes.size() < size)
        return false;
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = i >= 22 && i < 26 ? 0 : bytes[i];
        crc = (crc << 8) ^ kCrcTable[((crc >> 24) ^ byte) & 0xFF];
    }
    return crc == Le32(&bytes[22]);
}

// One logical stream of the file, as its pages are walked.
struct Link {
    std::uint32_t serial = 0;
    std::int64_t begin = 0;  // the byte its first page starts at
    bool opus = false;
    int sampleRate = 0;
    std::int64_t preSkip = 0;
    std::int64_t start = 0;
    bool startKnown = false;
    std::int64_t lastGranule = -1;
    bool ended = false;
    // Packets begun so far, and the first bytes of the one that runs on to the next page.
    int packets = 0;
    std::array<std::uint8_t, 2> pendingHead{};
    std::size_t pendingBytes = 0;

    std::int64_t Samples() const {
        return std::max<std::int64_t>(0, lastGranule - preSkip - start);
    }
};

// The stream its first page's first packet introduces; nothing when not Opus or Vorbis.
std::optional<Link> LinkOf(const Page& page, std::span<const std::uint8_t> body) {
    Link link;
    link.serial = page.serial;
    if (body.size() >= 19 && std::memcmp(body.data(), "OpusHead", 8) == 0) {
        link.opus = true;
        link.sampleRate = 48000;
        link.preSkip = body[10] | body[11] << 8;
    } else if (body.size() >= 16 && std::memcmp(body.data(), "\x01vorbis", 7) == 0) {
        link.sampleRate = static_cast<int>(Le32(&body[12]));
    } else {
        return std::nullopt;
    }
    return link;
}

// Counts the packets of one page of `link` and, on its first page of audio, works out
// where the stream starts: the page's granule position less the samples its packets play.
void TakePage(Link& link, const Page& page, std::span<const std::uint8_t> body,
              const PacketSamples& counter) {
    const int headerPackets = link.opus ? 2 : 3;
    std::int64_t samples = 0;
    bool audioEnded = false;
    std::size_t at = 0;
    bool inPacket = (page.flags & kContinued) != 0 && link.pendingBytes > 0;
    for (const std::uint8_t lace : page.lacing) {
        if (!inPacket) {
            inPacket = true;
            link.pendingBytes = 0;
        }
        for (std::size_t i = 0; i < lace && link.pendingBytes < 2 && at + i < body.size(); ++i)
            link.pendingHead[link.pendingBytes++] = body[at + i];
        at += lace;
        if (lace == 255)
            continue;
        inPacket = false;
        if (link.packets >= headerPackets) {
            const std::span head(link.pendingHead.data(), link.pendingBytes);
            samples += counter(head, link.packets == headerPackets);
            audioEnded = true;
        }
        ++link.packets;
        link.pendingBytes = 0;
    }
    if (page.granule >= 0)
        link.lastGranule = page.granule;
    if (!link.startKnown && audioEnded && page.granule >= 0) {
        link.start = std::max<std::int64_t>(0, page.granule - samples);
        link.startKnown = true;
    }
    if (page.flags & kLastPage)
        link.ended = true;
}

// Walks the file's pages from `offset`: every page when `all`, else until the first
// stream's start is known. Nothing when a page is unreadable or the streams are not
// one after another of one codec.
std::optional<std::vector<Link>> WalkLinks(const ByteReader& read, std::int64_t size, bool all,
                                           const PacketSamples& vorbisSamples) {
    const PacketSamples opusSamples = [](std::span<const std::uint8_t> head, bool) {
        return OpusPacketSamples(head);
    };
    std::vector<Link> links;
    std::vector<std::uint8_t> bytes(kMaxHeader);
    std::vector<std::uint8_t> body;
    for (std::int64_t offset = 0; offset < size;) {
        const int got = read(offset, std::span(bytes.data(), bytes.size()));
        if (got <= 0)
            return std::nullopt;
        const std::optional<Page> page =
            ParseHeader(std::span(bytes.data(), static_cast<std::size_t>(got)));
        if (!page)
            return std::nullopt;
        const bool first = (page->flags & kFirstPage) != 0;
        Link* link = links.empty() ? nullptr : &links.back();
        // A stream begun while another runs is multiplexed with it, not chained.
        if (first ? link != nullptr && !link->ended
                  : link == nullptr || page->serial != link->serial)
            return std::nullopt;
        const bool needBody = first || !link->startKnown;
        if (needBody) {
            body.resize(page->bodySize);
            const int bodyGot = read(offset + static_cast<std::int64_t>(page->headerSize), body);
            if (bodyGot != static_cast<int>(body.size()))
                return std::nullopt;
        }
        if (first) {
            std::optional<Link> next = LinkOf(*page, body);
            if (!next || (link != nullptr && next->opus != link->opus))
                return std::nullopt;
            next->begin = offset;
            links.push_back(*next);
            link = &links.back();
        }
        if (needBody) {
            TakePage(*link, *page, body, link->opus ? opusSamples : vorbisSamples);
        } else {
            if (page->granule >= 0)
                link->lastGranule = page->granule;
            if (page->flags & kLastPage)
                link->ended = true;
        }
        if (!all && links.size() == 1 && link->startKnown)
            return links;
        offset += static_cast<std::int64_t>(page->headerSize + page->bodySize);
    }
    if (links.empty())
        return std::nullopt;
    return links;
}

// The last whole page with a granule position in the file's last bytes.
std::optional<Page> LastPage(const ByteReader& read, std::int64_t size) {
    const std::int64_t from = std::max<std::int64_t>(0, size - kTailBytes);
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(size - from));
    const int got = read(from, tail);
    if (got <= 0)
        return std::nullopt;
    tail.resize(static_cast<std::size_t>(got));
    for (std::size_t at = tail.size() >= kHeaderSize ? tail.size() - kHeaderSize + 1 : 0;
         at-- > 0;) {
        const std::span<const std::uint8_t> bytes = std::span(tail).subspan(at);
        const std::optional<Page> page = ParseHeader(bytes);
        if (page && page->granule >= 0 && ChecksumHolds(bytes, *page))
            return page;
    }
    return std::nullopt;
}

// The length of a file of `links`: nothing when they play at different rates.
std::optional<OggLength> Summed(const std::optional<std::vector<OggLink>>& links) {
    if (!links)
        return std::nullopt;
    OggLength length;
    length.sampleRate = links->front().sampleRate;
    for (const OggLink& link : *links) {
        if (link.sampleRate != length.sampleRate)
            return std::nullopt;
        length.samples += link.samples;
        ++length.links;
    }
    return length;
}

}  // namespace

int OpusPacketSamples(std::span<const std::uint8_t> packet) {
    if (packet.empty())
        return 0;
    const int config = packet[0] >> 3;
    int frame = 0;  // samples at 48 kHz
    if (config < 12)
        frame = std::array{480, 960, 1920, 2880}[config & 3];  // SILK: 10 to 60 ms
    else if (config < 16)
        frame = (config & 1) ? 960 : 480;  // hybrid: 10, 20 ms
    else
        frame = 120 << (config & 3);  // CELT: 2.5 to 20 ms
    switch (packet[0] & 3) {
        case 0:
            return frame;
        case 1:
        case 2:
            return 2 * frame;
        default:
            return packet.size() < 2 ? 0 : (packet[1] & 0x3F) * frame;
    }
}

std::optional<std::vector<OggLink>> ReadOggLinks(const ByteReader& read, std::int64_t size,
                                                 const PacketSamples& vorbisSamples) {
    if (size <= 0 || !vorbisSamples)
        return std::nullopt;
    std::optional<std::vector<Link>> links = WalkLinks(read, size, false, vorbisSamples);
    if (!links)
        return std::nullopt;
    const std::optional<Page> last = LastPage(read, size);
    if (!last)
        return std::nullopt;
    // The usual file is one stream: its first pages and its last tell its length. A
    // last page of another stream makes a chained file, whose pages are all walked.
    if (last->serial == links->front().serial) {
        links->resize(1);
        links->front().lastGranule = last->granule;
    } else {
        links = WalkLinks(read, size, true, vorbisSamples);
        if (!links)
            return std::nullopt;
    }
    std::vector<OggLink> table;
    for (std::size_t i = 0; i < links->size(); ++i) {
        const Link& link = (*links)[i];
        // A stream without a rate has no length: no time on the file's timeline is its.
        if (link.lastGranule < 0 || link.sampleRate <= 0)
            return std::nullopt;
        const std::int64_t end = i + 1 < links->size() ? (*links)[i + 1].begin : size;
        table.push_back({link.begin, end, link.Samples(), link.preSkip, link.sampleRate});
    }
    return table;
}

std::optional<OggLength> ReadOggLength(const ByteReader& read, std::int64_t size,
                                       const PacketSamples& vorbisSamples) {
    return Summed(ReadOggLinks(read, size, vorbisSamples));
}

std::optional<std::vector<OggLink>> ReadOggLinks(AVFormatContext& input, const AVStream& stream) {
    const AVCodecParameters& par = *stream.codecpar;
    if (std::string_view(input.iformat->name) != "ogg" ||
        (par.codec_id != AV_CODEC_ID_OPUS && par.codec_id != AV_CODEC_ID_VORBIS) ||
        input.pb == nullptr || !(input.pb->seekable & AVIO_SEEKABLE_NORMAL) || par.sample_rate <= 0)
        return std::nullopt;
    AVIOContext* io = input.pb;
    const std::int64_t back = avio_tell(io);
    const ByteReader read = [io](std::int64_t offset, std::span<std::uint8_t> data) {
        if (avio_seek(io, offset, SEEK_SET) < 0)
            return -1;
        return avio_read(io, data.data(), static_cast<int>(data.size()));
    };
    ff::VorbisParserPtr parser;
    if (par.codec_id == AV_CODEC_ID_VORBIS) {
        parser.reset(av_vorbis_parse_init(par.extradata, par.extradata_size));
        if (!parser)
            return std::nullopt;
    }
    // A Vorbis packet plays half its block and half the block before it; the first
    // one only starts the overlap.
    const PacketSamples vorbisSamples = [&parser](std::span<const std::uint8_t> head, bool first) {
        if (!parser || head.empty())
            return 0;
        if (first)
            av_vorbis_parse_reset(parser.get());
        const int samples =
            av_vorbis_parse_frame(parser.get(), head.data(), static_cast<int>(head.size()));
        return first || samples < 0 ? 0 : samples;
    };
    std::optional<std::vector<OggLink>> links = ReadOggLinks(read, avio_size(io), vorbisSamples);
    avio_seek(io, back, SEEK_SET);
    return links;
}

std::optional<OggLength> ReadOggLength(AVFormatContext& input, const AVStream& stream) {
    return Summed(ReadOggLinks(input, stream));
}

std::optional<std::int64_t> OggStatedLength(AVFormatContext& input, const AVStream& stream) {
    const std::optional<OggLength> length = ReadOggLength(input, stream);
    if (!length || length->samples <= 0 || length->sampleRate <= 0)
        return std::nullopt;
    return av_rescale(length->samples, 1000000, length->sampleRate);
}

}  // namespace tolvane
