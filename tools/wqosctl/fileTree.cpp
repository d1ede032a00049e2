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

namespace wqosctl {

namespace {

const mode_t kModeBits = 07777;

std::string Join(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "/" + name;
}

std::string Failure(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// Names in one directory, sorted; the top level's dot names are left out.
bool ReadNames(const std::string& directory, bool top, std::vector<std::string>& names,
               std::string& error) {
  DIR* handle = opendir(directory.c_str());
  if (handle == nullptr) {
    error = Failure("cannot open directory", directory);
    return false;
  }
  while (const dirent* entry = readdir(handle)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || (top && name[0] == '.')) continue;
    names.push_back(name);
  }
  closedir(handle);
  std::sort(names.begin(), names.end());
  return true;
}

bool ReadLinkTarget(const std::string& path, const struct stat& info, std::string& target,
                    std::string& error) {
  target.assign(static_cast<size_t>(info.st_size) + 1, '\0');
  const ssize_t length = readlink(path.c_str(), &target[0], target.size());
  if (length < 0) {
    error = Failure("cannot read link", path);
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

bool Digest(const std::string& path, uint64_t& digest, std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    error = Failure("cannot read", path);
    return false;
  }
  uint64_t hash = kDigestStart;
  char buffer[65536];
  ssize_t count;
  while ((count = read(fd, buffer, sizeof buffer)) > 0) {
    hash = AddToDigest(hash, buffer, static_cast<size_t>(count));
  }
  const bool ok = count == 0;
  if (!ok) error = Failure("cannot read", path);
  close(fd);
  digest = hash;
  return ok;
}

bool ListBelow(const std::string& root, const std::string& relative, bool withDigests,
               std::vector<FileEntry>& entries, std::string& error) {
  const std::string directory = relative.empty() ? root : root + "/" + relative;
  std::vector<std::string> names;
  if (!ReadNames(directory, relative.empty(), names, error)) return false;
  for (const std::string& name : names) {
    const std::string path = directory + "/" + name;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
      error = Failure("cannot stat", path);
      return false;
    }
    FileEntry entry;
    entry.path = Join(relative, name);
    entry.type = S_ISREG(info.st_mode)   ? 'f'
                 : S_ISDIR(info.st_mode) ? 'd'
                 : S_ISLNK(info.st_mode) ? 'l'
                                         : '?';
    entry.mode = info.st_mode & kModeBits;
    entry.uid = info.st_uid;
    entry.gid = info.st_gid;
    entry.size = entry.type == 'd' ? 0 : static_cast<uint64_t>(info.st_size);
    entry.mtime = info.st_mtim.tv_sec;
    entry.mtimeNanos = info.st_mtim.tv_nsec;
    if (entry.type == 'l' && !ReadLinkTarget(path, info, entry.linkTarget, error)) return false;
    if (entry.type == 'f' && withDigests && !Digest(path, entry.digest, error)) return false;
    entries.push_back(entry);
    if (entry.type == 'd' && !ListBelow(root, entry.path, withDigests, entries, error)) {
      return false;
    }
  }
  return true;
}

bool CopyBytes(const std::string& from, const std::string& to, mode_t mode, uint64_t& bytes,
               std::string& error) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (in < 0) {
    error = Failure("cannot read", from);
    return false;
  }
  // Owner-only until the owner and mode are set, so no one else can open it meanwhile.
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                       (mode & 0700) | 0600);
  if (out < 0) {
    error = Failure("cannot create", to);
    close(in);
    return false;
  }
  char buffer[65536];
  ssize_t count;
  bool ok = true;
  while (ok && (count = read(in, buffer, sizeof buffer)) != 0) {
    if (count < 0) {
      if (errno == EINTR) continue;
      error = Failure("cannot read", from);
      ok = false;
      break;
    }
    for (ssize_t done = 0; done < count;) {
      const ssize_t written = write(out, buffer + done, static_cast<size_t>(count - done));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        error = Failure("cannot write", to);
        ok = false;
        break;
      }
      done += written;
    }
    bytes += static_cast<uint64_t>(count);
  }
  if (close(out) != 0 && ok) {
    error = Failure("cannot write", to);
    ok = false;
  }
  close(in);
  return ok;
}

// Owner first: chown clears set-id bits, which the mode then puts back.
bool KeepAttributes(const std::string& path, const struct stat& info, bool link,
                    std::string& error) {
  if (lchown(path.c_str(), info.st_uid, info.st_gid) != 0) {
    error = Failure("cannot set the owner of", path);
    return false;
  }
  if (!link && chmod(path.c_str(), info.st_mode & kModeBits) != 0) {
    error = Failure("cannot set the mode of", path);
    return false;
  }
  const timespec times[2] = {info.st_atim, info.st_mtim};
  if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    error = Failure("cannot set the times of", path);
    return false;
  }
  return true;
}

bool CopyBelow(const std::string& from, const std::string& to, bool top, CopyStats& stats,
               std::string& error) {
  std::vector<std::string> names;
  if (!ReadNames(from, top, names, error)) return false;
  for (const std::string& name : names) {
    const std::string source = from + "/" + name;
    const std::string target = to + "/" + name;
    struct stat info {};
    if (lstat(source.c_str(), &info) != 0) {
      error = Failure("cannot stat", source);
      return false;
    }
    if (S_ISDIR(info.st_mode)) {
      if (mkdir(target.c_str(), 0700) != 0 && errno != EEXIST) {
        error = Failure("cannot create directory", target);
        return false;
      }
      if (!CopyBelow(source, target, false, stats, error) ||
          !KeepAttributes(target, info, false, error)) {
        return false;
      }
      ++stats.directories;
    } else if (S_ISREG(info.st_mode)) {
      if (!CopyBytes(source, target, info.st_mode, stats.bytes, error) ||
          !KeepAttributes(target, info, false, error)) {
        return false;
      }
      ++stats.files;
    } else if (S_ISLNK(info.st_mode)) {
      std::string linkTarget;
      if (!ReadLinkTarget(source, info, linkTarget, error)) return false;
      unlink(target.c_str());
      if (symlink(linkTarget.c_str(), target.c_str()) != 0) {
        error = Failure("cannot create link", target);
        return false;
      }
      if (!KeepAttributes(target, info, true, error)) return false;
      ++stats.links;
    } else {
      ++stats.skipped;
    }
  }
  return true;
}

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
  if (!ListBelow(root, std::string(), withDigests, entries, error)) return false;
  std::sort(entries.begin(), entries.end(),
            [](const FileEntry& a, const FileEntry& b) { return a.path < b.path; });
  return true;
}

bool CopyTree(const std::string& from, const std::string& to, CopyStats& stats,
              std::string& error) {
  return CopyBelow(from, to, true, stats, error);
}

bool DirectoryNames(const std::string& dir, std::vector<std::string>& names, std::string& error) {
  names.clear();
  return ReadNames(dir, false, names, error);
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
    if (want.type == 'f' && want.digest != 0 && have.digest != 0) {
      differ("content digest", std::to_string(want.digest), std::to_string(have.digest));
    }
    if (compareTimes && want.type == 'f') {
      differ("modification time", std::to_string(want.mtime) + "." + std::to_string(want.mtimeNanos),
             std::to_string(have.mtime) + "." + std::to_string(have.mtimeNanos));
    }
  }
  for (const auto& extra : present) differences.push_back(extra.first + ": unexpected");
  return differences;
}

}  // namespace wqosctl
