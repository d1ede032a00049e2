#pragma once
// One logged-in facade for a command, and the storage nodes it may need SSH credentials for.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tools/wqosctl/secrets.h"
#include "wrapper/openshiftWrapper.h"

namespace wqosctl {

class Session {
 public:
  Session(std::string server, Credentials credentials);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Logs in; on false `error` says why.
  bool Open(std::string& error);
  // Gives the default node credentials to `addresses` (those without credentials of their
  // own) and logs in again when that added any. Without default credentials nothing changes.
  // The addresses come from the cluster (or a manifest), which others may edit: a node whose
  // host key the known_hosts file does not list gets no credentials, unless trusted with
  // TrustEndpointNodes; false with `error` naming it and its key's fingerprint.
  bool AddNodes(const std::vector<std::string>& addresses, std::string& error);
  void TrustEndpointNodes(bool trust) { trustEndpointNodes_ = trust; }
  // A second session with the same server and credentials (nodes added so far included),
  // logged in: a facade serves one thread at a time, so each worker thread takes its own.
  // Null with `error` saying why when the login fails.
  std::unique_ptr<Session> Another(std::string& error) const;

  OpenShiftSDKWrapper::WQOpenShiftSDKWrapper& Sdk() { return sdk_; }
  const std::string& Server() const { return server_; }
  const Credentials& GetCredentials() const { return credentials_; }
  // A second connection, logged in as the facade is, for the plain REST requests the facade
  // has no member for; opened on first use. Null with `error` when the login fails.
  OpenShiftSDKWrapper::WQOpenShiftConnection* Rest(std::string& error);

 private:
  bool Login(std::string& error);

  std::string server_;
  Credentials credentials_;
  bool trustEndpointNodes_ = false;
  OpenShiftSDKWrapper::WQOpenShiftSDKWrapper sdk_;
  std::unique_ptr<OpenShiftSDKWrapper::WQOpenShiftConnection> rest_;
};

// The storage node addresses behind a persistent volume: the addresses of its GlusterFS
// endpoints (in the claim's namespace). Empty when the volume or its endpoints cannot be read.
std::vector<std::string> VolumeNodes(OpenShiftSDKWrapper::WQOpenShiftSDKWrapper& sdk,
                                     const std::string& nameSpace, const std::string& volume);
// The same for every claim of the namespace, without repeats.
std::vector<std::string> NamespaceNodes(OpenShiftSDKWrapper::WQOpenShiftSDKWrapper& sdk,
                                        const std::string& nameSpace);

}  // namespace wqosctl
