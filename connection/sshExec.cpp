// Commands on the storage nodes over SSH: one exec channel per command, on a TCP connection
// and SSH session of its own, or on the node's kept session when connection reuse is on.
#include <arpa/inet.h>
#include <fcntl.h>
#include <libssh2.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include "connection/logContexts.h"
#include "connection/openshiftConnection.h"
#include "connection/sshKeys.h"
#include "connection/sshSession.h"
#include "host/callObserver.h"
#include "host/luIPAddr.h"
#include "host/settings.h"

namespace OpenShiftSDKWrapper {

namespace {

const unsigned short kSshPort = 22;
const long kDefaultConnectTimeoutSeconds = 10;
const long kDefaultCommandTimeoutSeconds = 3600;
// Longest single wait between two tries of a libssh2 call that would block.
const int kWaitSliceMs = 10000;
// How long freeing a session may wait to send its last messages to a node gone silent.
const long kFreeTimeoutMs = 5000;
const unsigned int kChannelWindow = 2097152;
const unsigned int kChannelPacket = 32768;
const size_t kReadChunk = 1024;

using Clock = std::chrono::steady_clock;

// A point in time after which a phase of the SSH work gives up.
class Deadline {
 public:
  explicit Deadline(long seconds) : end_(Clock::now() + std::chrono::seconds(seconds)) {}
  bool Passed() const { return Clock::now() >= end_; }
  int RemainingMs() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(std::min<long>(left.count(), kWaitSliceMs));
  }

 private:
  Clock::time_point end_;
};

long SecondsSetting(const char* name, long fallback) {
  const long value = Settings::GetInteger(name, fallback);
  return value > 0 ? value : fallback;
}

// libssh2_init and libssh2_exit pair up per session, but libssh2_exit releases global
// crypto state that a session still alive on another thread would be using: the
// library is initialised by the first live session and released with the last one.
class LibraryUse {
 public:
  static int Acquire() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (users_ == 0) {
      const int rc = libssh2_init(0);
      if (rc != 0) return rc;
    }
    ++users_;
    return 0;
  }
  static void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (users_ > 0 && --users_ == 0) libssh2_exit();
  }

 private:
  static std::mutex mutex_;
  static int users_;
};
std::mutex LibraryUse::mutex_;
int LibraryUse::users_ = 0;

// Waits until the socket is ready in the direction libssh2 is blocked on, at most
// `timeoutMs`. poll rather than select: the agent may hold descriptors beyond FD_SETSIZE.
int waitsocket(int sock, LIBSSH2_SESSION* session, int timeoutMs) {
  pollfd entry{};
  entry.fd = sock;
  const int directions = libssh2_session_block_directions(session);
  if (directions & LIBSSH2_SESSION_BLOCK_INBOUND) entry.events |= POLLIN;
  if (directions & LIBSSH2_SESSION_BLOCK_OUTBOUND) entry.events |= POLLOUT;
  return ::poll(&entry, 1, timeoutMs);
}

// Repeats `call` while it reports that it would block, waiting for the socket in between.
// Gives LIBSSH2_ERROR_TIMEOUT once the deadline has passed.
template <typename Call>
int RetryWhileBlocked(int sock, LIBSSH2_SESSION* session, const Deadline& deadline, Call call) {
  for (;;) {
    const int rc = call();
    if (rc != LIBSSH2_ERROR_EAGAIN) return rc;
    if (deadline.Passed()) return LIBSSH2_ERROR_TIMEOUT;
    waitsocket(sock, session, deadline.RemainingMs());
  }
}

