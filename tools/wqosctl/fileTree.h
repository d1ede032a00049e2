#pragma once
// Files of a volume: listed with their attributes, and copied with ownership, permissions
// and times kept (what a restore needs, and what the demo checks).
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wqosctl {

struct FileEntry {
  std::string path;  // relative to the listed root, "/"-separated
  char type = 'f';   // 'f' file, 'd' directory, 'l' symbolic link, '?' anything else
  mode_t mode = 0;   // permission bits, including set-id and sticky
  uid_t uid = 0;
  gid_t gid = 0;
  uint64_t size = 0;
  int64_t mtime = 0;        // seconds
  long mtimeNanos = 0;
  std::string linkTarget;   // for 'l'
  uint64_t digest = 0;      // of a file's bytes (FNV-1a), when listed with contents
};

// The digest ListTree gives a file holding `bytes`.
uint64_t ContentDigest(const std::string& bytes);

// Every entry below `root` (not the root itself), sorted by path. Names beginning with a dot
// at the top level are internal to the file system (".trashcan" of GlusterFS) and skipped.
bool ListTree(const std::string& root, bool withDigests, std::vector<FileEntry>& entries,
              std::string& error);

struct CopyStats {
  size_t files = 0;
  size_t directories = 0;
  size_t links = 0;
  size_t skipped = 0;  // devices, sockets, pipes
  uint64_t bytes = 0;
};

// Copies what is below `from` into the existing directory `to`, keeping owner, group,
// permission bits and modification times (of directories too, set after their contents).
// Stops at the first failure with `error` naming the path.
bool CopyTree(const std::string& from, const std::string& to, CopyStats& stats,
              std::string& error);

// The names in a directory, sorted, without "." and "..".
bool DirectoryNames(const std::string& dir, std::vector<std::string>& names, std::string& error);

// Whether `path` is a mount point of this process's mount namespace.
bool IsMounted(const std::string& path);

// "drwxr-x--- 1000:1000 4096 2024-05-01T10:00:00Z path[ -> target]"
std::string DescribeEntry(const FileEntry& entry);

// Differences between two listings as readable lines (empty: equal). Compares type,
// bytes (when both have digests), mode, owner, group, size, link target and, when
// `compareTimes`, the modification time of files and links.
std::vector<std::string> CompareTrees(const std::vector<FileEntry>& expected,
                                      const std::vector<FileEntry>& actual, bool compareTimes);

}  // namespace wqosctl
