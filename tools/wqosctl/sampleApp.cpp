#include "tools/wqosctl/sampleApp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/uniqueFd.h"

namespace wqosctl {

const char* const kSampleNamespace = "demo";
const char* const kSampleDeploymentConfig = "web";
const char* const kSampleQuiesceAnnotation = "wq.quiesce";
const char* const kSampleUnquiesceAnnotation = "wq.unquiesce";

namespace {

const int64_t kEpoch = 1700000000;  // 2023-11-14, so that kept times are easy to tell

// Bytes of every value, so that a copy that drops or mangles any byte shows.
std::string BinaryBytes(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 2463534242u;
  for (char& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<char>(state & 0xff);
  }
  return bytes;
}

std::string LogLines(const char* what, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += "10.128.0." + std::to_string(i % 250) +
            " - - [14/Nov/2023:22:" + std::to_string(10 + i % 50) + ":00 +0000] \"GET /" + what +
            "/" + std::to_string(i) + " HTTP/1.1\" 200 " + std::to_string(512 + i) + "\n";
  }
  return text;
}

bool Fail(const char* what, const std::string& path, std::string& error) {
  error = std::string(what) + " " + path + ": " + std::strerror(errno);
  return false;
}

bool WriteBytes(const std::string& path, const std::string& bytes, std::string& error) {
  OpenShiftSDKWrapper::UniqueFd file(
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!file.IsOpen()) return Fail("cannot create", path, error);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(file.Get(), bytes.data() + done, bytes.size() - done);
    if (written <= 0) return Fail("cannot write", path, error);
    done += static_cast<size_t>(written);
  }
  return file.Close() == 0 || Fail("cannot write", path, error);
}

bool SetAttributes(const SampleFile& file, const std::string& path, std::string& error) {
  if (lchown(path.c_str(), file.uid, file.gid) != 0) return Fail("cannot chown", path, error);
  if (file.type != 'l' && chmod(path.c_str(), file.mode) != 0) {
    return Fail("cannot chmod", path, error);
  }
  const timespec times[2] = {{file.mtime, 0}, {file.mtime, 0}};
  if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    return Fail("cannot set the times of", path, error);
  }
  return true;
}

}  // namespace

std::vector<std::string> SampleClaims() { return {"web-data", "web-logs"}; }

const std::vector<SampleFile>& SampleFiles() {
  // Parents before their entries; owners, modes and times all differ from a plain copy's.
  static const std::vector<SampleFile> files = {
      {"web-data", "index.html", 'f', 0644, 1001, 1001, kEpoch,
       "<html><body><h1>Sample application</h1></body></html>\n"},
      {"web-data", "empty.txt", 'f', 0444, 0, 0, kEpoch + 60, ""},
      {"web-data", "assets", 'd', 0755, 1001, 1001, kEpoch + 120, ""},
      {"web-data", "assets/app.js", 'f', 0640, 1001, 1002, kEpoch + 180,
       "document.title = 'restored?';\n"},
      {"web-data", "assets/logo.bin", 'f', 0600, 1001, 1001, kEpoch + 240, BinaryBytes(70000)},
      {"web-data", "uploads", 'd', 02775, 1001, 1002, kEpoch + 300, ""},
      {"web-data", "uploads/report.csv", 'f', 0664, 1002, 1002, kEpoch + 360,
       "id,name,amount\n1,alpha,10\n2,beta,20\n"},
      {"web-data", "uploads/run.sh", 'f', 04750, 0, 1002, kEpoch + 420, "#!/bin/sh\necho run\n"},
      {"web-data", "current", 'l', 0777, 1001, 1001, kEpoch + 480, "index.html"},
      {"web-logs", "access.log", 'f', 0640, 1001, 4, kEpoch + 540, LogLines("index", 40)},
      {"web-logs", "error.log", 'f', 0600, 1001, 1001, kEpoch + 600, "no errors\n"},
      {"web-logs", "archive", 'd', 0750, 1001, 4, kEpoch + 660, ""},
      {"web-logs", "archive/access.log.1", 'f', 0440, 1001, 4, kEpoch + 720,
       LogLines("archive", 3000)},
  };
  return files;
}

bool WriteSampleFiles(const std::string& claim, const std::string& root, std::string& error) {
  std::vector<const SampleFile*> directories;
  for (const SampleFile& file : SampleFiles()) {
    if (file.claim != claim) continue;
    const std::string path = root + "/" + file.path;
    if (file.type == 'd') {
      if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return Fail("cannot create directory", path, error);
      }
      directories.push_back(&file);
      continue;
    }
    if (file.type == 'l') {
      unlink(path.c_str());
      if (symlink(file.content.c_str(), path.c_str()) != 0) {
        return Fail("cannot create link", path, error);
      }
    } else if (!WriteBytes(path, file.content, error)) {
      return false;
    }
    if (!SetAttributes(file, path, error)) return false;
  }
  // Deepest first: setting a directory's times must follow every change inside it.
  std::reverse(directories.begin(), directories.end());
  for (const SampleFile* directory : directories) {
    if (!SetAttributes(*directory, root + "/" + directory->path, error)) return false;
  }
  return true;
}

std::vector<FileEntry> ExpectedSampleEntries(const std::string& claim) {
  std::vector<FileEntry> entries;
  for (const SampleFile& file : SampleFiles()) {
    if (file.claim != claim) continue;
    FileEntry entry;
    entry.path = file.path;
    entry.type = file.type;
    entry.mode = file.mode;
    entry.uid = file.uid;
    entry.gid = file.gid;
    entry.size = file.type == 'd' ? 0 : file.content.size();
    entry.mtime = file.mtime;
    if (file.type == 'l') entry.linkTarget = file.content;
    if (file.type == 'f') entry.digest = ContentDigest(file.content);
    entries.push_back(entry);
  }
  std::sort(entries.begin(), entries.end(),
            [](const FileEntry& a, const FileEntry& b) { return a.path < b.path; });
  return entries;
}

}  // namespace wqosctl
