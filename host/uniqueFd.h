#pragma once
// The one holder of a file descriptor (file, directory, socket, pipe end, pidfd): the
// descriptor is closed when the holder goes or is given another one, and nowhere else.
// Header-only, so that the programs beside the library can hold their descriptors with it.
#include <unistd.h>

#include <cerrno>

namespace OpenShiftSDKWrapper {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  // Hands the descriptor to the caller, who closes it; the holder is then empty.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor held, if any, and holds `fd` instead.
  void Reset(int fd = -1) {
    Close();
    fd_ = fd;
  }
  // Closes the descriptor held, if any: 0, or close(2)'s errno for a late write error (a
  // quota reached on a network file system). On Linux the descriptor is gone even when
  // close() is interrupted, so EINTR is no failure and there is no retry.
  int Close() {
    if (fd_ < 0) return 0;
    const int fd = Release();
    if (::close(fd) == 0 || errno == EINTR) return 0;
    return errno;
  }

 private:
  int fd_ = -1;
};

}  // namespace OpenShiftSDKWrapper
