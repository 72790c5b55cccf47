#pragma once
// The output file of a job: created exclusively (an existing file is never written
// over), written through our own AVIOContext so every write error is seen, and
// removable when the job fails, since only then do we know the file is ours.

#include <string>

#include "engine/ffmpeg/FfmpegHolders.h"
#include "UniqueFd.h"

namespace tolvane {

class ExclusiveOutputFile {
  public:
    ExclusiveOutputFile() = default;
    ~ExclusiveOutputFile();
    ExclusiveOutputFile(const ExclusiveOutputFile&) = delete;
    ExclusiveOutputFile& operator=(const ExclusiveOutputFile&) = delete;

    // Creates `path`; fails with AVERROR(EEXIST) when a file of that name exists.
    int Create(const std::string& path);
    // Creates `path` or, when another writer took that name first, the next free name of
    // the "base(n).ext" row (see NextOutputCandidate). path() tells which.
    int CreateFree(const std::string& path);
    const std::string& path() const { return path_; }
    // Reads or rewrites bytes already written (after io() was flushed), for headers the
    // muxer leaves to us. ReadAt returns the bytes read (fewer at the file's end),
    // WriteAt 0; both an FFmpeg error on failure.
    int ReadAt(std::int64_t offset, std::uint8_t* data, std::size_t size) const;
    int WriteAt(std::int64_t offset, const std::uint8_t* data, std::size_t size);
    // Seekable I/O over the file (so muxers can rewrite their headers at the end).
    AVIOContext* io() const { return io_.get(); }
    // Flushes and closes the file; returns the first write error, if any.
    int Close();
    // Closes the file if open and deletes it, if this object created it.
    void Remove();
    // The first write or seek error seen so far (0: none).
    int error() const { return error_; }

  private:
    static int WritePacket(void* opaque, std::uint8_t* data, int size);
    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence);

    static constexpr int kBufferSize = 256 * 1024;
    UniqueFd fd_;
    std::string path_;
    bool created_ = false;
    int error_ = 0;
    ff::IoContextPtr io_;
};

}  // namespace tolvane
