#include "host/safeFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace OpenShiftSDKWrapper {
namespace {

std::string Failure(const std::string& what, const std::string& path, int code) {
  return what + " " + path + ": " + std::strerror(code);
}

std::string Shown(const std::string& dir, const std::string& name) {
  return dir.empty() ? name : dir + "/" + name;
}

int OpenAt(int dirFd, const std::string& name, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::openat(dirFd, name.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool WriteAll(int fd, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Creates `temporary` in `dirFd` for writing, owner-only; errno tells why when it cannot.
UniqueFd CreateTemporary(int dirFd, const std::string& temporary) {
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
  UniqueFd out(OpenAt(dirFd, temporary, flags, 0600));
  if (!out.IsOpen() && errno == EEXIST) {
    // Left by a write that did not finish, or planted: the entry goes (a link is removed,
    // not followed; a directory stays and fails the write).
    if (::unlinkat(dirFd, temporary.c_str(), 0) == 0 || errno == ENOENT) {
      out = UniqueFd(OpenAt(dirFd, temporary, flags, 0600));
    }
  }
  return out;
}

// Writes `bytes` to the temporary file, sets its mode, syncs and closes it; false, with
// `error` naming the first failure, when any of that fails.
bool FillTemporary(UniqueFd& out, const std::string& bytes, mode_t mode, const std::string& shown,
                   std::string& error) {
  bool ok = WriteAll(out.Get(), bytes);
  if (!ok) error = Failure("cannot write", shown, errno);
  if (ok && ::fchmod(out.Get(), mode) != 0) {
    error = Failure("cannot set the mode of", shown, errno);
    ok = false;
  }
  if (ok && ::fsync(out.Get()) != 0) {
    error = Failure("cannot write", shown, errno);
    ok = false;
  }
  const int closeError = ok ? out.Close() : 0;
  if (closeError != 0) {
    error = Failure("cannot write", shown, closeError);
    ok = false;
  }
  return ok;
}

}  // namespace

bool ReadRegularFile(const std::string& path, size_t limit, std::string& content,
                     std::string& error) {
  return ReadRegularFileAt(AT_FDCWD, path, limit, content, error);
}

bool ReadRegularFileAt(int dirFd, const std::string& name, size_t limit, std::string& content,
                       std::string& error) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  UniqueFd fd(OpenAt(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
  if (!fd.IsOpen()) {
    const int code = errno;
    error = code == ELOOP ? "cannot read " + name + ": it is a symbolic link"
                          : Failure("cannot read", name, code);
    errno = code;
    return false;
  }
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0) {
    error = Failure("cannot read", name, errno);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    error = "cannot read " + name + ": not a regular file";
    errno = EINVAL;
    return false;
  }
  if (static_cast<uint64_t>(info.st_size) > limit) {
    error = "cannot read " + name + ": larger than " + std::to_string(limit) + " bytes";
    errno = EFBIG;
    return false;
  }
  std::string data;
  data.reserve(static_cast<size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int code = errno;
      error = Failure("cannot read", name, code);
      errno = code;
      return false;
    }
    if (n == 0) break;
    // The file may grow while it is read.
    if (data.size() + static_cast<size_t>(n) > limit) {
      error = "cannot read " + name + ": larger than " + std::to_string(limit) + " bytes";
      errno = EFBIG;
      return false;
    }
    data.append(buffer, static_cast<size_t>(n));
  }
  content.swap(data);
  return true;
}

bool WriteFileAtomically(const std::string& directory, const std::string& name,
                         const std::string& bytes, mode_t mode, std::string& error,
                         bool* notOpened) {
  if (notOpened != nullptr) *notOpened = true;
  // The directory itself may be reached through links the caller chose; only the entries
  // written in it are guarded.
  UniqueFd dir(OpenAt(AT_FDCWD, directory.empty() ? "." : directory, O_RDONLY | O_DIRECTORY));
  if (!dir.IsOpen()) {
    error = Failure("cannot open directory", directory, errno);
    return false;
  }
  return WriteFileAtomicallyAt(dir.Get(), directory, name, bytes, mode, error, notOpened);
}

bool WriteFileAtomicallyAt(int dirFd, const std::string& shownDir, const std::string& name,
                           const std::string& bytes, mode_t mode, std::string& error,
                           bool* notOpened) {
  if (notOpened != nullptr) *notOpened = true;
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
    error = "cannot write " + Shown(shownDir, name) + ": not a plain file name";
    return false;
  }
  struct stat existing {};
  if (::fstatat(dirFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
      !S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode)) {
    error = "cannot replace " + Shown(shownDir, name) + ": not a regular file";
    return false;
  }
  const std::string temporary = name + ".tmp";
  UniqueFd out = CreateTemporary(dirFd, temporary);
  const std::string shown = Shown(shownDir, temporary);
  if (!out.IsOpen()) {
    error = Failure("cannot create", shown, errno);
    return false;
  }
  if (notOpened != nullptr) *notOpened = false;
  bool ok = FillTemporary(out, bytes, mode, shown, error);
  if (ok && ::renameat(dirFd, temporary.c_str(), dirFd, name.c_str()) != 0) {
    error = Failure("cannot rename " + shown + " to", Shown(shownDir, name), errno);
    ok = false;
  }
  if (!ok) {
    ::unlinkat(dirFd, temporary.c_str(), 0);
    return false;
  }
  // The new name lasts a crash only once the directory reaches the disk.
  ::fsync(dirFd);
  return true;
}

UniqueFd OpenDirectory(const std::string& path, std::string& error) {
  UniqueFd fd(OpenAt(AT_FDCWD, path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
  if (!fd.IsOpen()) {
    error = errno == ELOOP || errno == ENOTDIR
                ? "cannot open " + path + ": not a directory (a symbolic link is refused)"
                : Failure("cannot open directory", path, errno);
  }
  return fd;
}

UniqueFd OpenDirectoryBelow(int baseFd, const std::string& shownBase, const std::string& relative,
                            bool create, mode_t mode, std::string& error) {
  UniqueFd current(::fcntl(baseFd, F_DUPFD_CLOEXEC, 0));
  if (!current.IsOpen()) {
    error = Failure("cannot open directory", shownBase, errno);
    return current;
  }
  std::string shown = shownBase;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    shown = Shown(shown, part);
    if (part == "..") {
      error = "cannot open " + shown + ": \"..\" is refused";
      return UniqueFd();
    }
    if (create && ::mkdirat(current.Get(), part.c_str(), mode) != 0 && errno != EEXIST) {
      error = Failure("cannot create directory", shown, errno);
      return UniqueFd();
    }
    UniqueFd next(OpenAt(current.Get(), part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
    if (!next.IsOpen()) {
      error = errno == ELOOP || errno == ENOTDIR
                  ? "cannot open " + shown + ": not a directory (a symbolic link is refused)"
                  : Failure("cannot open directory", shown, errno);
      return UniqueFd();
    }
    current = std::move(next);
  }
  return current;
}

bool MakePrivateDirectory(const std::string& path, std::string& error) {
  if (path.empty()) {
    error = "no directory given";
    return false;
  }
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (path[slash - 1] == '/') continue;
    const std::string parent = path.substr(0, slash);
    if (::mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST) {
      error = Failure("cannot create directory", parent, errno);
      return false;
    }
  }
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    error = Failure("cannot create directory", path, errno);
    return false;
  }
  return CheckPrivateDirectory(path, error);
}

bool CheckPrivateDirectory(const std::string& path, std::string& error) {
  UniqueFd fd = OpenDirectory(path, error);
  if (!fd.IsOpen()) return false;
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0) {
    error = Failure("cannot stat", path, errno);
    return false;
  }
  if (info.st_uid != ::geteuid()) {
    error = path + " belongs to user " + std::to_string(info.st_uid) +
            ": a directory another user owns is refused";
    return false;
  }
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    error = path + " can be written by other users: make it mode 0700 (chmod go-w)";
    return false;
  }
  return true;
}

}  // namespace OpenShiftSDKWrapper
