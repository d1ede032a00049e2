#pragma once
// The integrity of a backup's data copy: every entry recorded, with the size and SHA-256 of
// each file, while it is copied; and a tree read back and compared with such a record.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/wqosctl/fileTree.h"
#include "tools/wqosctl/manifest.h"

namespace wqosctl {

// SHA-256 of a stream of bytes.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void Add(const char* data, size_t count);
  // The digest of the bytes added since the last Finish, as 64 lowercase hexadecimal digits.
  std::string Finish();

 private:
  void Start();
  struct Context;
  Context* context_;
};

std::string Sha256Of(const std::string& bytes);

// Files and bytes done, with a rate: a line on standard error at most once a second when it
// is a terminal, and a final line always.
class Meter {
 public:
  explicit Meter(std::string what);
  void Add(uint64_t files, uint64_t bytes);
  // "    WHAT: N files, N.N MiB in N.N s (N.N MiB/s)"
  void Finish();

 private:
  std::string Line() const;

  const std::string what_;
  const bool terminal_;
  const std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point shown_;
  uint64_t files_ = 0;
  uint64_t bytes_ = 0;
};

// Copies as CopyTree does, reading each file once: `record` gets every entry made, with the
// size and SHA-256 of each file's bytes as they were read, and the counts. `shown` names the
// copy in the progress lines.
bool CopyAndRecord(const std::string& from, const std::string& to, const std::string& shown,
                   CopyStats& stats, DataRecord& record, std::string& error);

// Reads the tree below `root` into `record`, hashing every file. Nothing is followed: `root`
// itself must not be a link, every directory on the way to a file is opened below the one
// before without following a link, and an entry that is no longer a regular file fails.
bool ReadRecord(const std::string& root, const std::string& shown, DataRecord& record,
                std::string& error);

// The counts of a record's entries.
void CountRecord(DataRecord& record);
// "N files, N directories, N bytes"
std::string RecordSummary(const DataRecord& record);

// Every difference between what was recorded and what was read back, by path: missing and
// added entries, and changed types, sizes, contents and link targets. Empty: equal. With
// `specialsOptional` a missing FIFO, socket or device is no difference (a copy may be refused
// to make one, and says so).
std::vector<std::string> CompareRecords(const DataRecord& expected, const DataRecord& actual,
                                        bool specialsOptional = false);

// The result of "wqosctl verify", kept as BACKUPDIR/verify.json for "describe".
struct VolumeVerification {
  std::string claim;
  std::string result;  // "ok", "differences", "failed" (unreadable), "not recorded"
  uint64_t files = 0;  // as read back
  uint64_t directories = 0;
  uint64_t bytes = 0;
  std::vector<std::string> differences;
  std::string error;
};

struct Verification {
  // The manifest's "created" and RecordDigest: a result of another backup is stale.
  std::string backupCreated;
  std::string records;
  std::string verified;  // UTC, ISO 8601
  std::string result;    // "ok", "differences", "failed", "nothing to verify"
  std::vector<VolumeVerification> volumes;
};

extern const char* const kVerificationFile;
// SHA-256 over the data records of every volume of the manifest.
std::string RecordDigest(const Manifest& manifest);
std::string VerificationText(const Verification& verification);
// False when the file is missing, not a regular file or not a verification.
bool ReadVerification(const std::string& backupDir, Verification& verification);

}  // namespace wqosctl
