#include "host/luFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "host/safeFiles.h"

namespace OpenShiftSDKWrapper {
namespace {

// strerror_r is the XSI int-returning one or the GNU char*-returning one depending on
// feature macros; overloads pick the text out of either.
[[maybe_unused]] const char* ErrorText(int rc, const char* buffer) {
  return rc == 0 ? buffer : "Unknown error";
}
[[maybe_unused]] const char* ErrorText(const char* text, const char*) { return text; }

CLuError Errno(const std::string& what) { return CLuError::FromErrno(errno, what); }

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir that treats an existing directory as success.
CLuError MakeOne(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return CLuError::Success();
  const int code = errno;
  if (code == EEXIST) {
    return IsDirectory(path) ? CLuError::Success() : CLuError::FromErrno(ENOTDIR, "mkdir " + path);
  }
  return CLuError::FromErrno(code, "mkdir " + path);
}

}  // namespace

CLuString CLuString::SubStr(size_t position, long length) const {
  if (position >= s_.size()) return CLuString();
  if (length < 0) return CLuString(s_.substr(position));
  return CLuString(s_.substr(position, static_cast<size_t>(length)));
}

CLuError CLuError::FromErrno(int code, const std::string& what) {
  CLuError error;
  error.failed_ = true;
  error.code_ = code;
  error.text_ = what;
  return error;
}

CLuError CLuError::Message(const std::string& text) {
  CLuError error;
  error.failed_ = true;
  error.text_ = text;
  return error;
}

CLuString CLuError::AsString() const {
  if (!failed_) return CLuString("Success");
  if (code_ == 0) return CLuString(text_.empty() ? std::string("Failure") : text_);
  char buffer[256] = {0};
  const std::string reason = ErrorText(strerror_r(code_, buffer, sizeof buffer), buffer);
  return CLuString(text_.empty() ? reason : text_ + ": " + reason);
}

CLuError CLuFile::Open(const std::string& path, int flags, int mode) {
  Close();
  // Exported definitions include secrets; nobody else needs to read them.
  const mode_t create_mode = mode == 0 ? 0600 : static_cast<mode_t>(mode);
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, create_mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Errno("open " + path);
  fd_.Reset(fd);
  path_ = path;
  return CLuError::Success();
}

CLuError CLuFile::Write(const void* buffer, size_t length, size_t* written) {
  size_t done = 0;
  CLuError result = CLuError::Success();
  if (!fd_.IsOpen()) {
    result = CLuError::FromErrno(EBADF, "write");
  } else {
    const char* bytes = static_cast<const char*>(buffer);
    while (done < length) {
      const ssize_t n = ::write(fd_.Get(), bytes + done, length - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        result = CLuError::FromErrno(n < 0 ? errno : EIO, "write " + path_);
        break;
      }
      done += static_cast<size_t>(n);
    }
  }
  if (written != nullptr) *written = done;
  return result;
}

CLuError CLuFile::Close() {
  // No fsync: it can take seconds on busy file systems, and the caller only needs the
  // data handed to the kernel. close() still reports late errors such as NFS quota.
  const int code = fd_.Close();
  return code == 0 ? CLuError::Success() : CLuError::FromErrno(code, "close " + path_);
}

CLuError CLuFile::ReadWholeFile(const std::string& path, std::string* content) {
  if (content == nullptr) return CLuError::FromErrno(EINVAL, "read " + path);
  std::string error;
  if (!ReadRegularFile(path, kObjectFileReadLimit, *content, error)) {
    const int code = errno;
    return code == EINVAL || code == EFBIG ? CLuError::FromErrno(code, error)
                                           : CLuError::FromErrno(code, "open " + path);
  }
  return CLuError::Success();
}

struct CLuDirectory::Listing {
  std::vector<SLuDirEntry> entries;
  size_t next = 0;
};

CLuDirectory::CLuDirectory() = default;
CLuDirectory::~CLuDirectory() = default;

CLuError CLuDirectory::Create(const std::string& path, bool recursive) {
  if (path.empty()) return CLuError::FromErrno(ENOENT, "mkdir");
  if (recursive) {
    // Every proper prefix ending before a '/' is a parent; "//" and a leading '/' add none.
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      if (path[slash - 1] == '/') continue;
      CLuError error = MakeOne(path.substr(0, slash));
      if (error.IsError()) return error;
    }
  }
  return MakeOne(path);
}

CLuError CLuDirectory::Open(const std::string& path, const std::string& pattern, bool /*flag*/) {
  listing_.reset();
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return Errno("opendir " + path);
  auto listing = std::make_unique<Listing>();
  const std::string glob = pattern.empty() ? std::string("*") : pattern;
  errno = 0;
  while (dirent* d = ::readdir(dir)) {
    const char* name = d->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    if (::fnmatch(glob.c_str(), name, 0) != 0) continue;
    SLuDirEntry entry;
    entry.name = CLuString(name);
    if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) {
      entry.isDirectory = IsDirectory(path + "/" + name);
    } else {
      entry.isDirectory = d->d_type == DT_DIR;
    }
    listing->entries.push_back(std::move(entry));
    errno = 0;
  }
  const int read_error = errno;
  ::closedir(dir);
  if (read_error != 0) {
    return CLuError::FromErrno(read_error, "readdir " + path);
  }
  // readdir order depends on the file system; callers and tests want a stable one.
  std::sort(listing->entries.begin(), listing->entries.end(),
            [](const SLuDirEntry& a, const SLuDirEntry& b) { return a.name.str() < b.name.str(); });
  listing_ = std::move(listing);
  return CLuError::Success();
}

CLuError CLuDirectory::GetEntry(SLuDirEntry* entry, bool* done) {
  if (listing_ == nullptr || entry == nullptr || done == nullptr) {
    return CLuError::FromErrno(EBADF, "directory listing");
  }
  *done = listing_->next >= listing_->entries.size();
  if (!*done) *entry = listing_->entries[listing_->next++];
  return CLuError::Success();
}

CLuString CLuPath::Append(const std::string& directory, const std::string& name) {
  if (directory.empty()) return CLuString(name);
  const size_t dir_end = directory.find_last_not_of('/');
  const size_t name_start = name.find_first_not_of('/');
  std::string path =
      dir_end == std::string::npos ? std::string() : directory.substr(0, dir_end + 1);
  path += '/';
  if (name_start != std::string::npos) path += name.substr(name_start);
  return CLuString(path);
}

}  // namespace OpenShiftSDKWrapper
