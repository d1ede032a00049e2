#pragma once
// What the SSH code of the connection holds: one authenticated session with its socket
// (SshLink) and the sessions kept per node while connection reuse is on (SshSessionPool).
// Each frees what it holds when it goes, on every path.
#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "connection/openshiftConnection.h"
#include "host/uniqueFd.h"

namespace OpenShiftSDKWrapper {

// One TCP connection, its libssh2 session and the library's global state it needs. The link
// owns all three and frees them when it goes, the session before the socket it talks over
// and both before the library they use; nothing else frees them.
class SshLink {
 public:
  SshLink() = default;
  ~SshLink();

  // The three steps of a new link, in this order; each false (or the failed
  // initialisation's code) when it fails, leaving the link to free what it holds.
  int AcquireLibrary();
  bool InitSession();
  bool OpenSocket();
  // Takes back what Release handed out (closeSSHSession), the library use included.
  void Adopt(LIBSSH2_SESSION* session, int sock);
  // Hands the session, the socket and the library use to the caller, who gives them back
  // through closeSSHSession; the link is then empty.
  void Release(LIBSSH2_SESSION*& session, int& sock);
  // False when the node has closed the connection (seen without blocking or sending).
  bool PeerStillOpen() const;

  LIBSSH2_SESSION* Session() const { return session_.get(); }
  int Sock() const { return sock_.Get(); }

  // Set by a transport error: the session must not be used again.
  bool broken = false;

 private:
  // Frees a session and any channel still open on it, with a bounded wait.
  struct SessionFree {
    void operator()(LIBSSH2_SESSION* session) const;
  };

  bool libraryHeld_ = false;
  UniqueFd sock_;
  std::unique_ptr<LIBSSH2_SESSION, SessionFree> session_;
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
