#include "engine/cut/FileBlock.h"

#include <cstring>
#include <utility>

namespace tolvane {

bool FileBlock::Hold(std::int64_t pos, std::int64_t bytes) {
    if (buffer_ && pos >= start_ && pos + bytes <= end())
        return true;
    return Fill(pos) && pos + bytes <= end();
}

bool FileBlock::Fill(std::int64_t from) {
    // Packets may still hold the last block; once they are written it is filled again,
    // its pages already in place. A packet held back a while keeps the last block: the
    // one before it is free again by then.
    if (buffer_ && !av_buffer_is_writable(buffer_.get()))
        std::swap(buffer_, spare_);
    if (!buffer_ || !av_buffer_is_writable(buffer_.get()))
        buffer_.reset(av_buffer_alloc(bytes_ + AV_INPUT_BUFFER_PADDING_SIZE));
    filled_ = 0;
    if (!buffer_ || avio_seek(&io_, from, SEEK_SET) != from)
        return false;
    const int read = avio_read(&io_, buffer_->data, bytes_);
    start_ = from;
    filled_ = read > 0 ? read : 0;
    std::memset(buffer_->data + filled_, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    return filled_ > 0;
}

void FileBlock::Release() {
    buffer_.reset();
    spare_.reset();
    filled_ = 0;
}

int FileBlock::Lend(std::int64_t pos, int size, AVPacket& packet) const {
    av_packet_unref(&packet);
    packet.buf = av_buffer_ref(buffer_.get());
    if (packet.buf == nullptr)
        return AVERROR(ENOMEM);
    packet.data = buffer_->data + (pos - start_);
    packet.size = size;
    return 0;
}

}  // namespace tolvane
