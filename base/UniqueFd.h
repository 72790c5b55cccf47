#pragma once
// Owns one file descriptor and closes it when it goes, so no early return leaks one.

#include <unistd.h>

#include <utility>

namespace tolvane {

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

    // Closes the descriptor held, if any, and takes `fd`.
    void Reset(int fd = -1) noexcept {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    // Hands the descriptor over without closing it.
    int Release() noexcept { return std::exchange(fd_, -1); }
    // Closes now, for callers that must see the result: a delayed write error can show
    // only here. False with errno set when close failed; true when nothing was held.
    bool Close() noexcept { return fd_ < 0 || ::close(std::exchange(fd_, -1)) == 0; }

  private:
    int fd_ = -1;
};

}  // namespace tolvane
