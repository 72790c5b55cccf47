#pragma once
// Bytes of a file read in large blocks that packets can refer to: a reader that cuts a
// stream into packets itself hands out pieces of the block instead of a copy of each,
// and reads the file in a few large reads instead of many small ones.

#include <cstdint>

#include "engine/ffmpeg/FfmpegHolders.h"

namespace tolvane {

class FileBlock {
  public:
    FileBlock(AVIOContext& io, int bytes) : io_(io), bytes_(bytes) {}

    // Makes [pos, pos + bytes) readable, filling the block from `pos` when it does not
    // hold them; false when the file has not that many bytes there.
    bool Hold(std::int64_t pos, std::int64_t bytes);
    // Fills the block from byte `from` of the file; false when nothing could be read.
    bool Fill(std::int64_t from);
    // Drops the block (and its memory, once no packet holds it).
    void Release();

    // The byte at `pos`, which the block holds (padded with zeros past its end).
    const std::uint8_t* At(std::int64_t pos) const { return buffer_->data + (pos - start_); }
    std::int64_t start() const { return start_; }
    std::int64_t end() const { return start_ + filled_; }

    // Makes `packet` the `size` bytes at `pos`, which the block holds, by reference to
    // the block. 0 or AVERROR(ENOMEM).
    int Lend(std::int64_t pos, int size, AVPacket& packet) const;

  private:
    AVIOContext& io_;
    const int bytes_;
    ff::BufferPtr buffer_;
    // The block before, which a packet held back (at a seam) may still refer to.
    ff::BufferPtr spare_;
    std::int64_t start_ = 0;
    int filled_ = 0;
};

}  // namespace tolvane
