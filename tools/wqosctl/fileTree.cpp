#include "tools/wqosctl/fileTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>

#include "host/safeFiles.h"

namespace wqosctl {

namespace {

using OpenShiftSDKWrapper::UniqueFd;

const mode_t kModeBits = 07777;
// What GlusterFS keeps at the root of every volume for itself.
const char* const kTrashDirectory = ".trashcan";

std::string Join(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "/" + name;
}

std::string Failure(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

int OpenAt(int dirFd, const std::string& name, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = openat(dirFd, name.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

UniqueFd OpenSubdirectory(int dirFd, const std::string& name) {
  return UniqueFd(OpenAt(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
}

char TypeOf(mode_t mode) {
  return S_ISREG(mode)    ? 'f'
         : S_ISDIR(mode)  ? 'd'
         : S_ISLNK(mode)  ? 'l'
         : S_ISFIFO(mode) ? 'p'
         : S_ISSOCK(mode) ? 's'
         : S_ISCHR(mode)  ? 'c'
         : S_ISBLK(mode)  ? 'b'
                          : '?';
}

const char* KindOf(mode_t mode) {
  return S_ISFIFO(mode)   ? "FIFO"
         : S_ISSOCK(mode) ? "socket"
         : S_ISCHR(mode)  ? "character device"
         : S_ISBLK(mode)  ? "block device"
                          : "special file";
}

// Names in the open directory `dirFd`, sorted; at the top level GlusterFS's own directory is
// left out, by its exact name.
bool ReadNamesAt(int dirFd, const std::string& shown, bool top, std::vector<std::string>& names,
                 std::string& error) {
  // A descriptor of its own: a listing must not move the offset of `dirFd`.
  UniqueFd fd(OpenAt(dirFd, ".", O_RDONLY | O_DIRECTORY));
  DIR* handle = fd.IsOpen() ? fdopendir(fd.Get()) : nullptr;
  if (handle == nullptr) {
    error = Failure("cannot open directory", shown);
    return false;
  }
  // The listing owns the descriptor from here and closes it with itself.
  static_cast<void>(fd.Release());
  errno = 0;
  while (const dirent* entry = readdir(handle)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || (top && name == kTrashDirectory)) continue;
    names.push_back(name);
    errno = 0;
  }
  const int code = errno;
  closedir(handle);
  if (code != 0) {
    errno = code;
    error = Failure("cannot list", shown);
    return false;
  }
  std::sort(names.begin(), names.end());
  return true;
}

bool ReadLinkTarget(int dirFd, const std::string& name, const std::string& shown,
                    const struct stat& info, std::string& target, std::string& error) {
  target.assign(static_cast<size_t>(info.st_size) + 1, '\0');
  const ssize_t length = readlinkat(dirFd, name.c_str(), &target[0], target.size());
  if (length < 0) {
    error = Failure("cannot read link", shown);
    return false;
  }
  target.resize(static_cast<size_t>(length));
  return true;
}

// FNV-1a, 64 bits: enough to tell a changed byte, not meant against tampering.
const uint64_t kDigestStart = 1469598103934665603ull;

uint64_t AddToDigest(uint64_t hash, const char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ull;
  }
  return hash;
}

// The regular file `name` of `dirFd`, opened without following a link or waiting on a FIFO
// that replaced it since it was listed.
UniqueFd OpenFileToRead(int dirFd, const std::string& name, const std::string& shown,
                        std::string& error) {
  UniqueFd fd(OpenAt(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
  struct stat info {};
  if (!fd.IsOpen() || fstat(fd.Get(), &info) != 0) {
    error = Failure("cannot read", shown);
    return UniqueFd();
  }
  if (!S_ISREG(info.st_mode)) {
    error = "cannot read " + shown + ": no longer a regular file";
    return UniqueFd();
  }
  return fd;
}

bool Digest(int dirFd, const std::string& name, const std::string& shown, uint64_t& digest,
            std::string& error) {
  UniqueFd fd = OpenFileToRead(dirFd, name, shown, error);
  if (!fd.IsOpen()) return false;
  uint64_t hash = kDigestStart;
  char buffer[65536];
  ssize_t count;
  while ((count = read(fd.Get(), buffer, sizeof buffer)) != 0) {
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      error = Failure("cannot read", shown);
      return false;
    }
    hash = AddToDigest(hash, buffer, static_cast<size_t>(count));
  }
  digest = hash;
  return true;
}

// An inode with more than one name: the device and inode numbers.
using InodeKey = std::pair<uint64_t, uint64_t>;

InodeKey KeyOf(const struct stat& info) {
  return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

bool ListBelow(int dirFd, const std::string& root, const std::string& relative, bool withDigests,
               std::vector<FileEntry>& entries, std::vector<InodeKey>& keys, std::string& error) {
  const std::string directory = relative.empty() ? root : root + "/" + relative;
  std::vector<std::string> names;
  if (!ReadNamesAt(dirFd, directory, relative.empty(), names, error)) return false;
  for (const std::string& name : names) {
    const std::string path = directory + "/" + name;
    struct stat info {};
    if (fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      error = Failure("cannot stat", path);
      return false;
    }
    FileEntry entry;
    entry.path = Join(relative, name);
    entry.type = TypeOf(info.st_mode);
    entry.mode = info.st_mode & kModeBits;
    entry.uid = info.st_uid;
    entry.gid = info.st_gid;
    entry.size = entry.type == 'f' || entry.type == 'l' ? static_cast<uint64_t>(info.st_size) : 0;
    entry.mtime = info.st_mtim.tv_sec;
    entry.mtimeNanos = info.st_mtim.tv_nsec;
    if (entry.type == 'c' || entry.type == 'b') entry.device = static_cast<uint64_t>(info.st_rdev);
    if (entry.type == 'l' && !ReadLinkTarget(dirFd, name, path, info, entry.linkTarget, error)) {
      return false;
    }
    if (entry.type == 'f' && withDigests && !Digest(dirFd, name, path, entry.digest, error)) {
      return false;
    }
    entries.push_back(entry);
    keys.push_back(entry.type != 'd' && info.st_nlink > 1 ? KeyOf(info) : InodeKey());
    if (entry.type == 'd') {
      UniqueFd below = OpenSubdirectory(dirFd, name);
      if (!below.IsOpen()) {
        error = Failure("cannot open directory", path);
        return false;
      }
      if (!ListBelow(below.Get(), root, entry.path, withDigests, entries, keys, error)) {
        return false;
      }
    }
  }
  return true;
}

// Owner first: chown clears set-id bits, which the mode then puts back.
bool KeepAttributes(int fd, const struct stat& info, const std::string& shown, std::string& error) {
  const timespec times[2] = {info.st_atim, info.st_mtim};
  if (fchown(fd, info.st_uid, info.st_gid) != 0) {
    error = Failure("cannot set the owner of", shown);
  } else if (fchmod(fd, info.st_mode & kModeBits) != 0) {
    error = Failure("cannot set the mode of", shown);
  } else if (futimens(fd, times) != 0) {
    error = Failure("cannot set the times of", shown);
  } else {
    return true;
  }
  return false;
}

// The same for an entry that cannot be opened (a link, a FIFO, a socket, a device), by its
// name in `dirFd`, never following a link.
bool KeepAttributesAt(int dirFd, const std::string& name, const struct stat& info,
                      const std::string& shown, std::string& error) {
  const timespec times[2] = {info.st_atim, info.st_mtim};
  if (fchownat(dirFd, name.c_str(), info.st_uid, info.st_gid, AT_SYMLINK_NOFOLLOW) != 0) {
    error = Failure("cannot set the owner of", shown);
  } else if (!S_ISLNK(info.st_mode) &&
             fchmodat(dirFd, name.c_str(), info.st_mode & kModeBits, AT_SYMLINK_NOFOLLOW) != 0) {
    error = Failure("cannot set the mode of", shown);
  } else if (utimensat(dirFd, name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    error = Failure("cannot set the times of", shown);
  } else {
    return true;
  }
  return false;
}

// Removes the entry `name` of `dirFd` and, for a directory, everything below it, through
// descriptors only: no link on the way is followed.
bool RemoveAt(int dirFd, const std::string& name, const std::string& shown, std::string& error) {
  if (unlinkat(dirFd, name.c_str(), 0) == 0 || errno == ENOENT) return true;
  if (errno != EISDIR && errno != EPERM) {
    error = Failure("cannot remove", shown);
    return false;
  }
  UniqueFd below = OpenSubdirectory(dirFd, name);
  if (!below.IsOpen()) {
    error = Failure("cannot remove", shown);
    return false;
  }
  std::vector<std::string> names;
  if (!ReadNamesAt(below.Get(), shown, false, names, error)) return false;
  for (const std::string& inner : names) {
    if (!RemoveAt(below.Get(), inner, shown + "/" + inner, error)) return false;
  }
  if (unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0) {
    error = Failure("cannot remove", shown);
    return false;
  }
  return true;
}

bool CopyBytes(int in, int out, const std::string& from, const std::string& to, uint64_t& bytes,
               CopyObserver* observer, std::string& error) {
  char buffer[65536];
  for (;;) {
    const ssize_t count = read(in, buffer, sizeof buffer);
    if (count == 0) return true;
    if (count < 0) {
      if (errno == EINTR) continue;
      error = Failure("cannot read", from);
      return false;
    }
    for (ssize_t done = 0; done < count;) {
      const ssize_t written = write(out, buffer + done, static_cast<size_t>(count - done));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        if (written == 0) errno = EIO;
        error = Failure("cannot write", to);
        return false;
      }
      done += written;
    }
    bytes += static_cast<uint64_t>(count);
    if (observer != nullptr) observer->Bytes(buffer, static_cast<size_t>(count));
  }
}

// One copy: the destination's root descriptor (for hard links), where each inode with more
// than one name was first copied to, and the counts.
class Copier {
 public:
  Copier(int targetRoot, std::string from, std::string to, CopyStats& stats, CopyObserver* observer)
      : targetRoot_(targetRoot),
        from_(std::move(from)),
        to_(std::move(to)),
        stats_(stats),
        observer_(observer) {}

  // Makes the directory `dst` hold what `src` holds: entries `src` lacks are removed (except
  // GlusterFS's own at the top), the others created anew or, for directories, filled.
  bool CopyDirectory(int src, int dst, const std::string& relative, std::string& error) {
    const bool top = relative.empty();
    const std::string fromDir = top ? from_ : from_ + "/" + relative;
    const std::string toDir = top ? to_ : to_ + "/" + relative;
    std::vector<std::string> names;
    std::vector<std::string> present;
    if (!ReadNamesAt(src, fromDir, top, names, error) ||
        !ReadNamesAt(dst, toDir, top, present, error)) {
      return false;
    }
    for (const std::string& name : present) {
      if (!std::binary_search(names.begin(), names.end(), name) &&
          !RemoveAt(dst, name, toDir + "/" + name, error)) {
        return false;
      }
    }
    for (const std::string& name : names) {
      if (!CopyEntry(src, dst, Join(relative, name), name, error)) return false;
    }
    return true;
  }

 private:
  bool CopyEntry(int src, int dst, const std::string& relative, const std::string& name,
                 std::string& error) {
    const std::string source = from_ + "/" + relative;
    const std::string target = to_ + "/" + relative;
    struct stat info {};
    if (fstatat(src, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      error = Failure("cannot stat", source);
      return false;
    }
    // Whatever is in the way goes, unless a directory can be filled in place.
    struct stat present {};
    const bool exists = fstatat(dst, name.c_str(), &present, AT_SYMLINK_NOFOLLOW) == 0;
    const bool fillInPlace = exists && S_ISDIR(info.st_mode) && S_ISDIR(present.st_mode);
    if (exists && !fillInPlace && !RemoveAt(dst, name, target, error)) return false;

    if (S_ISDIR(info.st_mode)) {
      // Owner-only until its own attributes are set after its contents.
      if (!fillInPlace && mkdirat(dst, name.c_str(), 0700) != 0) {
        error = Failure("cannot create directory", target);
        return false;
      }
      UniqueFd from = OpenSubdirectory(src, name);
      UniqueFd to = OpenSubdirectory(dst, name);
      if (!from.IsOpen() || !to.IsOpen()) {
        error = Failure("cannot open directory", from.IsOpen() ? target : source);
        return false;
      }
      if (fchmod(to.Get(), 0700) != 0) {
        error = Failure("cannot set the mode of", target);
        return false;
      }
      if (!CopyDirectory(from.Get(), to.Get(), relative, error) ||
          !KeepAttributes(to.Get(), info, target, error)) {
        return false;
      }
      ++stats_.directories;
      Tell(relative, 'd');
      return true;
    }

    const bool shared = info.st_nlink > 1;
    if (shared) {
      const auto first = firstNames_.find(KeyOf(info));
      if (first != firstNames_.end()) {
        if (linkat(targetRoot_, first->second.c_str(), dst, name.c_str(), 0) == 0) {
          ++stats_.hardLinks;
          Tell(relative, TypeOf(info.st_mode), 0, std::string(), first->second);
          return true;
        }
        stats_.warnings.push_back(source + ": " + std::strerror(errno) +
                                  " making it a hard link of " + first->second +
                                  "; copied as a file of its own");
      }
    }
    if (S_ISREG(info.st_mode)) {
      const uint64_t before = stats_.bytes;
      if (!CopyFile(src, dst, name, source, target, info, error)) return false;
      ++stats_.files;
      Tell(relative, 'f', stats_.bytes - before);
    } else if (S_ISLNK(info.st_mode)) {
      std::string linkTarget;
      if (!ReadLinkTarget(src, name, source, info, linkTarget, error)) return false;
      if (symlinkat(linkTarget.c_str(), dst, name.c_str()) != 0) {
        error = Failure("cannot create link", target);
        return false;
      }
      if (!KeepAttributesAt(dst, name, info, target, error)) return false;
      ++stats_.links;
      Tell(relative, 'l', 0, linkTarget);
    } else {
      // Created owner-only; owner, mode and times follow through the name just made.
      const mode_t kind = info.st_mode & S_IFMT;
      if (mknodat(dst, name.c_str(), kind | 0600, info.st_rdev) != 0) {
        stats_.warnings.push_back(source + ": " + KindOf(info.st_mode) + " not copied (" +
                                  std::strerror(errno) + ")");
        ++stats_.skipped;
        return true;
      }
      if (!KeepAttributesAt(dst, name, info, target, error)) return false;
      ++stats_.specials;
      Tell(relative, TypeOf(info.st_mode));
    }
    if (shared) firstNames_.emplace(KeyOf(info), relative);
    return true;
  }

  bool CopyFile(int src, int dst, const std::string& name, const std::string& source,
                const std::string& target, const struct stat& info, std::string& error) {
    UniqueFd in = OpenFileToRead(src, name, source, error);
    if (!in.IsOpen()) return false;
    // Owner-only until the owner and mode are set, so no one else can open it meanwhile.
    UniqueFd out(OpenAt(dst, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600));
    if (!out.IsOpen()) {
      error = Failure("cannot create", target);
      return false;
    }
    if (!CopyBytes(in.Get(), out.Get(), source, target, stats_.bytes, observer_, error) ||
        !KeepAttributes(out.Get(), info, target, error)) {
      return false;
    }
    if (out.Close() != 0) {
      error = Failure("cannot write", target);
      return false;
    }
    return true;
  }

  void Tell(const std::string& relative, char type, uint64_t size = 0,
            const std::string& linkTarget = std::string(),
            const std::string& hardLinkOf = std::string()) {
    if (observer_ == nullptr) return;
    FileEntry entry;
    entry.path = relative;
    entry.type = type;
    entry.size = size;
    entry.linkTarget = linkTarget;
    entry.hardLinkOf = hardLinkOf;
    observer_->Made(entry);
  }

  const int targetRoot_;
  const std::string from_;
  const std::string to_;
  CopyStats& stats_;
  CopyObserver* const observer_;
  std::map<InodeKey, std::string> firstNames_;
};

std::string ModeText(const FileEntry& entry) {
  std::string text = entry.type == 'f' ? "-" : std::string(1, entry.type);
  const char* letters = "rwxrwxrwx";
  for (int bit = 0; bit < 9; ++bit) {
    text += (entry.mode & (0400 >> bit)) != 0 ? letters[bit] : '-';
  }
  if ((entry.mode & 04000) != 0) text[3] = text[3] == 'x' ? 's' : 'S';
  if ((entry.mode & 02000) != 0) text[6] = text[6] == 'x' ? 's' : 'S';
  if ((entry.mode & 01000) != 0) text[9] = text[9] == 'x' ? 't' : 'T';
  return text;
}

}  // namespace

uint64_t ContentDigest(const std::string& bytes) {
  return AddToDigest(kDigestStart, bytes.data(), bytes.size());
}

bool ListTree(const std::string& root, bool withDigests, std::vector<FileEntry>& entries,
              std::string& error) {
  entries.clear();
  UniqueFd top = OpenShiftSDKWrapper::OpenDirectory(root, error);
  std::vector<InodeKey> keys;
  if (!top.IsOpen() ||
      !ListBelow(top.Get(), root, std::string(), withDigests, entries, keys, error)) {
    return false;
  }
  std::vector<size_t> order(entries.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return entries[a].path < entries[b].path; });
  std::vector<FileEntry> sorted;
  std::map<InodeKey, std::string> firstNames;
  for (const size_t i : order) {
    sorted.push_back(entries[i]);
    if (keys[i] == InodeKey()) continue;
    const auto first = firstNames.emplace(keys[i], entries[i].path);
    if (!first.second) sorted.back().hardLinkOf = first.first->second;
  }
  entries.swap(sorted);
  return true;
}

bool CopyTree(const std::string& from, const std::string& to, CopyStats& stats, std::string& error,
              CopyObserver* observer) {
  UniqueFd source = OpenShiftSDKWrapper::OpenDirectory(from, error);
  if (!source.IsOpen()) return false;
  UniqueFd target = OpenShiftSDKWrapper::OpenDirectory(to, error);
  if (!target.IsOpen()) return false;
  Copier copier(target.Get(), from, to, stats, observer);
  return copier.CopyDirectory(source.Get(), target.Get(), std::string(), error);
}

std::string CopySummary(const CopyStats& stats) {
  std::string text = std::to_string(stats.files) + " files, " + std::to_string(stats.directories) +
                     " directories, " + std::to_string(stats.links) + " links, " +
                     std::to_string(stats.bytes) + " bytes";
  if (stats.hardLinks > 0) text += ", " + std::to_string(stats.hardLinks) + " hard links";
  if (stats.specials > 0) text += ", " + std::to_string(stats.specials) + " special files";
  if (stats.skipped > 0) text += ", " + std::to_string(stats.skipped) + " NOT COPIED";
  return text;
}

bool DirectoryNames(const std::string& dir, std::vector<std::string>& names, std::string& error) {
  names.clear();
  UniqueFd fd(OpenAt(AT_FDCWD, dir, O_RDONLY | O_DIRECTORY));
  if (!fd.IsOpen()) {
    error = Failure("cannot open directory", dir);
    return false;
  }
  return ReadNamesAt(fd.Get(), dir, false, names, error);
}

bool IsMounted(const std::string& path) {
  std::ifstream mounts("/proc/self/mounts");
  std::string wanted = path;
  while (wanted.size() > 1 && wanted.back() == '/') wanted.pop_back();
  for (std::string line; std::getline(mounts, line);) {
    std::istringstream fields(line);
    std::string source;
    std::string point;
    fields >> source >> point;
    // Blanks, tabs, line feeds and backslashes in the mount point are written as \ooo.
    std::string decoded;
    for (size_t i = 0; i < point.size(); ++i) {
      if (point[i] == '\\' && i + 3 < point.size()) {
        int code = 0;
        for (size_t k = i + 1; k <= i + 3; ++k) code = code * 8 + (point[k] - '0');
        decoded += static_cast<char>(code);
        i += 3;
      } else {
        decoded += point[i];
      }
    }
    if (decoded == wanted) return true;
  }
  return false;
}

std::string DescribeEntry(const FileEntry& entry) {
  char when[32];
  const time_t seconds = static_cast<time_t>(entry.mtime);
  struct tm utc {};
  gmtime_r(&seconds, &utc);
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
  std::string text = ModeText(entry) + " " + std::to_string(entry.uid) + ":" +
                     std::to_string(entry.gid) + " " + std::to_string(entry.size) + " " + when +
                     " " + entry.path;
  if (entry.type == 'l') text += " -> " + entry.linkTarget;
  return text;
}

std::vector<std::string> CompareTrees(const std::vector<FileEntry>& expected,
                                      const std::vector<FileEntry>& actual, bool compareTimes) {
  std::vector<std::string> differences;
  std::map<std::string, const FileEntry*> present;
  for (const FileEntry& entry : actual) present[entry.path] = &entry;
  for (const FileEntry& want : expected) {
    const auto found = present.find(want.path);
    if (found == present.end()) {
      differences.push_back(want.path + ": missing");
      continue;
    }
    const FileEntry& have = *found->second;
    present.erase(found);
    const auto differ = [&](const char* what, const std::string& a, const std::string& b) {
      if (a != b) differences.push_back(want.path + ": " + what + " " + b + ", expected " + a);
    };
    differ("type", std::string(1, want.type), std::string(1, have.type));
    if (want.type != have.type) continue;
    differ("mode", ModeText(want), ModeText(have));
    differ("owner", std::to_string(want.uid), std::to_string(have.uid));
    differ("group", std::to_string(want.gid), std::to_string(have.gid));
    differ("size", std::to_string(want.size), std::to_string(have.size));
    differ("link target", want.linkTarget, have.linkTarget);
    differ("device", std::to_string(want.device), std::to_string(have.device));
    differ("hard link of", want.hardLinkOf, have.hardLinkOf);
    if (want.type == 'f' && want.digest != 0 && have.digest != 0) {
      differ("content digest", std::to_string(want.digest), std::to_string(have.digest));
    }
    if (compareTimes && want.type == 'f') {
      differ("modification time",
             std::to_string(want.mtime) + "." + std::to_string(want.mtimeNanos),
             std::to_string(have.mtime) + "." + std::to_string(have.mtimeNanos));
    }
  }
  for (const auto& extra : present) differences.push_back(extra.first + ": unexpected");
  return differences;
}

}  // namespace wqosctl
