#include "connection/wqLibCurl.h"

#include <curl/curl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "connection/curlHandles.h"
#include "connection/logContexts.h"
#include "host/callObserver.h"
#include "host/luFile.h"
#include "host/platformInfo.h"
#include "host/settings.h"

namespace OpenShiftSDKWrapper {

namespace {

const char* const kCaFileName = "openshift-ca.crt";
const double kDefaultConnectTimeoutSeconds = 10;
const double kDefaultRequestTimeoutSeconds = 300;

// libcurl's global state must be set up once per process, before any handle, and the
// call itself is not thread-safe.
CURLcode GlobalInit() {
  static std::once_flag once;
  static CURLcode result = CURLE_OK;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return result;
}

// Same signature as WQLibCurl::WriteCallback, so either can be installed.
size_t WriteBody(void* data, size_t size, size_t count, void* client) {
  static_cast<WQLibCurl*>(client)->AppendBody(static_cast<const char*>(data), size * count);
  return size * count;
}

size_t WriteHeader(char* data, size_t size, size_t count, void* client) {
  static_cast<WQLibCurl*>(client)->AppendHeaderLine(data, size * count);
  return size * count;
}

// Only libcurl's own notes are passed on: header and data dumps could carry the
// bearer token or the Basic credentials.
int DebugNote(CURL*, curl_infotype type, char* data, size_t size, void* client) {
  if (type == CURLINFO_TEXT) static_cast<const WQLibCurl*>(client)->LogTransportNote(data, size);
  return 0;
}

// A time-out in milliseconds from a setting in seconds; zero or less would let a dead
// or silent server block the caller for ever, so it falls back to the default.
long TimeoutMs(const char* name, double fallbackSeconds) {
  double seconds = Settings::GetNumber(name, fallbackSeconds);
  if (!(seconds > 0)) seconds = fallbackSeconds;
  return std::max(1L, static_cast<long>(seconds * 1000));
}

const char* VerbOf(HTTP_REQ_TYPE type) {
  switch (type) {
    case HTTP_GET:
      return "GET";
    case HTTP_POST:
      return "POST";
    case HTTP_PUT:
      return "PUT";
    case HTTP_DELETE:
      return "DELETE";
  }
  return "?";
}

std::string TrimLineEnd(const char* data, size_t length) {
  while (length > 0 && (data[length - 1] == '\n' || data[length - 1] == '\r')) --length;
  return std::string(data, length);
}

template <typename T>
bool SetOption(const DebugLog& log, const char* context, CURL* curl, CURLoption option, T value,
               const char* name) {
  CURLcode code = curl_easy_setopt(curl, option, value);
  if (code != CURLE_OK) {
    log.Error(context, "Failed to set %s: %s", name, curl_easy_strerror(code));
    return false;
  }
  return true;
}

// The header lines of a request, then "Expect:", which stops libcurl from waiting for a
// 100-continue before larger bodies. False, logged under `context`, when memory runs out.
bool BuildHeaderList(const DebugLog& log, const char* context,
                     const std::vector<std::string>& headers, CurlHeaderList& list) {
  std::vector<std::string> lines = headers;
  lines.emplace_back("Expect:");
  for (const std::string& line : lines) {
    if (!AppendCurlHeader(list, line.c_str())) {
      log.Error(context, "Out of memory building the request headers");
      return false;
    }
  }
  return true;
}

// Sets an option of the handle; a failure is logged under the calling member's `context`.
#define WQ_SETOPT(option, value) SetOption(*this, context, curl_.get(), option, value, #option)

}  // namespace

void WQLibCurl::EasyCleanup::operator()(void* handle) const { curl_easy_cleanup(handle); }

WQLibCurl::WQLibCurl()
    : DebugLog(nullptr),
      keepAlive_(true),
      failOnHttpError_(true),
      writeCallback_(nullptr),
      haveBody_(false),
      status_(0),
      errorBuffer_() {}

WQLibCurl::~WQLibCurl() { ClearCredentials(); }

bool WQLibCurl::WQLibCurlInit(const char* header, bool keepAlive, bool failOnHttpError,
                              WriteCallback writeCallback) {
  const char* const context = ConnectionContexts::kCurlInit;
  CURLcode initCode = GlobalInit();
  if (initCode != CURLE_OK) {
    Error(context, "curl_global_init failed: %s", curl_easy_strerror(initCode));
    return false;
  }
  // The handle is kept across logins so that its connection cache survives; a reset
  // drops every option of the previous session.
  if (curl_ == nullptr) {
    curl_.reset(curl_easy_init());
    if (curl_ == nullptr) {
      Error(context, "curl_easy_init failed");
      return false;
    }
  } else {
    curl_easy_reset(curl_.get());
  }
  keepAlive_ = keepAlive;
  failOnHttpError_ = failOnHttpError;
  writeCallback_ = writeCallback;
  initHeader_ = header != nullptr ? header : "";
  WQLibCurlFreeHttpHeaderList();
  if (!initHeader_.empty()) headers_.push_back(initHeader_);
  ResetLastResponse();
  return ConfigureHandle() && ConfigureTls();
}

bool WQLibCurl::ConfigureHandle() {
  const char* const context = ConnectionContexts::kCurlConfigureHandle;
  return WQ_SETOPT(CURLOPT_NOSIGNAL, 1L) && WQ_SETOPT(CURLOPT_FOLLOWLOCATION, 0L) &&
         WQ_SETOPT(CURLOPT_PROTOCOLS_STR, "http,https") &&
         WQ_SETOPT(CURLOPT_ERRORBUFFER, errorBuffer_) &&
         WQ_SETOPT(CURLOPT_WRITEFUNCTION,
                   writeCallback_ != nullptr ? writeCallback_ : &WriteBody) &&
         WQ_SETOPT(CURLOPT_WRITEDATA, static_cast<void*>(this)) &&
         WQ_SETOPT(CURLOPT_HEADERFUNCTION, &WriteHeader) &&
         WQ_SETOPT(CURLOPT_HEADERDATA, static_cast<void*>(this)) &&
         WQ_SETOPT(CURLOPT_DEBUGFUNCTION, &DebugNote) &&
         WQ_SETOPT(CURLOPT_DEBUGDATA, static_cast<void*>(this)) &&
         WQ_SETOPT(CURLOPT_CONNECTTIMEOUT_MS,
                   TimeoutMs("WQOSDK_CONNECT_TIMEOUT", kDefaultConnectTimeoutSeconds)) &&
         WQ_SETOPT(CURLOPT_TIMEOUT_MS,
                   TimeoutMs("WQOSDK_REQUEST_TIMEOUT", kDefaultRequestTimeoutSeconds)) &&
         WQ_SETOPT(CURLOPT_TCP_KEEPALIVE, keepAlive_ ? 1L : 0L) &&
         WQ_SETOPT(CURLOPT_FORBID_REUSE, keepAlive_ ? 0L : 1L);
}

bool WQLibCurl::ConfigureTls() {
  const char* const context = ConnectionContexts::kCurlConfigureTls;
  std::string base;
  bool haveBase = WQPlatformInfo().getString("Base", "dBASEHOME", base);
  caFile_ = Settings::Get("WQOSDK_CA_FILE");
  if (!caFile_.empty()) {
    // A CA named explicitly must be usable: falling back to an unverified connection
    // would hide the mistake.
    if (access(caFile_.c_str(), R_OK) != 0) {
      Error(context, "CA file [%s] named by WQOSDK_CA_FILE cannot be read: %s", caFile_.c_str(),
            strerror(errno));
      return false;
    }
  } else if (haveBase) {
    std::string candidate = CLuPath::Append(base, kCaFileName).str();
    if (access(candidate.c_str(), F_OK) == 0) caFile_ = candidate;
  }

  if (caFile_.empty()) {
    Debug(context,
          "Warning: the server certificate is not verified. To verify it, put the cluster's CA "
          "certificate in [%s/%s] or name a CA file in WQOSDK_CA_FILE",
          haveBase ? base.c_str() : "<base directory>", kCaFileName);
    return WQ_SETOPT(CURLOPT_SSL_VERIFYPEER, 0L) && WQ_SETOPT(CURLOPT_SSL_VERIFYHOST, 0L);
  }
  DebugLvl(context, 0, "Verifying the server certificate with CA file [%s]", caFile_.c_str());
  return WQ_SETOPT(CURLOPT_CAINFO, caFile_.c_str()) && WQ_SETOPT(CURLOPT_SSL_VERIFYPEER, 1L) &&
         WQ_SETOPT(CURLOPT_SSL_VERIFYHOST, 2L);
}

void WQLibCurl::ClearCredentials() {
  // Overwrite the bytes before releasing them so the password does not linger in freed memory.
  std::fill(credentials_.begin(), credentials_.end(), '\0');
  credentials_.clear();
}

void WQLibCurl::WQLibCurlFreeHttpHeaderList() {
  headers_.clear();
  ClearCredentials();
}

bool WQLibCurl::WQLibCurlAppendHeader(_http_hdr_type_ kind, const char* text) {
  if (text == nullptr) return false;
  switch (kind) {
    case HTTP_HDR_STANDARD:
      // A header line must not carry a line break: it would smuggle a second header.
      if (std::strpbrk(text, "\r\n") != nullptr || std::strchr(text, ':') == nullptr) return false;
      headers_.emplace_back(text);
      return true;
    case HTTP_HDR_USERPWD:
      if (std::strchr(text, ':') == nullptr) return false;
      ClearCredentials();
      credentials_ = text;
      return true;
  }
  return false;
}

bool WQLibCurl::SetMethod(HTTP_REQ_TYPE type, const void* body, size_t length,
                          const char* customMethod) {
  const char* const context = ConnectionContexts::kCurlSetMethod;
  // The handle keeps options from the previous request: every method-related option is
  // set again each time.
  bool ok = WQ_SETOPT(CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr)) &&
            WQ_SETOPT(CURLOPT_NOBODY, 0L);
  if (type == HTTP_GET || (type == HTTP_DELETE && length == 0)) {
    ok = ok && WQ_SETOPT(CURLOPT_HTTPGET, 1L);
  } else {
    // A null POSTFIELDS would make libcurl read the body from stdin.
    const char* data = body != nullptr ? static_cast<const char*>(body) : "";
    ok = ok && WQ_SETOPT(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(length)) &&
         WQ_SETOPT(CURLOPT_POSTFIELDS, data);
  }
  const char* verb = customMethod;
  if (verb == nullptr && (type == HTTP_PUT || type == HTTP_DELETE)) verb = VerbOf(type);
  if (verb != nullptr) ok = ok && WQ_SETOPT(CURLOPT_CUSTOMREQUEST, verb);
  return ok;
}

