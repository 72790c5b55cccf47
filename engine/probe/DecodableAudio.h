#pragma once
// Whether a finished output holds audio a decoder can play: what decides whether a job
// that wrote packets has a result at all.

#include <string>

namespace tolvane {

// True when FFmpeg opens `path`, finds an audio stream and decodes at least one sample.
// `formatName` names the muxer that wrote the file: its demuxer reads it back, since
// content probing cannot tell a few frames of a raw stream (AC-3, DTS, ...) from noise.
bool HoldsDecodableAudio(const std::string& path, const char* formatName = nullptr);

}  // namespace tolvane