// Connects without blocking past the deadline; 0 on success, else -1 with errno set.
int ConnectWithin(int sock, const sockaddr_in& address, const Deadline& deadline) {
  const int flags = ::fcntl(sock, F_GETFL, 0);
  if (flags < 0 || ::fcntl(sock, F_SETFL, flags | O_NONBLOCK) < 0) return -1;
  if (::connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return 0;
  if (errno != EINPROGRESS) return -1;
  pollfd entry{sock, POLLOUT, 0};
  int ready = 0;
  do {
    ready = ::poll(&entry, 1, deadline.RemainingMs());
  } while ((ready == 0 && !deadline.Passed()) || (ready < 0 && errno == EINTR));
  if (ready == 0) {
    errno = ETIMEDOUT;
    return -1;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (ready < 0 || ::getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &length) < 0) return -1;
  if (error != 0) {
    errno = error;
    return -1;
  }
  return 0;
}

// The credentials of one node, copied out of the map for one login and wiped afterwards.
struct NodeSecrets {
  std::string userName;
  std::string password;
  std::string privateKey;
  std::string passphrase;

  explicit NodeSecrets(const SSshLoginCreds& creds)
      : userName(creds.userName),
        password(creds.password),
        privateKey(creds.privateKey),
        passphrase(creds.passphrase) {}
  ~NodeSecrets() {
    for (std::string* secret : {&password, &privateKey, &passphrase}) {
      if (!secret->empty()) explicit_bzero(&(*secret)[0], secret->size());
      secret->clear();
    }
  }
  NodeSecrets(const NodeSecrets&) = delete;
  NodeSecrets& operator=(const NodeSecrets&) = delete;
};

std::string LastError(LIBSSH2_SESSION* session) {
  char* message = nullptr;
  int length = 0;
  libssh2_session_last_error(session, &message, &length, 0);
  return message != nullptr ? std::string(message, static_cast<size_t>(length)) : std::string();
}

// An exec channel that frees itself: on a healthy link with a bounded wait, so a kept
// session can carry the next command; on a broken one the session frees it with itself.
class SshChannel {
 public:
  SshChannel(SshLink& link, LIBSSH2_CHANNEL* channel) : link_(link), channel_(channel) {}
  ~SshChannel() {
    if (channel_ == nullptr || link_.broken) return;
    const Deadline bound(kFreeTimeoutMs / 1000);
    if (RetryWhileBlocked(link_.Sock(), link_.Session(), bound,
                          [&] { return libssh2_channel_free(channel_); }) != 0) {
      link_.broken = true;
    }
  }
  SshChannel(const SshChannel&) = delete;
  SshChannel& operator=(const SshChannel&) = delete;
  LIBSSH2_CHANNEL* get() const { return channel_; }

 private:
  SshLink& link_;
  LIBSSH2_CHANNEL* channel_;
};

}  // namespace

// Blocking again for the last messages, but bounded: in non-blocking mode
// libssh2_session_free may give up with EAGAIN and leak, and a node gone silent must not hold
// the caller.
void SshLink::SessionFree::operator()(LIBSSH2_SESSION* session) const {
  libssh2_session_set_blocking(session, 1);
  libssh2_session_set_timeout(session, kFreeTimeoutMs);
  libssh2_session_free(session);
}

SshLink::~SshLink() {
  // The session and the socket go before the library state they use.
  session_.reset();
  sock_.Reset();
  if (libraryHeld_) LibraryUse::Release();
}

int SshLink::AcquireLibrary() {
  const int rc = LibraryUse::Acquire();
  libraryHeld_ = rc == 0;
  return rc;
}

bool SshLink::InitSession() {
  session_.reset(libssh2_session_init_ex(nullptr, nullptr, nullptr, nullptr));
  return session_ != nullptr;
}

bool SshLink::OpenSocket() {
  sock_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  return sock_.IsOpen();
}

void SshLink::Adopt(LIBSSH2_SESSION* session, int sock) {
  session_.reset(session);
  sock_.Reset(sock);
  libraryHeld_ = true;
}

void SshLink::Release(LIBSSH2_SESSION*& outSession, int& outSock) {
  outSession = session_.release();
  outSock = sock_.Release();
  libraryHeld_ = false;
}

