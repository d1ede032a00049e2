#pragma once
// The one channel to the cluster: REST requests with the bearer token, the OAuth token
// request, and the logins (user and password, or service-account token).
#include <map>
#include <string>

#include "connection/textSafety.h"
#include "connection/wqLibCurl.h"
#include "host/debugLog.h"

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
