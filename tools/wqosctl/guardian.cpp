#include "tools/wqosctl/guardian.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "connection/textSafety.h"
#include "host/safeFiles.h"

namespace wqosctl {

using namespace OpenShiftSDKWrapper;

namespace {

const char kDone = 'D';

// The file name (without suffix) of a deployment config's lock: "NAMESPACE_DC". Cluster
// names hold no '_', so no two pairs share a name; one too long for a directory entry keeps
// its start and gets a checksum of the whole instead of the rest.
std::string LockStem(const std::string& nameSpace, const std::string& dc) {
  const std::string stem = nameSpace + "_" + dc;
  if (stem.size() <= 200) return stem;
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const unsigned char c : stem) hash = (hash ^ c) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return stem.substr(0, 180) + "~" + hex;
}

// The process id the holder wrote into the lock file, or "another process".
std::string Holder(int fd) {
  char text[24] = {};
  const ssize_t got = pread(fd, text, sizeof text - 1, 0);
  const long pid = got > 0 ? std::strtol(text, nullptr, 10) : 0;
  return pid > 0 ? "process " + std::to_string(pid) : "another process";
}

// The guardian's life after the fork: never returns to the caller's code.
[[noreturn]] void Guard(int socket, const std::function<void()>& unquiesce,
                        const std::string& logPath) {
  setsid();
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal, &ignore, nullptr);
  // _exit runs no destructors: each descriptor opened here is let go of by hand.
  UniqueFd null(open("/dev/null", O_RDWR));
  for (int fd = 0; fd < 3 && null.IsOpen(); ++fd) dup2(null.Get(), fd);
  // When it got one of the three standard numbers, that one stays open as such.
  if (null.Get() <= 2) static_cast<void>(null.Release());
  null.Reset();
  char said = 0;
  ssize_t got;
  do {
    got = recv(socket, &said, 1, 0);
  } while (got < 0 && errno == EINTR);
  if (got == 1 && said == kDone) _exit(0);
  UniqueFd log(open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (log.IsOpen()) dup2(log.Get(), 2);
  log.Reset();
  unquiesce();
  // No destructors and no exit handlers: what this process holds is the tool's.
  _exit(0);
}

}  // namespace

std::string LockDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/wqosctl";
  struct stat run {};
  if (geteuid() == 0 && stat("/run", &run) == 0 && S_ISDIR(run.st_mode)) return "/run/wqosctl";
  return "/tmp/wqosctl-" + std::to_string(geteuid());
}

bool BackupLock::Acquire(const std::string& nameSpace, const std::string& dc, std::string& error) {
  if (!IsClusterName(nameSpace) || !IsClusterName(dc)) {
    error = "the namespace and the deployment config must be cluster names";
    return false;
  }
  const std::string dir = LockDirectory();
  if (!MakePrivateDirectory(dir, error)) return false;
  const UniqueFd base = OpenDirectory(dir, error);
  struct stat info {};
  if (!base.IsOpen()) return false;
  if (fstat(base.Get(), &info) != 0 || info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
    error = dir + " is not a directory of this user alone";
    return false;
  }
  const std::string stem = LockStem(nameSpace, dc);
  base_ = dir + "/" + stem;
  UniqueFd file(openat(base.Get(), (stem + ".lock").c_str(),
                       O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  if (!file.IsOpen() || fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_uid != geteuid()) {
    error =
        "cannot open the lock file " + Path() +
        (file.IsOpen() ? ": not a regular file of this user" : ": " + std::string(strerror(errno)));
    return false;
  }
  if (flock(file.Get(), LOCK_EX | LOCK_NB) != 0) {
    error = errno == EWOULDBLOCK
                ? "another backup of " + nameSpace + "/" + dc + " is running on this host (" +
                      Holder(file.Get()) + " holds " + Path() + ")"
                : "cannot lock " + Path() + ": " + strerror(errno);
    return false;
  }
  // Who holds it, for the message of a backup refused meanwhile.
  const std::string pid = std::to_string(getpid()) + "\n";
  const bool noted = ftruncate(file.Get(), 0) == 0 &&
                     pwrite(file.Get(), pid.data(), pid.size(), 0) == ssize_t(pid.size());
  static_cast<void>(noted);
  fd_ = std::move(file);
  return true;
}

bool Guardian::Start(std::function<void()> unquiesce, const std::string& logPath,
                     std::string& error) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    error = std::string("socketpair: ") + strerror(errno);
    return false;
  }
  UniqueFd ours(ends[0]);
  UniqueFd theirs(ends[1]);
  const pid_t child = fork();
  if (child == 0) {
    ours.Reset();
    Guard(theirs.Get(), unquiesce, logPath);
  }
  theirs.Reset();
  if (child < 0) {
    error = std::string("fork: ") + strerror(errno);
    return false;
  }
  socket_ = std::move(ours);
  pid_ = child;
  return true;
}

void Guardian::Done() {
  if (!socket_.IsOpen()) return;
  const bool told = send(socket_.Get(), &kDone, 1, MSG_NOSIGNAL) == 1;
  socket_.Reset();
  // Told, it ends at once; else it unquiesces a second time, which is not waited for.
  while (told && waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

}  // namespace wqosctl
