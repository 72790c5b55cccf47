#pragma once
// The Info (or Xing) frame at the start of an MP3 file and its LAME tag: the frame count,
// the encoder delay and the padding that gapless decoders drop.
//
// The muxer writes the frame without CRC protection and names itself in the tag's version
// field. Some players read the delay and padding only from a tag that names "LAME" and
// only when the Info frame's protection bit matches the audio frames': FixMp3InfoFrame()
// makes both so (the audio itself is copied from the source unchanged).

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tolvane {

struct Mp3InfoTag {
    std::int64_t frames = -1;  // audio frames after the Info frame; -1: not stated
    int frameSamples = 0;
    int sampleRate = 0;
    bool hasLameTag = false;
    int delay = 0;    // encoder delay (decoders drop this plus 529 samples)
    int padding = 0;  // samples after the audio, at the end of the last frame
};

// Reads the Info or Xing frame that starts at `frame` (`size` bytes available).
std::optional<Mp3InfoTag> ReadMp3InfoFrame(const std::uint8_t* frame, std::size_t size);

// Gives the Info frame at `frame` the protection bit `crcProtected`, names "LAME" in its
// tag and renews the tag's checksum. False when it holds no LAME tag.
bool FixMp3InfoFrame(std::uint8_t* frame, std::size_t size, bool crcProtected);

// The offset of the first frame of an MP3 file past its ID3v2 tag, from the file's first
// ten bytes.
std::size_t Mp3AudioOffset(const std::uint8_t* head, std::size_t size);

}  // namespace tolvane
