#include "engine/naming/ExclusiveOutputFile.h"

#include "engine/naming/OutputNaming.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

ExclusiveOutputFile::~ExclusiveOutputFile() {
    io_.reset();  // before the descriptor it writes to
}

int ExclusiveOutputFile::Create(const std::string& path) {
    fd_.Reset(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd_.valid())
        return AVERROR(errno);
    path_ = path;
    created_ = true;
    ff::MemoryPtr buffer(static_cast<std::uint8_t*>(av_malloc(kBufferSize)));
    if (!buffer)
        return AVERROR(ENOMEM);
    AVIOContext* io =
        avio_alloc_context(buffer.get(), kBufferSize, 1, this, nullptr, &WritePacket, &Seek);
    if (io == nullptr)
        return AVERROR(ENOMEM);
    buffer.release();  // the I/O context owns it now
    io_.reset(io);
    return 0;
}

int ExclusiveOutputFile::CreateFree(const std::string& path) {
    // Names taken by jobs that run at the same moment: the free-name search before the
    // job could not see them.
    constexpr int kAttempts = 100;
    std::string candidate = path;
    int ret = Create(candidate);
    for (int i = 0; ret == AVERROR(EEXIST) && i < kAttempts; ++i) {
        candidate = NextOutputCandidate(candidate);
        ret = Create(candidate);
    }
    return ret;
}

int ExclusiveOutputFile::ReadAt(std::int64_t offset, std::uint8_t* data, std::size_t size) const {
    const ssize_t n = ::pread(fd_.get(), data, size, static_cast<off_t>(offset));
    return n < 0 ? AVERROR(errno) : static_cast<int>(n);
}

int ExclusiveOutputFile::WriteAt(std::int64_t offset, const std::uint8_t* data, std::size_t size) {
    const ssize_t n = ::pwrite(fd_.get(), data, size, static_cast<off_t>(offset));
    const int ret =
        n < 0 ? AVERROR(errno) : (static_cast<std::size_t>(n) == size ? 0 : AVERROR(EIO));
    if (ret < 0 && error_ == 0)
        error_ = ret;
    return ret;
}

int ExclusiveOutputFile::WritePacket(void* opaque, std::uint8_t* data, int size) {
    auto* self = static_cast<ExclusiveOutputFile*>(opaque);
    if (self->error_ < 0)
        return self->error_;
    int left = size;
    while (left > 0) {
        ssize_t n = ::write(self->fd_.get(), data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            self->error_ = AVERROR(errno);
            return self->error_;
        }
        data += n;
        left -= static_cast<int>(n);
    }
    return size;
}

std::int64_t ExclusiveOutputFile::Seek(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<ExclusiveOutputFile*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat st {};
        if (::fstat(self->fd_.get(), &st) < 0)
            return AVERROR(errno);
        return st.st_size;
    }
    off_t at = ::lseek(self->fd_.get(), static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    if (at < 0) {
        int err = AVERROR(errno);
        if (self->error_ == 0)
            self->error_ = err;
        return err;
    }
    return at;
}

int ExclusiveOutputFile::Close() {
    if (io_) {
        avio_flush(io_.get());
        if (io_->error < 0 && error_ == 0)
            error_ = io_->error;
        io_.reset();
    }
    if (!fd_.Close() && error_ == 0)
        error_ = AVERROR(errno);
    return error_;
}

void ExclusiveOutputFile::Remove() {
    io_.reset();
    fd_.Reset();
    if (created_) {
        ::unlink(path_.c_str());
        created_ = false;
    }
}

}  // namespace tolvane