bool WQLibCurl::WQLibCurlSendHttpReq(HTTP_REQ_TYPE type, const char* url, const void* body,
                                     size_t length, bool verbose, const char* customMethod) {
  const char* const context = ConnectionContexts::kCurlSendHttpReq;
  ResetLastResponse();
  if (curl_ == nullptr) {
    Error(context, "The HTTP client is not initialised");
    return false;
  }
  if (url == nullptr || *url == '\0') {
    Error(context, "No URL given");
    return false;
  }
  ObserveCall(PeerCall::Request,
              std::string(customMethod ? customMethod : VerbOf(type)) + " " + url);

  // The request's header list, freed with the request.
  CurlHeaderList list;
  bool ok = BuildHeaderList(*this, context, headers_, list);
  ok = ok && WQ_SETOPT(CURLOPT_URL, url) && WQ_SETOPT(CURLOPT_HTTPHEADER, list.get()) &&
       SetMethod(type, body, length, customMethod) && WQ_SETOPT(CURLOPT_VERBOSE, verbose ? 1L : 0L);
  if (ok && !credentials_.empty()) {
    ok = WQ_SETOPT(CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC)) &&
         WQ_SETOPT(CURLOPT_USERPWD, credentials_.c_str());
  } else if (ok) {
    ok = WQ_SETOPT(CURLOPT_USERPWD, static_cast<const char*>(nullptr));
  }

  CURLcode code = CURLE_OK;
  if (ok) code = curl_easy_perform(curl_.get());

  // Neither the header list nor the credentials may outlive this request in the handle.
  WQ_SETOPT(CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
  WQ_SETOPT(CURLOPT_USERPWD, static_cast<const char*>(nullptr));
  list.reset();
  if (!ok) return false;

  long status = 0;
  CURLcode infoCode = curl_easy_getinfo(curl_.get(), CURLINFO_RESPONSE_CODE, &status);
  if (infoCode != CURLE_OK) {
    Error(context, "Failed to read the response code: %s", curl_easy_strerror(infoCode));
  }
  status_ = static_cast<int>(status);

  if (code != CURLE_OK) {
    errorText_ = errorBuffer_[0] != '\0' ? errorBuffer_ : curl_easy_strerror(code);
    Error(context, "%s request to [%s] failed: %s (%s)",
          customMethod != nullptr ? customMethod : VerbOf(type), url, curl_easy_strerror(code),
          errorText_.c_str());
    return false;
  }
  if (failOnHttpError_ && (status_ < 200 || status_ > 299)) {
    errorText_ = "HTTP status " + std::to_string(status_);
    return false;
  }
  return true;
}

