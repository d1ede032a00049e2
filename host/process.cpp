#include "host/process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

#include "host/uniqueFd.h"

extern char** environ;

namespace OpenShiftSDKWrapper {
namespace {

struct RunnerState {
  std::mutex mutex;
  WqProcess::Runner runner;
};

// Overwrites a text that may hold a secret (a password handed to a child through its
// environment) before its memory is given back.
void WipeText(std::string& text) {
  if (!text.empty()) explicit_bzero(&text[0], text.size());
}

// Wipes the texts of a run when it ends, whichever way it ends.
struct WipeOnExit {
  std::vector<std::string>* texts = nullptr;
  ProcessEnv* env = nullptr;
  ~WipeOnExit() {
    if (texts != nullptr) {
      for (std::string& text : *texts) WipeText(text);
    }
    if (env != nullptr) {
      for (auto& entry : *env) WipeText(entry.second);
    }
  }
};

RunnerState& Runners() {
  static RunnerState state;
  return state;
}

bool MakePipe(UniqueFd& read_end, UniqueFd& write_end) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  read_end.Reset(fds[0]);
  write_end.Reset(fds[1]);
  return true;
}

// The child's environment: the caller's, with the request's entries replacing or
// extending it. Built before fork, since the child may only make async-signal-safe calls.
std::vector<std::string> ChildEnvironment(const ProcessEnv& extra) {
  std::vector<std::string> entries;
  // Reserved up front: a growing vector would leave copies of short values behind.
  size_t count = extra.size();
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) ++count;
  entries.reserve(count);
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    const char* eq = std::strchr(*e, '=');
    const size_t name_len = eq != nullptr ? static_cast<size_t>(eq - *e) : std::strlen(*e);
    bool replaced = false;
    for (const auto& kv : extra) {
      if (kv.first.size() == name_len && kv.first.compare(0, name_len, *e, name_len) == 0) {
        replaced = true;
        break;
      }
    }
    if (!replaced) entries.emplace_back(*e);
  }
  for (const auto& kv : extra) {
    std::string entry;
    entry.reserve(kv.first.size() + 1 + kv.second.size());
    entry.append(kv.first).append(1, '=').append(kv.second);
    entries.push_back(std::move(entry));
  }
  return entries;
}

[[noreturn]] void ExecChild(int null_fd, int out_fd, int err_fd, char* const argv[],
                            char* const envp[]) {
  if (::dup2(null_fd, STDIN_FILENO) < 0 || ::dup2(out_fd, STDOUT_FILENO) < 0 ||
      ::dup2(err_fd, STDERR_FILENO) < 0) {
    ::_exit(127);
  }
  // Sockets and files of the agent that lack O_CLOEXEC must not leak into the command.
  if (::syscall(SYS_close_range, 3U, UINT_MAX, 0U) != 0) {
    const long max_fd = ::sysconf(_SC_OPEN_MAX);
    for (long fd = 3; fd < (max_fd > 0 ? max_fd : 1024); ++fd) ::close(static_cast<int>(fd));
  }
  ::execve("/bin/sh", argv, envp);
  ::_exit(127);
}

int WaitForChild(pid_t pid) {
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid, &status, 0);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Reads what is available on `fd` into `sink`; false at end of stream or on an error.
bool ReadSome(int fd, std::string& sink) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      sink.append(buffer, static_cast<size_t>(n));
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
}

// True once the child has exited, without reaping it (WaitForChild does that).
bool ChildExited(pid_t pid) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

// Drains both streams together until both end, so a command that fills one pipe while
// the other is being read cannot stall. Once the shell itself has exited only what is
// already buffered is read: a daemon started by the command (a mount helper's client
// process, say) may keep the pipes open for ever. Exit is seen through a pidfd, or by
// checking every 100 ms where pidfds are unavailable.
void Drain(pid_t pid, int out_fd, int err_fd, int pid_fd, std::string& out, std::string& err) {
  pollfd fds[3] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}, {pid_fd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  bool exited = false;
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    const int timeout = exited ? 0 : (pid_fd >= 0 ? -1 : 100);
    const int ready = ::poll(fds, 3, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (ready == 0) {
      if (exited) return;
      if (pid_fd < 0) exited = ChildExited(pid);
      continue;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
          !ReadSome(fds[i].fd, *sinks[i])) {
        fds[i].fd = -1;
      }
    }
    if (fds[2].fd >= 0 && (fds[2].revents & POLLIN) != 0) {
      exited = true;
      fds[2].fd = -1;
    }
  }
}

int PidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  const long fd = ::syscall(SYS_pidfd_open, pid, 0U);
  if (fd >= 0) {
    ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
    return static_cast<int>(fd);
  }
#else
  (void)pid;
#endif
  return -1;
}

}  // namespace

int WqProcess::system(const std::string& command, std::string& out, std::string& err, int number,
                      bool flag) {
  return system(command, out, err, number, flag, ProcessEnv());
}

int WqProcess::system(const std::string& command, std::string& out, std::string& err,
                      int /*number*/, bool /*flag*/, const ProcessEnv& env) {
  ProcessRequest request{command, env};
  WipeOnExit wipe;
  wipe.env = &request.env;
  Runner runner;
  {
    RunnerState& state = Runners();
    std::lock_guard<std::mutex> lock(state.mutex);
    runner = state.runner;
  }
  if (runner) return runner(request, out, err);
  return RunReal(request, out, err);
}

void WqProcess::SetRunner(Runner runner) {
  RunnerState& state = Runners();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.runner = std::move(runner);
}

int WqProcess::RunReal(const ProcessRequest& request, std::string& out, std::string& err) {
  out.clear();
  err.clear();

  std::vector<std::string> env_strings = ChildEnvironment(request.env);
  WipeOnExit wipe;
  wipe.texts = &env_strings;
  std::vector<char*> envp;
  envp.reserve(env_strings.size() + 1);
  for (auto& entry : env_strings) envp.push_back(&entry[0]);
  envp.push_back(nullptr);
  std::string shell = "/bin/sh", dash_c = "-c", command = request.command;
  char* argv[] = {&shell[0], &dash_c[0], &command[0], nullptr};

  UniqueFd null_fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  UniqueFd out_read, out_write, err_read, err_write;
  if (null_fd.Get() < 0 || !MakePipe(out_read, out_write) || !MakePipe(err_read, err_write)) {
    return -1;
  }

  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) ExecChild(null_fd.Get(), out_write.Get(), err_write.Get(), argv, envp.data());

  // Only the child may hold the write ends, or the reads below would never see EOF.
  out_write.Reset();
  err_write.Reset();
  null_fd.Reset();
  UniqueFd pid_fd(PidFd(pid));
  Drain(pid, out_read.Get(), err_read.Get(), pid_fd.Get(), out, err);
  return WaitForChild(pid);
}

}  // namespace OpenShiftSDKWrapper
