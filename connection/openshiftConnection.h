#pragma once
// The one channel to the cluster: REST requests with the bearer token, the OAuth token
// request, the logins (user and password, or service-account token), commands on the
// storage nodes over SSH and commands in pods through the command-line client.
#include <map>
#include <string>

#include "connection/textSafety.h"
#include "connection/wqLibCurl.h"
#include "host/debugLog.h"

// The session type of libssh2, declared as libssh2.h declares it so that this header does
// not pull libssh2 into every includer.
typedef struct _LIBSSH2_SESSION LIBSSH2_SESSION;

namespace OpenShiftSDKWrapper {

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

  // Runs `command` on `host` over a fresh SSH connection (port 22) with the credentials
  // stored for that host name. Standard output is appended to `out`, standard error to
  // `err`; the result is true only when the command wrote something to standard output and
  // nothing to standard error, whatever its exit code. The TCP connect and the SSH login
  // are each bounded by WQOSDK_SSH_CONNECT_TIMEOUT seconds (default 10), the command by
  // WQOSDK_SSH_COMMAND_TIMEOUT seconds (default 3600). When a known_hosts file is in use
  // (WQOSDK_KNOWN_HOSTS, else "known_hosts" in the base directory) a node whose host key
  // it does not list is refused before authentication.
  bool executeRemoteCommand(const std::string& host, const std::string& command,
                            std::string& out, std::string& err);
  // Runs `command` in the pod (in `container` when not empty) through the command-line
  // client with the current token; true when the client exits with 0.
  bool executeCommandInPod(const std::string& nameSpace, const std::string& pod,
                           const std::string& container, const std::string& command,
                           std::string& out, std::string& err);

  // Opens and authenticates an SSH session with `host`; on failure nothing stays open.
  bool openSSHSession(const std::string& host, LIBSSH2_SESSION*& session, int& sock);
  // Frees the session (and any channel still open on it) and closes its socket.
  bool closeSSHSession(LIBSSH2_SESSION* session, int sock);

 private:
  // The steps both logins share: client initialisation, the connected flag, the
  // address and the SSH credentials.
  bool beginLogin(const char* context, const std::string& url,
                  const std::map<std::string, SSshLoginCreds>& sshCredentials);

  WQLibCurl* httpClient;
  bool connected;
  std::string url;
  std::string user;
  std::string password;
  std::string serviceAccount;
  std::string token;
  std::string lastErrorResponse;
  std::map<std::string, SSshLoginCreds> sshCredentials;
};

}  // namespace OpenShiftSDKWrapper
