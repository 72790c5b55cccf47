#pragma once
// The layer III side information of an MP3 frame, and frames made from a stream's own:
// a frame's main data may begin up to 511 bytes (255 at MPEG-2 and 2.5) before its
// payload, in the frames before it (the bit reservoir).

#include <cstdint>
#include <optional>
#include <vector>

namespace tolvane {

// The layout of one layer III frame, as far as the reservoir needs it.
struct Mp3FrameLayout {
    int sideOffset = 0;     // where the side information starts (after header and CRC)
    int sideBytes = 0;      // its length
    int mainDataBegin = 0;  // bytes the main data starts before the frame's payload
    int mainDataBytes = 0;  // bytes of main data of the frame, wherever they lie
    int payloadBytes = 0;   // bytes of the frame after the side information
    bool crc = false;
};

// The layout of the layer III frame at `data`; nothing when it is none (or free format)
// or is cut short.
std::optional<Mp3FrameLayout> ReadMp3FrameLayout(const std::uint8_t* data, int size);

// CRC-16 of MPEG audio (polynomial 0x8005, starting at 0xFFFF) over the header's last
// two bytes and the side information.
std::uint16_t MpegAudioFrameCrc(const std::uint8_t* header, const std::uint8_t* side,
                                int sideBytes);

// Writes the CRC of the frame at `frame` after its header, when its layout has one.
void PutMpegAudioFrameCrc(std::uint8_t* frame, const Mp3FrameLayout& layout);

// A frame of the stream whose first frame is `frame` that decodes to silence and leaves
// nothing in the bit reservoir: the same header, all side information and main data
// zero (and a CRC that matches, in a stream with CRCs). Empty when `frame` is no
// layer III frame.
std::vector<std::uint8_t> SilentMp3Frame(const std::uint8_t* frame, int size);

// A frame that decodes to silence and carries `count` bytes of `reservoir` at the end of
// its payload, for the frame `frame` whose main data begins `count` bytes back: `frame`'s
// header at the lowest bit rate whose payload holds them, no padding, all side
// information zero (main data beginning in the frame itself, none read). Empty when
// `frame` is no layer III frame or no bit rate holds the bytes.
std::vector<std::uint8_t> Mp3CarrierFrame(const std::uint8_t* frame, int size,
                                          const std::uint8_t* reservoir, int count);

}  // namespace tolvane
