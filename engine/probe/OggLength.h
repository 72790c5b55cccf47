#pragma once
// The length an Ogg Opus or Vorbis file states in its pages, to the sample: for each
// logical stream in the file (a chained file holds several, one after another) its
// last granule position, less the Opus pre-skip and less the position its first
// audio page starts at. The demuxer's own duration counts the pre-skip and sees only
// a chained file's last stream.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tolvane {

// Reads up to `data.size()` bytes at `offset`; returns the bytes read, or < 0.
using ByteReader = std::function<int(std::int64_t offset, std::span<std::uint8_t> data)>;

struct OggLength {
    std::int64_t samples = 0;  // at the stream's sample rate (Opus: 48 kHz)
    int sampleRate = 0;
    int links = 0;  // logical streams, one after another
};

// One logical stream of an Ogg file, which a chained file holds several of, one after
// another: its bytes [begin, end) read as a file of their own are an ordinary Ogg file.
struct OggLink {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    std::int64_t samples = 0;  // what a decoder plays of it, at its sample rate
    std::int64_t preSkip = 0;  // Opus: the samples a decoder drops at its start
    int sampleRate = 0;
};

// Samples a decoder plays of one audio packet of a stream, given its first bytes;
// `first` for the stream's first audio packet (a Vorbis decoder plays nothing of it).
using PacketSamples = std::function<int(std::span<const std::uint8_t> head, bool first)>;

// The length of the Opus or Vorbis file of `size` bytes that `read` reads. Vorbis
// packets are counted by `vorbisSamples` (their block sizes need the stream's set-up
// header); the streams of a chained Vorbis file are taken to share it, as the files a
// join without re-encoding takes do. Nothing when the file is no such Ogg file or its
// pages do not tell.
std::optional<OggLength> ReadOggLength(const ByteReader& read, std::int64_t size,
                                       const PacketSamples& vorbisSamples);

// The links of the Opus or Vorbis file of `size` bytes, one for an ordinary file: its
// first pages and its last tell it is one, so only a chained file is read whole.
// Nothing as for ReadOggLength.
std::optional<std::vector<OggLink>> ReadOggLinks(const ByteReader& read, std::int64_t size,
                                                 const PacketSamples& vorbisSamples);

// The length of `stream` of the Ogg file `input` (read through its I/O, which is left
// where it was); nothing when not Opus or Vorbis or the pages do not tell.
std::optional<OggLength> ReadOggLength(AVFormatContext& input, const AVStream& stream);
// Its links, the same way.
std::optional<std::vector<OggLink>> ReadOggLinks(AVFormatContext& input, const AVStream& stream);

// The length in microseconds of `stream` of the Ogg file `input` (read through its I/O,
// which is left where it was); nothing when not Opus or Vorbis or the pages do not tell.
std::optional<std::int64_t> OggStatedLength(AVFormatContext& input, const AVStream& stream);

// Samples of one Opus packet at 48 kHz, from its table of contents; 0 when unreadable.
int OpusPacketSamples(std::span<const std::uint8_t> packet);

}  // namespace tolvane
