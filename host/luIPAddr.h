#pragma once
// Address resolution.
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

#include "host/luFile.h"

namespace OpenShiftSDKWrapper {

class CLuIPAddr {
 public:
  // Resolves a host name or an address literal with getaddrinfo; `family` is AF_INET,
  // AF_INET6 or AF_UNSPEC (0). The first result is kept, except that AF_UNSPEC prefers
  // the first IPv4 result: callers hand the text to inet_addr.
  static CLuError GetByName(const std::string& host, CLuIPAddr* address, int family);
  // Dotted (or colon) text of the resolved address.
  CLuError GetAddressString(CLuString* text) const;
  int Family() const { return static_cast<int>(storage_.ss_family); }
  // The address with `port` set, ready for connect(2).
  socklen_t SocketAddress(unsigned short port, sockaddr_storage* out) const;

 private:
  sockaddr_storage storage_{};
  socklen_t length_ = 0;
};

}  // namespace OpenShiftSDKWrapper
