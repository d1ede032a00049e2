#include "tools/wqosctl/integrity.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <utility>

#include "host/safeFiles.h"
#include "tools/wqosctl/console.h"

namespace wqosctl {

using OpenShiftSDKWrapper::UniqueFd;

struct Sha256::Context {
  EVP_MD_CTX* evp = nullptr;
};

Sha256::Sha256() : context_(new Context) {
  context_->evp = EVP_MD_CTX_new();
  if (context_->evp == nullptr) {
    delete context_;
    throw std::runtime_error("cannot allocate a SHA-256 context");
  }
  Start();
}

Sha256::~Sha256() {
  EVP_MD_CTX_free(context_->evp);
  delete context_;
}

void Sha256::Start() {
  if (EVP_DigestInit_ex(context_->evp, EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("cannot start a SHA-256 digest");
  }
}

void Sha256::Add(const char* data, size_t count) {
  if (count > 0 && EVP_DigestUpdate(context_->evp, data, count) != 1) {
    throw std::runtime_error("cannot compute a SHA-256 digest");
  }
}

std::string Sha256::Finish() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_->evp, digest, &length) != 1) {
    throw std::runtime_error("cannot compute a SHA-256 digest");
  }
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  Start();
  return text;
}

std::string Sha256Of(const std::string& bytes) {
  Sha256 hash;
  hash.Add(bytes.data(), bytes.size());
  return hash.Finish();
}

namespace {

std::string Mebibytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", bytes / 1048576.0);
  return text;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Entries of a copy as they are made: a file's bytes are hashed as they pass.
class Recorder : public CopyObserver {
 public:
  Recorder(DataRecord& record, Meter& meter) : record_(record), meter_(meter) {}

  void Bytes(const char* data, size_t count) override {
    hash_.Add(data, count);
    meter_.Add(0, count);
  }

  void Made(const FileEntry& made) override {
    DataEntry entry;
    const auto first = made.hardLinkOf.empty() ? index_.end() : index_.find(made.hardLinkOf);
    if (first != index_.end()) {
      entry = record_.entries[first->second];
    } else {
      entry.type = made.type;
      entry.size = made.type == 'f' ? made.size : 0;
      if (made.type == 'f') entry.sha256 = hash_.Finish();
      entry.linkTarget = made.linkTarget;
    }
    entry.path = made.path;
    if (entry.type == 'f') meter_.Add(1, 0);
    index_[entry.path] = record_.entries.size();
    record_.entries.push_back(entry);
  }

 private:
  DataRecord& record_;
  Meter& meter_;
  Sha256 hash_;
  std::map<std::string, size_t> index_;
};

void SortByPath(DataRecord& record) {
  std::sort(record.entries.begin(), record.entries.end(),
            [](const DataEntry& a, const DataEntry& b) { return a.path < b.path; });
}

// Hashes the regular file `name` of `dirFd`; `size` gets the bytes read.
bool HashFile(int dirFd, const std::string& name, const std::string& shown, Sha256& hash,
              Meter& meter, uint64_t& size, std::string& error) {
  int opened;
  do {
    opened = openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (opened < 0 && errno == EINTR);
  UniqueFd fd(opened);
  struct stat info {};
  if (!fd.IsOpen() || fstat(fd.Get(), &info) != 0) {
    error = "cannot read " + shown + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    error = "cannot read " + shown + ": no longer a regular file";
    return false;
  }
  char buffer[65536];
  size = 0;
  for (;;) {
    const ssize_t count = read(fd.Get(), buffer, sizeof buffer);
    if (count == 0) return true;
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      error = "cannot read " + shown + ": " + std::strerror(errno);
      return false;
    }
    hash.Add(buffer, static_cast<size_t>(count));
    meter.Add(0, static_cast<uint64_t>(count));
    size += static_cast<uint64_t>(count);
  }
}

const char* TypeName(char type) {
  switch (type) {
    case 'f':
      return "file";
    case 'd':
      return "directory";
    case 'l':
      return "link";
    case 'p':
      return "FIFO";
    case 's':
      return "socket";
    default:
      return "device";
  }
}

}  // namespace

Meter::Meter(std::string what)
    : what_(std::move(what)),
      terminal_(isatty(STDERR_FILENO) == 1),
      started_(std::chrono::steady_clock::now()),
      shown_(started_) {}

void Meter::Add(uint64_t files, uint64_t bytes) {
  files_ += files;
  bytes_ += bytes;
  if (!terminal_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - shown_ < std::chrono::seconds(1)) return;
  shown_ = now;
  PrintErr(Line() + "\n");
}

void Meter::Finish() { PrintErr(Line() + "\n"); }

std::string Meter::Line() const {
  const double seconds = SecondsSince(started_);
  char time[32];
  std::snprintf(time, sizeof time, "%.1f s", seconds);
  return "    " + what_ + ": " + std::to_string(files_) + " files, " +
         Mebibytes(static_cast<double>(bytes_)) + " in " + time + " (" +
         Mebibytes(seconds > 0 ? static_cast<double>(bytes_) / seconds : 0) + "/s)";
}

