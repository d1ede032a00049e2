#pragma once
// Test seam beside the log sink, the process runner and the sleep hook: while an observer is
// set, the connection tells it of every call it is about to make to a peer. Production sets
// none; observing changes nothing the library does.
#include <functional>
#include <string>

namespace OpenShiftSDKWrapper {

enum class PeerCall {
  Request,        // a REST request: "METHOD URL"
  SshSession,     // a new SSH session: the host
  RemoteCommand,  // a command for a storage node, before its session is taken: the command
};

using CallObserver = std::function<void(PeerCall call, const std::string& what)>;

// Null removes the observer. It runs on the caller's thread, before the call.
void SetCallObserver(CallObserver observer);
void ObserveCall(PeerCall call, const std::string& what);

}  // namespace OpenShiftSDKWrapper
