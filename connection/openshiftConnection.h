#pragma once
// The one channel to the cluster: REST requests with the bearer token, the OAuth token
// request, the logins (user and password, or service-account token), commands on the
// storage nodes over SSH and commands in pods through the command-line client.
#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "connection/textSafety.h"
#include "connection/wqLibCurl.h"
#include "host/debugLog.h"

// The session type of libssh2, declared as libssh2.h declares it so that this header does
// not pull libssh2 into every includer.
typedef struct _LIBSSH2_SESSION LIBSSH2_SESSION;

namespace OpenShiftSDKWrapper {

class SshLink;
class SshSessionPool;
// Frees the kept SSH sessions; defined where the pool is, so that this header needs no
// libssh2 and the connection's own destructor closes them.
struct SshSessionPoolDeleter {
  void operator()(SshSessionPool* pool) const;
};

// SSH credentials of one storage node.
struct SSshLoginCreds {
  std::string userName;
  std::string password;    // used when not empty
  std::string privateKey;  // key text held in memory, used when the password is empty
  std::string passphrase;  // of the private key; may be empty
};

class WQOpenShiftConnection : public DebugLog {
 public:
  WQOpenShiftConnection();
  ~WQOpenShiftConnection();
  WQOpenShiftConnection(const WQOpenShiftConnection&) = delete;
  WQOpenShiftConnection& operator=(const WQOpenShiftConnection&) = delete;

  // REST requests: `path` begins with "/" and is appended to the cluster address as it
  // is. `response` receives the body whenever a request was sent.
  bool get(const std::string& path, std::string& response);
  bool post(const std::string& path, const std::string& body, std::string& response);
  bool put(const std::string& path, const std::string& body, std::string& response);
  bool deleteCall(const std::string& path, const std::string& body, std::string& response);
  bool sendReq(HTTP_REQ_TYPE type, const std::string& path, const std::string& body,
               std::string& response);

  // Obtains a bearer token with the stored user name and password.
  bool renewToken();

  // Password login: the command-line client is logged in (its outcome is only logged),
  // then the result is that of the token request.
  bool connect(const std::string& url, const std::string& user, const std::string& password,
               const std::map<std::string, SSshLoginCreds>& sshCredentials);
  // Service-account login with a token the caller holds; true once the client is ready.
  bool connectServiceAccount(const std::string& url, const std::string& serviceAccount,
                             const std::string& token,
                             const std::map<std::string, SSshLoginCreds>& sshCredentials);

  // Runs `command` on `host` over a fresh SSH connection (port 22; with connection reuse
  // on, on a channel of the node's kept session) with the credentials
  // stored for that host name. Standard output is appended to `out`, standard error to
  // `err`; the result is true only when the command wrote something to standard output and
  // nothing to standard error, whatever its exit code. The TCP connect and the SSH login
  // are each bounded by WQOSDK_SSH_CONNECT_TIMEOUT seconds (default 10), the command by
  // WQOSDK_SSH_COMMAND_TIMEOUT seconds (default 3600). When a known_hosts file is in use
  // (WQOSDK_KNOWN_HOSTS, else "known_hosts" in the base directory) a node whose host key
  // it does not list is refused before authentication.
  bool executeRemoteCommand(const std::string& host, const std::string& command, std::string& out,
                            std::string& err);
  // Runs `command` in the pod (in `container` when not empty) through the command-line
  // client with the current token; true when the client exits with 0.
  bool executeCommandInPod(const std::string& nameSpace, const std::string& pod,
                           const std::string& container, const std::string& command,
                           std::string& out, std::string& err);

  // Connection reuse. Off by default: each remote command opens and closes its own
  // connection. On (an explicit limit here, else WQOSDK_SSH_IDLE_SECONDS > 0, read at every
  // command), one authenticated session per node is kept and each command runs on its own
  // channel of it. No thread or timer watches the sessions: the next command closes those
  // idle for longer than the limit, a transport error closes the session it happened on,
  // and closeNodeSessions or the destructor close the rest. A command is run once more on a
  // fresh connection only when the kept session failed before its exec request was sent.
  // `seconds` > 0 turns reuse on with that idle limit; 0 returns to the environment.
  void setSshIdleSeconds(long seconds);
  // The idle limit of the members that always keep their sessions.
  static const long kKeptSessionIdleSeconds = 30;
  // The idle limit in force: 0 when reuse is off.
  long sshIdleSeconds() const;
  // With reuse on, opens the node's session now unless one is kept; true when one is kept.
  bool openNodeSession(const std::string& host);
  void closeNodeSessions();
  size_t keptNodeSessions() const;

  // The GlusterFS container prefix of a node, remembered with its kept session (so looked
  // up once per connection). keptContainerPrefix is false when reuse is off or nothing is
  // remembered; keepContainerPrefix does nothing without a kept session.
  bool keptContainerPrefix(const std::string& host, std::string& prefix) const;
  void keepContainerPrefix(const std::string& host, const std::string& prefix);
  // After a command run with the prefix failed: true (and the remembered prefix forgotten)
  // when `err` is docker's answer that the container does not exist, so that the caller
  // looks the prefix up once more. The failed command is not run again.
  bool forgetGoneContainerPrefix(const std::string& host, const std::string& err);

  // Opens and authenticates an SSH session with `host`; on failure nothing stays open.
  bool openSSHSession(const std::string& host, LIBSSH2_SESSION*& session, int& sock);
  // Frees the session (and any channel still open on it) and closes its socket.
  bool closeSSHSession(LIBSSH2_SESSION* session, int sock);

 private:
  // The steps both logins share: client initialisation, the connected flag, the
  // address and the SSH credentials.
  bool beginLogin(const char* context, const std::string& url,
                  const std::map<std::string, SSshLoginCreds>& sshCredentials);
  // A fresh authenticated session with `host`, or null (logged).
  std::unique_ptr<SshLink> openLink(const std::string& host);
  // The node's kept session, opened when there is none (reuse on); null when that fails.
  // `reused` tells whether it was kept from an earlier command.
  SshLink* keptLink(const std::string& host, bool& reused);
  void dropKeptLink(const std::string& host, const char* why);

  WQLibCurl* httpClient;
  bool connected;
  std::string url;
  std::string user;
  std::string password;
  std::string serviceAccount;
  std::string token;
  std::string lastErrorResponse;
  std::map<std::string, SSshLoginCreds> sshCredentials;
  long explicitIdleSeconds = 0;
  std::unique_ptr<SshSessionPool, SshSessionPoolDeleter> sshPool;
};

}  // namespace OpenShiftSDKWrapper
