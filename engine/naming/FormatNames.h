#pragma once
// The FFmpeg names of a file's container and audio codec, as ffprobe prints them
// (format_name, codec_name), for reports that name the format exactly.

#include <string>

namespace tolvane {

struct FormatNames {
    std::string container;  // e.g. "mp3", "wav", "mov,mp4,m4a,3gp,3g2,mj2"
    std::string codec;      // of the last audio stream, e.g. "mp3", "pcm_s16le"
};

// Empty names when the file cannot be opened or holds no audio stream.
FormatNames ReadFormatNames(const std::string& path);

}  // namespace tolvane
