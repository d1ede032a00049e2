#pragma once
// libcurl handles held by objects that free them when they go: an easy handle and a request
// header list.
#include <curl/curl.h>

#include <memory>

namespace OpenShiftSDKWrapper {

struct CurlEasyCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;

struct CurlListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHeaderList = std::unique_ptr<curl_slist, CurlListFree>;

// Appends one header line; false when libcurl runs out of memory, the list then as it was
// and still held.
inline bool AppendCurlHeader(CurlHeaderList& list, const char* line) {
  curl_slist* const grown = curl_slist_append(list.get(), line);
  if (grown == nullptr) return false;
  static_cast<void>(list.release());
  list.reset(grown);
  return true;
}

}  // namespace OpenShiftSDKWrapper