bool SshLink::PeerStillOpen() const {
  if (!sock_.IsOpen() || broken) return false;
  char byte = 0;
  const ssize_t peeked = ::recv(sock_.Get(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  if (peeked > 0) return true;
  return peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

namespace {

const char* const kOpenContext = ConnectionContexts::kOpenSshSession;

// The node's IPv4 address: `ipText` for the log, `target` for the connection.
bool ResolveNode(const DebugLog& log, const std::string& host, CLuString& ipText,
                 sockaddr_in& target) {
  CLuIPAddr address;
  if (CLuIPAddr::GetByName(host, &address, 0).IsError()) {
    log.Error(kOpenContext, "Failed to get ip address from [%s]", host.c_str());
    return false;
  }
  if (address.GetAddressString(&ipText).IsError()) {
    log.Error(kOpenContext, "Failed to convert to IP string");
    return false;
  }
  log.DebugLvl(ConnectionContexts::kOpenSshSessionTrace, 0, "Hostname[%s], IP Address[%s]",
               host.c_str(), ipText.c_str());
  ObserveCall(PeerCall::SshSession, host);
  target = sockaddr_in{};
  target.sin_family = AF_INET;
  target.sin_port = htons(kSshPort);
  // inet_addr would turn an IPv6 text into 255.255.255.255; say so instead.
  if (::inet_pton(AF_INET, ipText.c_str(), &target.sin_addr) != 1) {
    log.Error(kOpenContext, "[%s] resolves to [%s], which is not an IPv4 address", host.c_str(),
              ipText.c_str());
    return false;
  }
  return true;
}

// The library, a session and a socket for a new link, then the TCP connection within
// `connectSeconds`.
bool ConnectLink(const DebugLog& log, SshLink& link, const sockaddr_in& target,
                 const CLuString& ipText, long connectSeconds) {
  const int initResult = link.AcquireLibrary();
  if (initResult != 0) {
    log.Error(kOpenContext, "libssh2 initialization failed (%d)", initResult);
    return false;
  }
  if (!link.InitSession()) {
    log.Error(kOpenContext, "session initialization failed");
    return false;
  }
  if (!link.OpenSocket()) {
    log.Error(kOpenContext, "socket initialization failed");
    return false;
  }
  if (ConnectWithin(link.Sock(), target, Deadline(connectSeconds)) != 0) {
    const int error = errno;
    log.Error(kOpenContext, "failed to connect[%d]", -1);
    log.Error(kOpenContext, "Connection to [%s] port %d: %s", ipText.c_str(), kSshPort,
              std::strerror(error));
    return false;
  }
  return true;
}

// The SSH handshake, offering first the host key algorithms the known hosts file lists for
// the node.
bool Handshake(const DebugLog& log, SshLink& link, const std::string& host,
               const std::string& knownHosts, const Deadline& login) {
  LIBSSH2_SESSION* const session = link.Session();
  const int sock = link.Sock();
  std::string knownHostsText;
  if (!knownHosts.empty() && !CLuFile::ReadWholeFile(knownHosts, &knownHostsText).IsError()) {
    const std::string algorithms = SshKeys::KnownKeyAlgorithms(knownHostsText, host);
    if (!algorithms.empty()) {
      libssh2_session_method_pref(session, LIBSSH2_METHOD_HOSTKEY, algorithms.c_str());
    }
  }
  const int handshake = RetryWhileBlocked(sock, session, login, [&] {
    return libssh2_session_handshake(session, static_cast<libssh2_socket_t>(sock));
  });
  if (handshake != 0) {
    log.Error(kOpenContext, "Failure establishing SSH session: %d", handshake);
    return false;
  }
  return true;
}

// The node's host key against the known hosts file; without one the key is only logged.
bool HostKeyAccepted(const DebugLog& log, LIBSSH2_SESSION* session, const std::string& host,
                     const std::string& knownHosts) {
  const std::string fingerprint = SshKeys::SessionFingerprint(session);
  const std::string keyType = SshKeys::SessionKeyType(session);
  if (knownHosts.empty()) {
    log.DebugLvl(ConnectionContexts::kOpenSshSessionTrace, 2, "Host key of [%s]: %s %s",
                 host.c_str(), keyType.c_str(), fingerprint.c_str());
    return true;
  }
  const SshKeys::Verdict verdict = SshKeys::Check(session, knownHosts, host);
  if (verdict == SshKeys::Verdict::Match) return true;
  const char* why = verdict == SshKeys::Verdict::Mismatch   ? "does not match"
                    : verdict == SshKeys::Verdict::NotFound ? "is not listed in"
                                                            : "cannot be checked: cannot read";
  log.Error(kOpenContext, "Refusing [%s]: its host key %s %s %s the known hosts file [%s]",
            host.c_str(), keyType.c_str(), fingerprint.c_str(), why, knownHosts.c_str());
  return false;
}

// Logs in with the password when there is one, else with the private key.
bool Authenticate(const DebugLog& log, SshLink& link, const std::string& host,
                  const NodeSecrets& secrets, const Deadline& login) {
  LIBSSH2_SESSION* const session = link.Session();
  const int auth = RetryWhileBlocked(link.Sock(), session, login, [&] {
    if (!secrets.password.empty()) {
      return libssh2_userauth_password_ex(
          session, secrets.userName.c_str(), static_cast<unsigned int>(secrets.userName.size()),
          secrets.password.c_str(), static_cast<unsigned int>(secrets.password.size()), nullptr);
    }
    return libssh2_userauth_publickey_frommemory(
        session, secrets.userName.c_str(), secrets.userName.size(), nullptr, 0,
        secrets.privateKey.c_str(), secrets.privateKey.size(), secrets.passphrase.c_str());
  });
  if (auth == 0) return true;
  log.Error(kOpenContext, "Authentication by password failed");
  log.Error(kOpenContext, "SSH login of [%s] at [%s] refused (%d): %s", secrets.userName.c_str(),
            host.c_str(), auth, LastError(session).c_str());
  if (secrets.password.empty() && SshKeys::IsRsaPrivateKey(secrets.privateKey)) {
    log.Error(kOpenContext,
              "The key is an RSA key: this SSH library signs with ssh-rsa (SHA-1) only, which "
              "OpenSSH 8.8 and later refuse unless the node's PubkeyAcceptedAlgorithms adds "
              "ssh-rsa; use an ed25519 or ECDSA key instead");
  }
  return false;
}

}  // namespace

std::unique_ptr<SshLink> WQOpenShiftConnection::openLink(const std::string& host) {
  const auto entry = sshCredentials.find(host);
  if (entry == sshCredentials.end()) {
    Error(kOpenContext, "Failed to find ssh credentials for [%s]", host.c_str());
    return nullptr;
  }
  NodeSecrets secrets(entry->second);
  DebugLvl(kOpenContext, 2, "SSH: host [%s] user [%s]", host.c_str(), secrets.userName.c_str());
  CLuString ipText;
  sockaddr_in target{};
  if (!ResolveNode(*this, host, ipText, target)) return nullptr;
  auto link = std::make_unique<SshLink>();
  const long connectSeconds =
      SecondsSetting("WQOSDK_SSH_CONNECT_TIMEOUT", kDefaultConnectTimeoutSeconds);
  if (!ConnectLink(*this, *link, target, ipText, connectSeconds)) return nullptr;

  // Non-blocking from here on, so that every wait is bounded by a deadline and both output
  // streams of a command can be read as their data arrives.
  libssh2_session_set_blocking(link->Session(), 0);
  const Deadline login(connectSeconds);
  const std::string knownHosts = SshKeys::KnownHostsPath();
  if (!Handshake(*this, *link, host, knownHosts, login) ||
      !HostKeyAccepted(*this, link->Session(), host, knownHosts) ||
      !Authenticate(*this, *link, host, secrets, login)) {
    return nullptr;
  }
  DebugLvl(ConnectionContexts::kOpenSshSessionTrace, 0, "SSH session opened");
  return link;
}

bool WQOpenShiftConnection::openSSHSession(const std::string& host, LIBSSH2_SESSION*& session,
                                           int& sock) {
  session = nullptr;
  sock = -1;
  std::unique_ptr<SshLink> link = openLink(host);
  if (!link) return false;
  link->Release(session, sock);
  return true;
}

bool WQOpenShiftConnection::closeSSHSession(LIBSSH2_SESSION* session, int sock) {
  if (session != nullptr) {
    SshLink link;  // frees them as any link does, when it goes
    link.Adopt(session, sock);
  }
  DebugLvl(ConnectionContexts::kCloseSshSessionTrace, 0, "SSH session closed");
  return true;
}

namespace {

// How a command went on a link.
enum class ExecOutcome {
  Succeeded,  // output and no error text
  Failed,     // it ran (or its result is known) and failed; the session is sound
  NotSent,    // the session failed before the exec request went out
  Broken,     // a transport error or time-out after the request was sent
};

// One command on its own channel of a link, step by step. Marks the link broken on a
// transport error.
class RemoteRun {
 public:
  RemoteRun(const DebugLog& log, SshLink& link, const std::string& host, const std::string& command)
      : log_(log),
        link_(link),
        session_(link.Session()),
        sock_(link.Sock()),
        host_(host),
        command_(command),
        commandSeconds_(
            SecondsSetting("WQOSDK_SSH_COMMAND_TIMEOUT", kDefaultCommandTimeoutSeconds)),
        deadline_(commandSeconds_) {}

  // Null when the channel could not be opened; nothing of the command was sent then.
  LIBSSH2_CHANNEL* OpenChannel() {
    for (;;) {
      LIBSSH2_CHANNEL* const opened = libssh2_channel_open_ex(
          session_, "session", 7, kChannelWindow, kChannelPacket, nullptr, 0);
      if (opened != nullptr) return opened;
      if (libssh2_session_last_errno(session_) != LIBSSH2_ERROR_EAGAIN) break;
      if (deadline_.Passed()) {
        TimedOut("opening the channel");
        return nullptr;
      }
      waitsocket(sock_, session_, deadline_.RemainingMs());
    }
    log_.Error(ConnectionContexts::kExecuteRemoteCommand, "Channel initialization failed");
    link_.broken = true;
    return nullptr;
  }

  bool Start(LIBSSH2_CHANNEL* channel) {
    log_.DebugLvl(ConnectionContexts::kExecuteRemoteCommandTrace, 0, "Command[%s]",
                  command_.c_str());
    const int started = RetryWhileBlocked(sock_, session_, deadline_, [&] {
      return libssh2_channel_process_startup(channel, "exec", 4, command_.c_str(),
                                             static_cast<unsigned int>(command_.size()));
    });
    if (started == LIBSSH2_ERROR_TIMEOUT) return TimedOut("starting the command");
    if (started == 0) return true;
    log_.Error(ConnectionContexts::kExecuteRemoteCommand, "Command execution failed [%s]",
               command_.c_str());
    link_.broken = true;
    return false;
  }

  // Reads both streams to their end; false when the deadline passes first.
  bool ReadOutput(LIBSSH2_CHANNEL* channel, std::string& out, std::string& err) {
    // Both streams are read as their data arrives: a command that writes much to standard
    // error before it ends its standard output must not wait on a stream nobody reads.
    Stream streams[] = {{0, out, false}, {1, err, false}};
    bool rechecked = false;
    while (!streams[0].done || !streams[1].done) {
      bool progressed = false;
      for (Stream& stream : streams) progressed = Drain(channel, stream) || progressed;
      // Reading one stream may have queued data or the end of the other: look once more
      // before waiting on the socket when libssh2 holds something for this channel.
      const bool pending = libssh2_poll_channel_read(channel, 1) || libssh2_channel_eof(channel);
      if (progressed || (pending && !rechecked)) {
        rechecked = !progressed;
        continue;
      }
      rechecked = false;
      if (deadline_.Passed()) return TimedOut("reading its output");
      waitsocket(sock_, session_, deadline_.RemainingMs());
    }
    return true;
  }

  // Closes the channel and logs how the command ended.
  void ReportExit(LIBSSH2_CHANNEL* channel) {
    int exitCode = 127;
    std::string exitSignal = "none";
    bool signalled = true;  // the initial "none" stands when the close fails
    const int closed = RetryWhileBlocked(sock_, session_, deadline_,
                                         [&] { return libssh2_channel_close(channel); });
    if (closed == 0) {
      exitCode = libssh2_channel_get_exit_status(channel);
      char* name = nullptr;
      libssh2_channel_get_exit_signal(channel, &name, nullptr, nullptr, nullptr, nullptr, nullptr);
      signalled = name != nullptr;
      if (name != nullptr) {
        exitSignal = name;
        libssh2_free(session_, name);
      }
    } else {
      link_.broken = true;
    }
    if (signalled) {
      log_.DebugLvl(ConnectionContexts::kExecuteRemoteCommandTrace, 0, "Got signal: %s",
                    exitSignal.c_str());
    } else if (exitCode != 0) {
      log_.Error(ConnectionContexts::kExecuteRemoteCommand, "EXIT: %d", exitCode);
    }
  }

  ExecOutcome Verdict(const std::string& out, const std::string& err) const {
    log_.DebugLvl(ConnectionContexts::kExecuteRemoteCommandTrace, 0, "stdout[%s] stderr[%s]",
                  out.c_str(), err.c_str());
    const ExecOutcome failed = link_.broken ? ExecOutcome::Broken : ExecOutcome::Failed;
    if (!err.empty()) {
      log_.Error(ConnectionContexts::kExecuteRemoteCommand, "command return error [%s]",
                 err.c_str());
      return failed;
    }
    if (out.empty()) {
      log_.Error(ConnectionContexts::kExecuteRemoteCommand, "command return nothing");
      return failed;
    }
    return link_.broken ? ExecOutcome::Broken : ExecOutcome::Succeeded;
  }

 private:
  struct Stream {
    int id;
    std::string& text;
    bool done;
  };

  // Reads what the stream holds now; true when anything happened (data, its end, an error).
  bool Drain(LIBSSH2_CHANNEL* channel, Stream& stream) {
    char buffer[kReadChunk];
    bool progressed = false;
    while (!stream.done) {
      const ssize_t count = libssh2_channel_read_ex(channel, stream.id, buffer, sizeof buffer);
      if (count == LIBSSH2_ERROR_EAGAIN) break;
      progressed = true;
      if (count > 0) {
        stream.text.append(buffer, static_cast<size_t>(count));
        continue;
      }
      if (count < 0) {
        log_.Error(ConnectionContexts::kExecuteRemoteCommand, "libssh2_channel_read returned %d\n",
                   int(count));
        link_.broken = true;
      }
      stream.done = true;
    }
    return progressed;
  }

  // Logs the time-out and marks the link broken; always false.
  bool TimedOut(const char* step) {
    log_.Error(ConnectionContexts::kExecuteRemoteCommand,
               "Command [%s] on [%s] timed out after %ld seconds (%s)", command_.c_str(),
               host_.c_str(), commandSeconds_, step);
    link_.broken = true;
    return false;
  }

  const DebugLog& log_;
  SshLink& link_;
  LIBSSH2_SESSION* const session_;
  const int sock_;
  const std::string& host_;
  const std::string& command_;
  const long commandSeconds_;
  const Deadline deadline_;
};

// Runs `command` on its own channel of `link`. Marks the link broken on a transport error.
ExecOutcome RunOnLink(const DebugLog& log, SshLink& link, const std::string& host,
                      const std::string& command, std::string& out, std::string& err) {
  RemoteRun run(log, link, host, command);
  LIBSSH2_CHANNEL* const opened = run.OpenChannel();
  if (opened == nullptr) return ExecOutcome::NotSent;
  // Freed after the verdict: a failure to free it breaks the link for later commands only.
  const SshChannel channel(link, opened);
  if (!run.Start(channel.get()) || !run.ReadOutput(channel.get(), out, err)) {
    return ExecOutcome::Broken;
  }
  run.ReportExit(channel.get());
  return run.Verdict(out, err);
}

}  // namespace

bool WQOpenShiftConnection::executeRemoteCommand(const std::string& host,
                                                 const std::string& command, std::string& out,
                                                 std::string& err) {
  ObserveCall(PeerCall::RemoteCommand, command);
  if (sshIdleSeconds() <= 0) {
    closeNodeSessions();  // reuse was on before
    std::unique_ptr<SshLink> link = openLink(host);
    if (!link) {
      Error(ConnectionContexts::kExecuteRemoteCommand, "Failed to set up ssh session for host [%s]",
            host.c_str());
      return false;
    }
    const ExecOutcome outcome = RunOnLink(*this, *link, host, command, out, err);
    link.reset();
    DebugLvl(ConnectionContexts::kCloseSshSessionTrace, 0, "SSH session closed");
    return outcome == ExecOutcome::Succeeded;
  }

  bool reused = false;
  SshLink* link = keptLink(host, reused);
  if (link == nullptr) {
    Error(ConnectionContexts::kExecuteRemoteCommand, "Failed to set up ssh session for host [%s]",
          host.c_str());
    return false;
  }
  ExecOutcome outcome = RunOnLink(*this, *link, host, command, out, err);
  if (outcome == ExecOutcome::NotSent && reused) {
    // The node closed the kept session meanwhile; nothing of the command reached it.
    dropKeptLink(host, "failed before the command was sent");
    link = keptLink(host, reused);
    if (link == nullptr) {
      Error(ConnectionContexts::kExecuteRemoteCommand, "Failed to set up ssh session for host [%s]",
            host.c_str());
      return false;
    }
    outcome = RunOnLink(*this, *link, host, command, out, err);
  }
  if (outcome == ExecOutcome::NotSent || outcome == ExecOutcome::Broken) {
    dropKeptLink(host, "transport error");
  }
  return outcome == ExecOutcome::Succeeded;
}

}  // namespace OpenShiftSDKWrapper
