#pragma once
// The media fuzz targets' input file: the fuzzer's bytes written under an extension
// their first byte picks (the extension decides how the engine and the player treat
// the file), in a scratch folder of the target's own.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace tolvane::fuzz {

inline constexpr const char* kExtensions[] = {".mp3", ".wav", ".flac", ".ogg",  ".m4a", ".aac",
                                              ".mp2", ".mka", ".MP3",  ".opus", ".ac3", ".au"};

// A folder made once per run, named after `name`; FFmpeg's log is silenced with it.
inline const std::filesystem::path& ScratchFolder(const char* name) {
    static const std::filesystem::path folder = [name] {
        av_log_set_level(AV_LOG_QUIET);
        std::string pattern =
            (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        return std::filesystem::path(pattern);
    }();
    return folder;
}

// Writes data[skip..size) to "input<extension>" in `folder`, the extension picked by
// data[0] (size must exceed skip).
inline std::filesystem::path WriteInput(const std::filesystem::path& folder,
                                        const std::uint8_t* data, std::size_t size,
                                        std::size_t skip) {
    constexpr std::size_t count = sizeof kExtensions / sizeof kExtensions[0];
    const std::filesystem::path input =
        folder / (std::string("input") + kExtensions[data[0] % count]);
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + skip),
              static_cast<std::streamsize>(size - skip));
    return input;
}

}  // namespace tolvane::fuzz
