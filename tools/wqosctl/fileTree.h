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
  // 'f' file, 'd' directory, 'l' symbolic link, 'p' FIFO, 's' socket, 'c' character device,
  // 'b' block device
  char type = 'f';
  mode_t mode = 0;  // permission bits, including set-id and sticky
  uid_t uid = 0;
  gid_t gid = 0;
  uint64_t size = 0;
  int64_t mtime = 0;  // seconds
  long mtimeNanos = 0;
  std::string linkTarget;  // for 'l'
  uint64_t digest = 0;     // of a file's bytes (FNV-1a), when listed with contents
  uint64_t device = 0;     // for 'c' and 'b': the device number
  std::string hardLinkOf;  // another name of the same inode in the tree, the first in order
};

// The digest ListTree gives a file holding `bytes`.
uint64_t ContentDigest(const std::string& bytes);

// Every entry below `root` (not the root itself, which must not be a link), sorted by path,
// dot entries included; only GlusterFS's own ".trashcan" at the top is left out. Entries are
// read through directory descriptors without following links.
bool ListTree(const std::string& root, bool withDigests, std::vector<FileEntry>& entries,
              std::string& error);

struct CopyStats {
  size_t files = 0;
  size_t directories = 0;
  size_t links = 0;
  size_t hardLinks = 0;  // names made as hard links of an entry copied before
  size_t specials = 0;   // FIFOs, sockets and devices made as what they are
  size_t skipped = 0;    // entries that could not be made, each with a line in `warnings`
  uint64_t bytes = 0;
  std::vector<std::string> warnings;
};

// Told of a copy as it goes: the bytes of each regular file as they are read, then the file
// itself once made, and every other entry once made (a directory after its contents).
class CopyObserver {
 public:
  virtual ~CopyObserver() = default;
  virtual void Bytes(const char* data, size_t count) = 0;
  // `entry` has the path below the copy's root, the type, the size of a file (the bytes
  // copied), the target of a link, and for a name made as a hard link the first name.
  virtual void Made(const FileEntry& entry) = 0;
};

// Makes the existing directory `to` hold what `from` holds: every entry, dot entries included
// (only ".trashcan" at the top is left alone on both sides), with owner, group, permission
// bits and times (of directories too, set after their contents). FIFOs, sockets and devices
// are made as what they are, or named in `warnings` and counted as skipped; names of one
// inode stay hard links. Entries of `to` that `from` lacks, or that are in the way, are
// removed. Everything is read and made relative to open directory descriptors, never
// following a link, so a link in either tree cannot steer a write elsewhere; `from` and `to`
// themselves must not be links. Stops at the first failure with `error` naming the path.
// `observer` (optional) is told of every byte read and every entry made.
bool CopyTree(const std::string& from, const std::string& to, CopyStats& stats, std::string& error,
              CopyObserver* observer = nullptr);

// "N files, N directories, N links, N bytes[, N hard links][, N special files][, N NOT COPIED]"
std::string CopySummary(const CopyStats& stats);

// The names in a directory, sorted, without "." and "..".
bool DirectoryNames(const std::string& dir, std::vector<std::string>& names, std::string& error);

// Whether `path` is a mount point of this process's mount namespace.
bool IsMounted(const std::string& path);

// "drwxr-x--- 1000:1000 4096 2024-05-01T10:00:00Z path[ -> target]"
std::string DescribeEntry(const FileEntry& entry);

// Differences between two listings as readable lines (empty: equal). Compares type,
// bytes (when both have digests), mode, owner, group, size, link target, device number, hard
// link identity and, when
// `compareTimes`, the modification time of files and links.
std::vector<std::string> CompareTrees(const std::vector<FileEntry>& expected,
                                      const std::vector<FileEntry>& actual, bool compareTimes);

}  // namespace wqosctl
