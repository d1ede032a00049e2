#pragma once
// Reading and writing files in directories that someone else may have prepared: no symbolic
// link is followed at the name read or written, no FIFO or device blocks or floods a read, and
// a written file appears whole or not at all.
#include <sys/types.h>

#include <cstddef>
#include <string>

#include "host/uniqueFd.h"

namespace OpenShiftSDKWrapper {

// Most bytes read from a file of each kind; a longer file is refused, not cut.
constexpr size_t kManifestReadLimit = size_t{256} << 20;   // manifests with per-file records
constexpr size_t kSecretFileReadLimit = size_t{1} << 20;   // passwords, tokens, keys
constexpr size_t kObjectFileReadLimit = size_t{64} << 20;  // saved object definitions

// Reads the regular file `path` whole. Opened with O_NOFOLLOW|O_NONBLOCK and checked with
// fstat, so a link, FIFO, socket, device or directory is refused at once; more than `limit`
// bytes is refused too. `error` names the path; errno tells the cause (EINVAL: not a regular
// file, EFBIG: too long).
bool ReadRegularFile(const std::string& path, size_t limit, std::string& content,
                     std::string& error);
// The same for `name` in the open directory `dirFd` (AT_FDCWD: relative to the working
// directory).
bool ReadRegularFileAt(int dirFd, const std::string& name, size_t limit, std::string& content,
                       std::string& error);

// Writes `bytes` as `name` in `directory`: a new temporary file "NAME.tmp", created with
// O_CREAT|O_EXCL|O_NOFOLLOW relative to the directory's descriptor, is written, given `mode`
// (whatever the umask), fsync'ed and renamed over `name`. A link planted at either name is
// replaced, never followed; an existing entry that is neither a file nor a link (a device, a
// FIFO, a directory) is refused. A reader sees the old file or the new one, whole.
// `notOpened` (optional) tells whether the failure came before any byte was written.
bool WriteFileAtomically(const std::string& directory, const std::string& name,
                         const std::string& bytes, mode_t mode, std::string& error,
                         bool* notOpened = nullptr);
// The same in the open directory `dirFd`; `shownDir` names it in `error`.
bool WriteFileAtomicallyAt(int dirFd, const std::string& shownDir, const std::string& name,
                           const std::string& bytes, mode_t mode, std::string& error,
                           bool* notOpened = nullptr);

// Opens the directory `path` itself (O_DIRECTORY|O_NOFOLLOW): a link there is refused.
UniqueFd OpenDirectory(const std::string& path, std::string& error);

// Opens the directory `relative` ("a/b") below the open directory `baseFd` one component at a
// time, never following a link; with `create` a missing component is made with `mode`.
UniqueFd OpenDirectoryBelow(int baseFd, const std::string& shownBase, const std::string& relative,
                            bool create, mode_t mode, std::string& error);

// Creates `path` (its parents as needed) as a directory of mode 0700, or takes the existing
// one, and checks it as CheckPrivateDirectory does.
bool MakePrivateDirectory(const std::string& path, std::string& error);
// True when `path` is a directory, not a link, owned by the caller and not writable by its
// group or others: nobody else can plant entries in it.
bool CheckPrivateDirectory(const std::string& path, std::string& error);

}  // namespace OpenShiftSDKWrapper
