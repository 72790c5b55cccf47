#pragma once
// AC-3, E-AC-3 and DTS frames found by their sync words and headers. Their raw demuxers
// time packets in 1/90000 s by each frame's duration rounded down, which at 44.1 kHz is
// short by 0.69 ticks an AC-3 frame and 0.9 a DTS frame: the stamps fall behind the
// audio the further a packet lies in the file. Counting frames from the first gives the
// exact time.

#include <cstdint>
#include <optional>

namespace tolvane {

// Bytes of a frame's start that tell its kind, length, rate and samples.
inline constexpr int kSyncFrameHeaderBytes = 9;

enum class SyncFrameKind { Ac3, Eac3, Dts };

struct SyncFrameHeader {
    SyncFrameKind kind = SyncFrameKind::Ac3;
    int bytes = 0;    // the whole frame
    int samples = 0;  // per channel
    int sampleRate = 0;
    // An E-AC-3 frame of a dependent substream: it extends the frame before it, and a
    // packet holds both.
    bool dependent = false;
    int substream = 0;  // E-AC-3 substream id
};

// The header in the first kSyncFrameHeaderBytes of `bytes`; nothing when they hold none
// (DTS: only the 16-bit big-endian core frame).
std::optional<SyncFrameHeader> ParseSyncFrameHeader(const std::uint8_t* bytes);

}  // namespace tolvane
