#pragma once
// Whether a finished output holds audio a decoder can play: what decides whether a job
// that wrote packets has a result at all.

#include <string>

namespace tolvane {

// True when FFmpeg opens `path`, finds an audio stream and decodes at least one sample.
bool HoldsDecodableAudio(const std::string& path);

}  // namespace tolvane