bool CopyAndRecord(const std::string& from, const std::string& to, const std::string& shown,
                   CopyStats& stats, DataRecord& record, std::string& error) {
  record = DataRecord();
  Meter meter(shown);
  Recorder recorder(record, meter);
  const bool copied = CopyTree(from, to, stats, error, &recorder);
  meter.Finish();
  if (!copied) {
    record = DataRecord();
    return false;
  }
  SortByPath(record);
  CountRecord(record);
  record.recorded = true;
  return true;
}

bool ReadRecord(const std::string& root, const std::string& shown, DataRecord& record,
                std::string& error) {
  record = DataRecord();
  std::vector<FileEntry> listing;
  if (!ListTree(root, false, listing, error)) return false;
  UniqueFd top = OpenShiftSDKWrapper::OpenDirectory(root, error);
  if (!top.IsOpen()) return false;
  Meter meter(shown);
  Sha256 hash;
  std::map<std::string, size_t> index;
  // The directory of the file read last, kept open for its siblings.
  std::string parent;
  UniqueFd parentFd;
  bool ok = true;
  for (const FileEntry& listed : listing) {
    DataEntry entry;
    entry.path = listed.path;
    entry.type = listed.type;
    entry.linkTarget = listed.linkTarget;
    const auto first = listed.hardLinkOf.empty() ? index.end() : index.find(listed.hardLinkOf);
    if (listed.type == 'f' && first != index.end()) {
      entry.size = record.entries[first->second].size;
      entry.sha256 = record.entries[first->second].sha256;
    } else if (listed.type == 'f') {
      const size_t slash = listed.path.rfind('/');
      const std::string directory =
          slash == std::string::npos ? std::string() : listed.path.substr(0, slash);
      if (!directory.empty() && (directory != parent || !parentFd.IsOpen())) {
        parentFd =
            OpenShiftSDKWrapper::OpenDirectoryBelow(top.Get(), root, directory, false, 0, error);
        parent = directory;
        if (!parentFd.IsOpen()) {
          ok = false;
          break;
        }
      }
      const int dirFd = directory.empty() ? top.Get() : parentFd.Get();
      const std::string name = listed.path.substr(slash == std::string::npos ? 0 : slash + 1);
      if (!HashFile(dirFd, name, root + "/" + listed.path, hash, meter, entry.size, error)) {
        ok = false;
        break;
      }
      entry.sha256 = hash.Finish();
    }
    if (entry.type == 'f') meter.Add(1, 0);
    index[entry.path] = record.entries.size();
    record.entries.push_back(entry);
  }
  meter.Finish();
  if (!ok) return false;
  CountRecord(record);
  record.recorded = true;
  return true;
}

std::string RecordDigest(const Manifest& manifest) {
  Sha256 hash;
  for (const ManifestVolume& volume : manifest.volumes) {
    std::string text = volume.record.name + '\0';
    for (const DataEntry& entry : volume.data.entries) {
      text += entry.path + '\0' + entry.type + std::to_string(entry.size) + entry.sha256 +
              entry.linkTarget + '\0';
    }
    hash.Add(text.data(), text.size());
  }
  return hash.Finish();
}

void CountRecord(DataRecord& record) {
  record.files = 0;
  record.directories = 0;
  record.bytes = 0;
  for (const DataEntry& entry : record.entries) {
    if (entry.type == 'f') {
      ++record.files;
      record.bytes += entry.size;
    } else if (entry.type == 'd') {
      ++record.directories;
    }
  }
}

std::string RecordSummary(const DataRecord& record) {
  return std::to_string(record.files) + " files, " + std::to_string(record.directories) +
         " directories, " + std::to_string(record.bytes) + " bytes";
}

std::vector<std::string> CompareRecords(const DataRecord& expected, const DataRecord& actual,
                                        bool specialsOptional) {
  std::map<std::string, std::string> lines;  // by path
  std::map<std::string, const DataEntry*> present;
  for (const DataEntry& entry : actual.entries) present[entry.path] = &entry;
  for (const DataEntry& want : expected.entries) {
    const auto found = present.find(want.path);
    if (found == present.end()) {
      const bool special = want.type != 'f' && want.type != 'd' && want.type != 'l';
      if (!special || !specialsOptional) {
        lines[want.path] = want.path + ": missing " + TypeName(want.type);
      }
      continue;
    }
    const DataEntry& have = *found->second;
    present.erase(found);
    std::string& line = lines[want.path];
    if (have.type != want.type) {
      line = want.path + ": a " + TypeName(have.type) + ", recorded as a " + TypeName(want.type);
    } else if (want.type == 'f' && have.size != want.size) {
      line = want.path + ": size " + std::to_string(have.size) + ", recorded " +
             std::to_string(want.size);
    } else if (want.type == 'f' && have.sha256 != want.sha256) {
      line = want.path + ": content changed (SHA-256 " + have.sha256 + ", recorded " + want.sha256 +
             ")";
    } else if (want.type == 'l' && have.linkTarget != want.linkTarget) {
      line = want.path + ": link to " + have.linkTarget + ", recorded " + want.linkTarget;
    }
  }
  for (const auto& extra : present) {
    lines[extra.first] =
        extra.first + ": added " + TypeName(extra.second->type) + ", not in the record";
  }
  std::vector<std::string> differences;
  for (const auto& line : lines) {
    if (!line.second.empty()) differences.push_back(line.second);
  }
  return differences;
}

}  // namespace wqosctl
