#include "host/luIPAddr.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <cerrno>
#include <cstring>

namespace OpenShiftSDKWrapper {

CLuError CLuIPAddr::GetByName(const std::string& host, CLuIPAddr* address, int family) {
  if (address == nullptr) return CLuError::FromErrno(EINVAL, "resolve " + host);
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* results = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &results);
  if (rc != 0) {
    if (rc == EAI_SYSTEM) return CLuError::FromErrno(errno, "resolve " + host);
    return CLuError::Message("resolve " + host + ": " + ::gai_strerror(rc));
  }
  const addrinfo* chosen = results;
  if (family == AF_UNSPEC) {
    for (const addrinfo* r = results; r != nullptr; r = r->ai_next) {
      if (r->ai_family == AF_INET) {
        chosen = r;
        break;
      }
    }
  }
  CLuError result = CLuError::Success();
  if (chosen == nullptr || chosen->ai_addrlen > sizeof address->storage_) {
    result = CLuError::Message("resolve " + host + ": no usable address");
  } else {
    address->storage_ = sockaddr_storage{};
    std::memcpy(&address->storage_, chosen->ai_addr, chosen->ai_addrlen);
    address->length_ = chosen->ai_addrlen;
  }
  ::freeaddrinfo(results);
  return result;
}

CLuError CLuIPAddr::GetAddressString(CLuString* text) const {
  if (text == nullptr || length_ == 0) return CLuError::Message("no address resolved");
  char buffer[INET6_ADDRSTRLEN] = {0};
  const void* raw = nullptr;
  if (storage_.ss_family == AF_INET) {
    raw = &reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr;
  } else if (storage_.ss_family == AF_INET6) {
    raw = &reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_addr;
  } else {
    return CLuError::FromErrno(EAFNOSUPPORT, "address text");
  }
  if (::inet_ntop(storage_.ss_family, raw, buffer, sizeof buffer) == nullptr) {
    return CLuError::FromErrno(errno, "address text");
  }
  *text = CLuString(buffer);
  return CLuError::Success();
}

socklen_t CLuIPAddr::SocketAddress(unsigned short port, sockaddr_storage* out) const {
  if (out == nullptr || length_ == 0) return 0;
  *out = storage_;
  if (storage_.ss_family == AF_INET) {
    reinterpret_cast<sockaddr_in*>(out)->sin_port = htons(port);
  } else if (storage_.ss_family == AF_INET6) {
    reinterpret_cast<sockaddr_in6*>(out)->sin6_port = htons(port);
  }
  return length_;
}

}  // namespace OpenShiftSDKWrapper
