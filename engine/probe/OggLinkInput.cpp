#include "engine/probe/OggLinkInput.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace tolvane {

namespace {

constexpr int kBufferSize = 64 * 1024;

}  // namespace

std::unique_ptr<OggLinkInput> OggLinkInput::Open(const std::string& path, const OggLink& link) {
    if (link.begin < 0 || link.end <= link.begin)
        return nullptr;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return nullptr;
    std::unique_ptr<OggLinkInput> input(new OggLinkInput(std::move(fd), link));
    ff::MemoryPtr buffer(static_cast<std::uint8_t*>(av_malloc(kBufferSize)));
    if (!buffer)
        return nullptr;
    AVIOContext* io =
        avio_alloc_context(buffer.get(), kBufferSize, 0, input.get(), &ReadPacket, nullptr, &Seek);
    if (io == nullptr)
        return nullptr;
    buffer.release();  // the I/O context owns it now
    input->io_.reset(io);
    AVFormatContext* format = avformat_alloc_context();
    if (format == nullptr)
        return nullptr;
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&format, nullptr, av_find_input_format("ogg"), nullptr) < 0)
        return nullptr;  // FFmpeg frees the context itself on failure
    input->format_.reset(format);
    if (avformat_find_stream_info(format, nullptr) < 0 || format->nb_streams == 0)
        return nullptr;
    return input;
}

OggLinkInput::~OggLinkInput() {
    format_.reset();  // before the I/O it reads through
    io_.reset();
}

int OggLinkInput::ReadPacket(void* opaque, std::uint8_t* data, int size) {
    auto& self = *static_cast<OggLinkInput*>(opaque);
    const std::int64_t left = self.link_.end - self.link_.begin - self.position_;
    if (left <= 0)
        return AVERROR_EOF;
    const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(size, left));
    const ssize_t got = ::pread(self.fd_.get(), data, wanted,
                                static_cast<off_t>(self.link_.begin + self.position_));
    if (got < 0)
        return AVERROR(errno);
    if (got == 0)
        return AVERROR_EOF;
    self.position_ += got;
    return static_cast<int>(got);
}

std::int64_t OggLinkInput::Seek(void* opaque, std::int64_t offset, int whence) {
    auto& self = *static_cast<OggLinkInput*>(opaque);
    const std::int64_t size = self.link_.end - self.link_.begin;
    std::int64_t target = 0;
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return size;
        case SEEK_SET:
            target = offset;
            break;
        case SEEK_CUR:
            target = self.position_ + offset;
            break;
        case SEEK_END:
            target = size + offset;
            break;
        default:
            return AVERROR(EINVAL);
    }
    if (target < 0 || target > size)
        return AVERROR(EINVAL);
    self.position_ = target;
    return target;
}

std::vector<OggLink> ChainedOggLinks(AVFormatContext& input, const AVStream& stream) {
    if (std::string_view(input.iformat->name) != "ogg")
        return {};
    std::optional<std::vector<OggLink>> links = ReadOggLinks(input, stream);
    if (!links || links->size() < 2)
        return {};
    return std::move(*links);
}

}  // namespace tolvane
