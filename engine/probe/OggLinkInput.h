#pragma once
// One link of a chained Ogg file opened as a file of its own: FFmpeg's demuxer sees an
// ordinary single-stream Ogg file through an I/O context bounded to the link's bytes,
// with the link's own length and seeking. FFmpeg, read as one, mixes the links up (the
// last link's length, no seeking past the first).

#include <cstdint>
#include <memory>
#include <string>

#include "UniqueFd.h"
#include "engine/ffmpeg/FfmpegHolders.h"
#include "engine/probe/OggLength.h"

namespace tolvane {

class OggLinkInput {
  public:
    // The link's demuxer, its stream information found; nothing when the file cannot be
    // read or FFmpeg finds no stream in those bytes.
    static std::unique_ptr<OggLinkInput> Open(const std::string& path, const OggLink& link);
    ~OggLinkInput();
    OggLinkInput(const OggLinkInput&) = delete;
    OggLinkInput& operator=(const OggLinkInput&) = delete;

    AVFormatContext& format() { return *format_; }

  private:
    OggLinkInput(UniqueFd fd, const OggLink& link) : fd_(std::move(fd)), link_(link) {}
    static int ReadPacket(void* opaque, std::uint8_t* data, int size);
    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence);

    UniqueFd fd_;
    const OggLink link_;
    std::int64_t position_ = 0;  // from the link's first byte
    ff::IoContextPtr io_;
    ff::InputFormatPtr format_;
};

// The links of the Ogg Opus or Vorbis file `input` when it is chained (more than one);
// empty for any other file.
std::vector<OggLink> ChainedOggLinks(AVFormatContext& input, const AVStream& stream);

}  // namespace tolvane
