#include "connection/openshiftConnection.h"

#include <algorithm>
#include <regex>

#include "connection/logContexts.h"
#include "host/platformInfo.h"
#include "host/process.h"
#include "host/strFormat.h"

namespace OpenShiftSDKWrapper {

namespace {

const char* const kUnauthorizedBody = "Unauthorized";
const char* const kDefaultPort = "8443";

std::string NormaliseUrl(const std::string& url) {
  if (url.find(':') == std::string::npos) return "https://" + url + ":" + kDefaultPort;
  return url;
}

bool GetBaseDirectory(std::string& base) {
  WQPlatformInfo platformInfo;
  return platformInfo.getString("Base", "dBASEHOME", base);
}

void Wipe(std::string& secret) { WipeSecret(secret); }

std::string ResponseText(WQLibCurl& client) {
  size_t length = 0;
  const char* text = client.GetHttpResponse(length, false);
  return text != nullptr ? std::string(text, length) : std::string();
}

struct CommandPart {
  const char* name;
  const std::string& value;
};

// The command-line login is built by plain concatenation and run by /bin/sh: a part that
// could end its word or start another command is refused, and the login is skipped.
bool CommandPartsAreSafe(const DebugLog& log, const char* context,
                         std::initializer_list<CommandPart> parts) {
  for (const CommandPart& part : parts) {
    if (!IsShellSafeWord(part.value)) {
      log.Error(context,
                "Skipping the command-line login: the %s holds a character that the shell "
                "would interpret",
                part.name);
      return false;
    }
  }
  return true;
}

// The client's header list becomes `headers`, each a complete header line.
template <typename Lines>
bool SetRequestHeaders(const DebugLog& log, WQLibCurl& client, const Lines& headers) {
  client.WQLibCurlFreeHttpHeaderList();
  for (const std::string& header : headers) {
    if (!client.WQLibCurlAppendHeader(HTTP_HDR_STANDARD, header.c_str())) {
      log.Error(ConnectionContexts::kSendReq, "Failed to set header [%s]", header.c_str());
      return false;
    }
  }
  return true;
}

// Sends the request; an "Unauthorized" body earns one plain resend (the token is not renewed
// here). `response` gets the body of the last answer when the send succeeded.
bool SendWithOneResend(const DebugLog& log, WQLibCurl& client, HTTP_REQ_TYPE type,
                       const std::string& fullUrl, const std::string& body, std::string& response) {
  bool sent = false;
  for (int retries = 1; retries >= 0; --retries) {
    if (type == HTTP_GET) {
      sent = client.WQLibCurlSendHttpReq(type, fullUrl.c_str(), nullptr, 0, false, nullptr);
    } else {
      sent = client.WQLibCurlSendHttpReq(type, fullUrl.c_str(), body.data(), body.length(), false,
                                         nullptr);
    }
    if (!sent) break;
    response = ResponseText(client);
    if (response != kUnauthorizedBody) break;
    log.DebugLvl(ConnectionContexts::kSendReqTrace, 0, "Token out of date, retry ");
  }
  return sent;
}

}  // namespace

WQOpenShiftConnection::WQOpenShiftConnection()
    : DebugLog(nullptr), httpClient(new WQLibCurl()), connected(false) {}

WQOpenShiftConnection::~WQOpenShiftConnection() {
  if (httpClient != nullptr) {
    delete httpClient;
    httpClient = nullptr;
  }
  Wipe(password);
  Wipe(token);
}

bool WQOpenShiftConnection::get(const std::string& path, std::string& response) {
  return sendReq(HTTP_GET, path, std::string(), response);
}

bool WQOpenShiftConnection::post(const std::string& path, const std::string& body,
                                 std::string& response) {
  return sendReq(HTTP_POST, path, body, response);
}

bool WQOpenShiftConnection::put(const std::string& path, const std::string& body,
                                std::string& response) {
  return sendReq(HTTP_PUT, path, body, response);
}

bool WQOpenShiftConnection::deleteCall(const std::string& path, const std::string& body,
                                       std::string& response) {
  return sendReq(HTTP_DELETE, path, body, response);
}

bool WQOpenShiftConnection::sendReq(HTTP_REQ_TYPE type, const std::string& path,
                                    const std::string& body, std::string& response) {
  const std::string headers[] = {"Authorization: Bearer " + token, "Accept: application/json",
                                 "content-type: application/json;charset=UTF-8"};
  const std::string fullUrl = url + path;

  if (!connected) {
    Error(ConnectionContexts::kSendReq,
          "Connect module has to be called before making any queries.");
    return false;
  }
  lastErrorResponse.clear();

  if (!SetRequestHeaders(*this, *httpClient, headers)) return false;
  const bool sent = SendWithOneResend(*this, *httpClient, type, fullUrl, body, response);

  // What a Secret holds never reaches the log.
  const bool secretPath = IsSecretPath(path);
  const std::string loggedBody = LoggableBody(body, secretPath);
  if (!sent) {
    response = ResponseText(*httpClient);
    lastErrorResponse = response;
    Error(ConnectionContexts::kSendReq,
          "API failed. operation [%d]. URL[%s]. Body [%s]. Response [%s]", static_cast<int>(type),
          fullUrl.c_str(), loggedBody.c_str(), LoggableBody(response, secretPath).c_str());
    if (type != HTTP_GET) Error(ConnectionContexts::kSendReq, "req body[%s]", loggedBody.c_str());
    return false;
  }
  DebugLvl(ConnectionContexts::kSendReqTrace, 0, "Http request URL [%d] [%s], body [%s]",
           static_cast<int>(type), fullUrl.c_str(), loggedBody.c_str());
  DebugLvl(ConnectionContexts::kSendReqTrace, 2, "Response [%s]",
           LoggableBody(response, secretPath).c_str());
  return true;
}

bool WQOpenShiftConnection::renewToken() {
  const std::string csrfHeader = std::string("X-CSRF-Token: ") + "xxx";
  std::string credentials = user + ":" + password;
  const std::string authorizeUrl =
      url + "/oauth/authorize?client_id=openshift-challenging-client&response_type=token";
  const std::regex tokenPattern("access_token=([^&#]+)", std::regex::ECMAScript);
  std::string location;

  httpClient->WQLibCurlFreeHttpHeaderList();
  if (!httpClient->WQLibCurlAppendHeader(HTTP_HDR_STANDARD, csrfHeader.c_str())) {
    Error(ConnectionContexts::kRenewToken, "Failed to set header [%s]", csrfHeader.c_str());
    Wipe(credentials);
    return false;
  }
  bool appended = httpClient->WQLibCurlAppendHeader(HTTP_HDR_USERPWD, credentials.c_str());
  Wipe(credentials);
  if (!appended) {
    Error(ConnectionContexts::kRenewToken, "Failed to set CURL Accept header");
    return false;
  }

  bool sent =
      httpClient->WQLibCurlSendHttpReq(HTTP_GET, authorizeUrl.c_str(), nullptr, 0, false, nullptr);
  // The credentials are needed for this one request only.
  httpClient->WQLibCurlFreeHttpHeaderList();
  if (!sent) {
    int code = httpClient->GetHttpErrorCode();
    if (code != 302) {
      Error(ConnectionContexts::kRenewToken, "Failed to get token, Response Code[%d]", code);
      return false;
    }
    location = httpClient->GetHttpResponseHeader("Location");
  }

  std::smatch match;
  const bool found = std::regex_search(location, match, tokenPattern);
  if (found) {
    Wipe(token);
    token = match[1].str();
    DebugLvl(ConnectionContexts::kRenewTokenTrace, 0, "Got a token [%s] ",
             MaskSecret(token).c_str());
  }
  Wipe(location);
  // Every later request would fail on a login that brought no token: say so here.
  if (!found) {
    Error(ConnectionContexts::kRenewToken,
          "Failed to get token: the answer of the OAuth endpoint carries no access token");
  }
  return found;
}

bool WQOpenShiftConnection::beginLogin(
    const char* context, const std::string& url,
    const std::map<std::string, SSshLoginCreds>& sshCredentials) {
  if (!httpClient->WQLibCurlInit("Content-Type: application/json", true, true, nullptr)) {
    Error(context, "Failed to initialize Curl Library");
    return false;
  }
  connected = true;
  this->url = NormaliseUrl(url);
  // Sessions kept with the old credentials end with them.
  closeNodeSessions();
  this->sshCredentials = sshCredentials;
  return true;
}

bool WQOpenShiftConnection::connect(const std::string& url, const std::string& user,
                                    const std::string& password,
                                    const std::map<std::string, SSshLoginCreds>& sshCredentials) {
  if (!beginLogin(ConnectionContexts::kConnect, url, sshCredentials)) return false;
  this->user = user;
  Wipe(this->password);
  this->password = password;

  // The password reaches the command-line client through the environment of that one
  // child process: it is neither written into the command line nor left in ours.
  std::string base;
  if (!GetBaseDirectory(base)) {
    Error(ConnectionContexts::kConnect, "Failed to get base location");
  } else if (this->user.find('\'') != std::string::npos) {
    Error(ConnectionContexts::kConnect,
          "Skipping the command-line login: the user name holds a single quote, which cannot "
          "be passed to the shell safely");
  } else if (CommandPartsAreSafe(*this, ConnectionContexts::kConnect,
                                 {{"base directory", base}, {"address", this->url}})) {
    const std::string command = WqFormat(
        "%s/wqOpenShiftCLI login %s --insecure-skip-tls-verify=true --username='%s' "
        "--password=\"${OCPASSWD}\"",
        base.c_str(), this->url.c_str(), this->user.c_str());
    const std::string logged = WqFormat(
        "%s/wqOpenShiftCLI login %s --insecure-skip-tls-verify=true --username='%s' "
        "--password=****",
        base.c_str(), this->url.c_str(), this->user.c_str());
    ProcessEnv env = SecretForChild("OCPASSWD", this->password);
    std::string out;
    std::string err;
    int result = WqProcess::system(command, out, err, 0, false, env);
    Wipe(env.front().second);
    if (result != 0) {
      Error(ConnectionContexts::kConnect, "Failed to execute - [%s] Out[%s] Err[%s].",
            logged.c_str(), out.c_str(), err.c_str());
    }
  }
  return renewToken();
}

bool WQOpenShiftConnection::connectServiceAccount(
    const std::string& url, const std::string& serviceAccount, const std::string& token,
    const std::map<std::string, SSshLoginCreds>& sshCredentials) {
  if (!beginLogin(ConnectionContexts::kConnectServiceAccount, url, sshCredentials)) return false;
  this->serviceAccount = serviceAccount;
  Wipe(this->token);
  this->token = token;

  std::string base;
  if (!GetBaseDirectory(base)) {
    Error(ConnectionContexts::kConnectServiceAccount, "Failed to get base location");
  } else if (CommandPartsAreSafe(*this, ConnectionContexts::kConnectServiceAccount,
                                 {{"base directory", base}, {"address", this->url}})) {
    const std::string prefix = base + "/wqOpenShiftCLI login " + this->url +
                               " --insecure-skip-tls-verify=true " + "--token=";
    const std::string command = prefix + kTokenReference + "\n";
    ProcessEnv env = SecretForChild(kTokenVariable, this->token);
    std::string out;
    std::string err;
    const int result = WqProcess::system(command, out, err, 0, false, env);
    Wipe(env.front().second);
    if (result != 0) {
      const std::string logged = prefix + MaskSecret(this->token) + "\n";
      Error(ConnectionContexts::kConnectServiceAccount, "Failed to execute - [%s] Out[%s] Err[%s].",
            logged.c_str(), out.c_str(), err.c_str());
    }
  }
  return true;
}

}  // namespace OpenShiftSDKWrapper
