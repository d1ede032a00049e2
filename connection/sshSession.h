#pragma once
// What the SSH code of the connection holds: one authenticated session with its socket
// (SshLink) and the sessions kept per node while connection reuse is on (SshSessionPool).
// Each frees what it holds when it goes, on every path.
#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "connection/openshiftConnection.h"

namespace OpenShiftSDKWrapper {

// One TCP connection, its libssh2 session and the library's global state it needs.
class SshLink {
 public:
  SshLink() = default;
  ~SshLink();
  SshLink(const SshLink&) = delete;
  SshLink& operator=(const SshLink&) = delete;

  // Takes the library's global state: 0, else the code of the failed initialisation.
  int AcquireLibrary();
  // Hands the session and the socket to the caller, who frees them; the link is then empty.
  void Release(LIBSSH2_SESSION*& session, int& sock);
  // False when the node has closed the connection (seen without blocking or sending).
  bool PeerStillOpen() const;

  LIBSSH2_SESSION* session = nullptr;
  int sock = -1;
  // Set by a transport error: the session must not be used again.
  bool broken = false;

 private:
  bool libraryHeld_ = false;
};

class SshSessionPool {
 public:
  using Clock = std::chrono::steady_clock;
  struct Kept {
    std::unique_ptr<SshLink> link;
    Clock::time_point lastUsed;
    bool hasPrefix = false;
    std::string prefix;  // the node's GlusterFS container prefix, looked up on this link
  };
  std::map<std::string, Kept> kept;
};

}  // namespace OpenShiftSDKWrapper