void WQLibCurl::ResetLastResponse() {
  haveBody_ = false;
  body_.clear();
  responseHeaders_.clear();
  headerValue_.clear();
  status_ = 0;
  errorBuffer_[0] = '\0';
  errorText_.clear();
}

void WQLibCurl::AppendBody(const char* data, size_t length) {
  if (length == 0) return;
  haveBody_ = true;
  body_.append(data, length);
}

void WQLibCurl::AppendHeaderLine(const char* data, size_t length) {
  std::string line = TrimLineEnd(data, length);
  // Each status line starts a new response (an interim 1xx, or a proxy's answer).
  if (line.compare(0, 5, "HTTP/") == 0) {
    responseHeaders_.clear();
    return;
  }
  size_t colon = line.find(':');
  if (colon == std::string::npos) return;
  size_t start = line.find_first_not_of(" \t", colon + 1);
  responseHeaders_.emplace_back(line.substr(0, colon),
                                start == std::string::npos ? std::string() : line.substr(start));
}

void WQLibCurl::LogTransportNote(const char* data, size_t length) const {
  DebugLvl(ConnectionContexts::kCurlTrace, 3, "%s", TrimLineEnd(data, length).c_str());
}

const char* WQLibCurl::GetHttpResponse(size_t& length, bool errorText) {
  if (errorText) {
    length = errorText_.size();
    return errorText_.c_str();
  }
  if (!haveBody_) {
    length = 0;
    return nullptr;
  }
  length = body_.size();
  return body_.c_str();
}

const char* WQLibCurl::GetHttpResponseHeader(const char* name) {
  headerValue_.clear();
  if (name != nullptr) {
    for (const auto& header : responseHeaders_) {
      if (strcasecmp(header.first.c_str(), name) == 0) {
        headerValue_ = header.second;
        break;
      }
    }
  }
  return headerValue_.c_str();
}

int WQLibCurl::GetHttpErrorCode() const { return status_; }

}  // namespace OpenShiftSDKWrapper
