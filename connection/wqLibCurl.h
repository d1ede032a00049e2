#pragma once
// HTTP client over libcurl: one easy handle per client, so that consecutive requests
// reuse the same TLS connection; the last response is kept for the getters.
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/debugLog.h"

namespace OpenShiftSDKWrapper {

typedef enum _http_req_type_ {
  HTTP_GET = 0,
  HTTP_POST = 1,
  HTTP_PUT = 2,
  HTTP_DELETE = 3
} HTTP_REQ_TYPE;

enum _http_hdr_type_ {
  HTTP_HDR_STANDARD = 0,  // a complete header line "Name: value"
  HTTP_HDR_USERPWD = 1    // "user:password", sent as HTTP Basic credentials
};

class WQLibCurl : public DebugLog {
 public:
  using WriteCallback = size_t (*)(void* data, size_t size, size_t count, void* client);

  WQLibCurl();
  ~WQLibCurl();
  WQLibCurl(const WQLibCurl&) = delete;
  WQLibCurl& operator=(const WQLibCurl&) = delete;

  // Prepares the client for a session; may be called again for a new login.
  // `header` (may be null) is the first entry of the request header list.
  // `keepAlive`: keep the connection open between requests, with TCP keep-alive probes.
  // `failOnHttpError`: a status outside 2xx makes the send fail.
  // `writeCallback`: null keeps each response body for GetHttpResponse; otherwise the
  // body goes to the callback, whose last argument is this client.
  // Reads WQOSDK_CONNECT_TIMEOUT, WQOSDK_REQUEST_TIMEOUT (seconds) and the CA bundle:
  // WQOSDK_CA_FILE, else "openshift-ca.crt" in the base directory when present.
  bool WQLibCurlInit(const char* header, bool keepAlive, bool failOnHttpError,
                     WriteCallback writeCallback);

  // Empties the header list, Basic credentials included.
  void WQLibCurlFreeHttpHeaderList();
  bool WQLibCurlAppendHeader(_http_hdr_type_ kind, const char* text);

  // True when the request completed with a 2xx status. Redirects are not followed: a
  // 3xx is a failed send whose status and Location stay readable.
  // `verbose`: libcurl's progress notes (never headers or data) go to the log at level 3.
  // `customMethod`: replaces the method's verb when not null.
  bool WQLibCurlSendHttpReq(HTTP_REQ_TYPE type, const char* url, const void* body, size_t length,
                            bool verbose, const char* customMethod);

  // The last response body, or null when the last request received none. With
  // `errorText` the transport's error description of the last request is returned instead.
  const char* GetHttpResponse(size_t& length, bool errorText);
  // The named header of the last response (case-insensitive name); empty when absent.
  const char* GetHttpResponseHeader(const char* name);
  // The status code of the last response; 0 when none was received.
  int GetHttpErrorCode() const;

  // Used by the libcurl callbacks.
  void AppendBody(const char* data, size_t length);
  void AppendHeaderLine(const char* data, size_t length);
  void LogTransportNote(const char* data, size_t length) const;

 private:
  bool ConfigureHandle();
  bool ConfigureTls();
  bool SetMethod(HTTP_REQ_TYPE type, const void* body, size_t length, const char* customMethod);
  void ResetLastResponse();
  void ClearCredentials();

  // Frees a libcurl easy handle (a CURL*, kept opaque so that users of this header need no
  // libcurl headers).
  struct EasyCleanup {
    void operator()(void* handle) const;
  };
  std::unique_ptr<void, EasyCleanup> curl_;
  std::string initHeader_;
  std::vector<std::string> headers_;
  std::string credentials_;  // "user:password" for Basic authentication; wiped when freed
  bool keepAlive_;
  bool failOnHttpError_;
  WriteCallback writeCallback_;
  std::string caFile_;  // empty: the server certificate is not verified

  bool haveBody_;
  std::string body_;
  std::vector<std::pair<std::string, std::string>> responseHeaders_;
  std::string headerValue_;
  int status_;
  char errorBuffer_[256];
  std::string errorText_;
};

}  // namespace OpenShiftSDKWrapper
