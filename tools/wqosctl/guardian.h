#pragma once
// What keeps a backup's freeze safe beyond the tool itself: the host-wide lock of a
// deployment config's backups, and the guardian process that runs the unquiesce command
// when the tool ends without having run it (killed, crashed).
#include <sys/types.h>

#include <functional>
#include <string>

#include "host/uniqueFd.h"

namespace wqosctl {

// The directory of the lock files of this user on this host: $XDG_RUNTIME_DIR/wqosctl,
// else /run/wqosctl for root (when /run is there), else /tmp/wqosctl-UID.
std::string LockDirectory();

// An exclusive flock on LockDirectory()/NAMESPACE_DC.lock, held as long as a descriptor of it
// is open: by this object, and by a guardian started while it was held. The directory is
// made owner-only and refused when it is a link, another user's or open to others.
class BackupLock {
 public:
  BackupLock() = default;
  BackupLock(const BackupLock&) = delete;
  BackupLock& operator=(const BackupLock&) = delete;

  // False, with `error` saying why, when the names are no cluster names, the lock file
  // cannot be opened safely, or another process holds the lock.
  bool Acquire(const std::string& nameSpace, const std::string& dc, std::string& error);
  std::string Path() const { return base_ + ".lock"; }
  // Where a guardian started under this lock writes what it did.
  std::string GuardianLogPath() const { return base_ + ".guardian.log"; }

 private:
  OpenShiftSDKWrapper::UniqueFd fd_;
  std::string base_;
};

// A child process that waits on a socket whose other end only this process holds (closed on
// exec). Done() tells it that the unquiesce command ran here: it exits. When the socket
// closes without that (this process ended in any way, SIGKILL included), it runs `unquiesce`
// and exits. It ignores SIGINT, SIGTERM and SIGHUP and leaves the session: an interrupt is
// this process's to handle. Its standard input and output are /dev/null, its standard error
// `logPath` (appended to, made only when it acts) or /dev/null, so that nobody waiting for
// the end of the tool's output waits for it.
class Guardian {
 public:
  Guardian() = default;
  // Without Done(): the guardian acts once this process has let go of the socket, which
  // it does when it goes; the guardian is not waited for.
  ~Guardian() = default;
  Guardian(const Guardian&) = delete;
  Guardian& operator=(const Guardian&) = delete;

  bool Start(std::function<void()> unquiesce, const std::string& logPath, std::string& error);
  bool Running() const { return pid_ > 0; }
  // Tells the guardian to end without acting and waits for it.
  void Done();

 private:
  OpenShiftSDKWrapper::UniqueFd socket_;
  pid_t pid_ = -1;
};

}  // namespace wqosctl
