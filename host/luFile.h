#pragma once
// Files, directories, paths, errors and the host string type.
#include <cstddef>
#include <memory>
#include <string>
#include <utility>

#include "host/uniqueFd.h"

namespace OpenShiftSDKWrapper {

class CLuString {
 public:
  CLuString() = default;
  CLuString(const char* text) : s_(text ? text : "") {}  // NOLINT(google-explicit-constructor)
  CLuString(std::string text) : s_(std::move(text)) {}   // NOLINT(google-explicit-constructor)
  const char* c_str() const { return s_.c_str(); }
  // `length` -1 (or past the end) means the rest of the string; a position past the
  // end gives the empty string.
  CLuString SubStr(size_t position, long length = -1) const;
  size_t Length() const { return s_.size(); }
  const std::string& str() const { return s_; }
  operator const std::string&() const { return s_; }  // NOLINT(google-explicit-constructor)
  bool operator==(const CLuString& o) const { return s_ == o.s_; }

 private:
  std::string s_;
};

// Result of a file, directory or address operation: success, or an errno-style code
// with the operation's own wording.
class CLuError {
 public:
  static CLuError Success() { return CLuError(); }
  static CLuError FromErrno(int code, const std::string& what = std::string());
  static CLuError Message(const std::string& text);  // a failure with no errno code
  bool IsError() const { return failed_; }
  int Code() const { return code_; }
  CLuString AsString() const;  // "what: strerror text", or "Success"

 private:
  bool failed_ = false;
  int code_ = 0;
  std::string text_;
};

// Closed when it goes, if Close was not called; not copyable.
class CLuFile {
 public:
  // open(2) flags, never following a link at `path`; a `mode` of 0 creates the file as 0600
  // (definitions may hold secrets). Files that must appear whole: WriteFileAtomically.
  CLuError Open(const std::string& path, int flags, int mode);
  // Writes all `length` bytes (retrying short writes); `written` gets what was written.
  CLuError Write(const void* buffer, size_t length, size_t* written);
  // Closes (no fsync: the data only has to reach the kernel); reports a late write
  // failure that close() returns, such as a quota reached on a network file system.
  CLuError Close();
  bool IsOpen() const { return fd_.IsOpen(); }
  // A regular file, at most kObjectFileReadLimit bytes; links, FIFOs, devices and
  // directories are refused without blocking (see ReadRegularFile in host/safeFiles.h).
  static CLuError ReadWholeFile(const std::string& path, std::string* content);

 private:
  UniqueFd fd_;
  std::string path_;
};

struct SLuDirEntry {
  CLuString name;
  bool isDirectory = false;
};

class CLuDirectory {
 public:
  CLuDirectory();
  ~CLuDirectory();

  // Creates `path`; with `recursive` its missing parents too. An existing directory is success.
  static CLuError Create(const std::string& path, bool recursive);
  // Lists the entries of `path` whose names match the fnmatch(3) `pattern` ("." and ".." never).
  CLuError Open(const std::string& path, const std::string& pattern, bool flag);
  // Next entry in name order; `done` is set (and `entry` untouched) once the listing is exhausted.
  CLuError GetEntry(SLuDirEntry* entry, bool* done);

 private:
  struct Listing;
  std::unique_ptr<Listing> listing_;
};

class CLuPath {
 public:
  // Joins with exactly one '/' between a non-empty directory and the name.
  static CLuString Append(const std::string& directory, const std::string& name);
};

}  // namespace OpenShiftSDKWrapper
