#include "tools/wqosctl/session.h"

#include <algorithm>
#include <sstream>

#include "connection/sshKeys.h"
#include "host/process.h"
#include "host/safeFiles.h"

namespace wqosctl {

using namespace OpenShiftSDKWrapper;

Session::Session(std::string server, Credentials credentials)
    : server_(std::move(server)), credentials_(std::move(credentials)) {}

bool Session::Open(std::string& error) { return Login(error); }

std::unique_ptr<Session> Session::Another(std::string& error) const {
  std::unique_ptr<Session> another(new Session(server_, credentials_));
  another->trustEndpointNodes_ = trustEndpointNodes_;
  if (!another->Open(error)) another.reset();
  return another;
}

bool Session::Login(std::string& error) {
  bool ok;
  if (!credentials_.serviceAccount.empty()) {
    ok = sdk_.ConnectServiceAccount(server_, credentials_.serviceAccount, credentials_.token,
                                    credentials_.nodes);
  } else {
    ok = sdk_.Connect(server_, credentials_.user, credentials_.password, credentials_.nodes);
  }
  if (!ok) {
    error =
        "login to " + server_ + " as " +
        (credentials_.serviceAccount.empty() ? credentials_.user : credentials_.serviceAccount) +
        " failed";
    return false;
  }
  // A service-account login succeeds without asking the cluster: one read shows whether the
  // cluster is there and takes the token.
  if (!credentials_.serviceAccount.empty()) {
    std::vector<SProjectInfoLib> projects;
    if (!sdk_.GetProjectInfoList(projects, 0)) {
      error = "the cluster at " + server_ + " refused the token of service account " +
              credentials_.serviceAccount + " or cannot be reached";
      return false;
    }
  }
  return true;
}

WQOpenShiftConnection* Session::Rest(std::string& error) {
  if (rest_) return rest_.get();
  auto connection = std::make_unique<WQOpenShiftConnection>();
  const bool ok = credentials_.serviceAccount.empty()
                      ? connection->connect(server_, credentials_.user, credentials_.password, {})
                      : connection->connectServiceAccount(server_, credentials_.serviceAccount,
                                                          credentials_.token, {});
  if (!ok) {
    error = "a second login to " + server_ + " failed";
    return nullptr;
  }
  rest_ = std::move(connection);
  return rest_.get();
}

namespace {

// The SHA-256 fingerprints of the host keys a node shows, read without logging in.
std::string HostKeyFingerprints(const std::string& address) {
  for (const char c : address) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != ':' && c != '-') {
      return "unknown";
    }
  }
  if (address.empty() || address[0] == '-') return "unknown";
  std::string out;
  std::string err;
  WqProcess::system("ssh-keyscan -T 5 '" + address + "' 2>/dev/null | ssh-keygen -lf -", out, err,
                    0, false);
  std::istringstream lines(out);
  std::string found;
  for (std::string bits, print, rest; lines >> bits >> print && std::getline(lines, rest);) {
    if (print.rfind("SHA256:", 0) == 0) found += (found.empty() ? "" : ", ") + print;
  }
  return found.empty() ? "unknown" : found;
}

}  // namespace

bool Session::AddNodes(const std::vector<std::string>& addresses, std::string& error) {
  if (!credentials_.hasNodeDefault) return true;
  const std::string knownHostsPath = SshKeys::KnownHostsPath();
  std::string knownHosts;
  if (!knownHostsPath.empty()) {
    // Missing or unreadable: no node is listed, and the refusal below says which file it was.
    std::string unread;
    if (!ReadRegularFile(knownHostsPath, kObjectFileReadLimit, knownHosts, unread))
      knownHosts.clear();
  }
  bool added = false;
  for (const std::string& address : addresses) {
    if (credentials_.nodes.count(address) != 0) continue;
    if (!trustEndpointNodes_ && SshKeys::KnownKeyAlgorithms(knownHosts, address).empty()) {
      error = "refusing to send the default node login to " + address + " (host key " +
              HostKeyFingerprints(address) + "): " +
              (knownHostsPath.empty() ? "no known_hosts file is in use"
                                      : "it is not listed in " + knownHostsPath) +
              "; name it with --node " + address + " or give --trust-endpoint-nodes";
      return false;
    }
    credentials_.nodes[address] = credentials_.nodeDefault;
    added = true;
  }
  return !added || Login(error);
}

std::vector<std::string> VolumeNodes(WQOpenShiftSDKWrapper& sdk, const std::string& nameSpace,
                                     const std::string& volume) {
  std::vector<std::string> nodes;
  SPersistentVolumeInfoLib pv;
  if (volume.empty() || !sdk.GetPersistentVolumeInfo(volume, pv, 0)) return nodes;
  SEndpointsInfoLib endpoints;
  const std::string& name = pv.spec.glusterfs.endpoints;
  if (name.empty() || !sdk.GetEndpointsInfo(nameSpace, name, endpoints, 0)) return nodes;
  for (const SEndpointSubsetInfoLib& subset : endpoints.subsets) {
    for (const SEndpointAddressInfoLib& address : subset.addresses) {
      if (std::find(nodes.begin(), nodes.end(), address.ip) == nodes.end()) {
        nodes.push_back(address.ip);
      }
    }
  }
  return nodes;
}

std::vector<std::string> NamespaceNodes(WQOpenShiftSDKWrapper& sdk, const std::string& nameSpace) {
  std::vector<std::string> nodes;
  std::vector<SPersistentVolumeClaimInfoLib> claims;
  if (!sdk.GetPersistentVolumeClaimInfoList(nameSpace, claims, 0)) return nodes;
  for (const SPersistentVolumeClaimInfoLib& claim : claims) {
    for (const std::string& node : VolumeNodes(sdk, nameSpace, claim.spec.volumeName)) {
      if (std::find(nodes.begin(), nodes.end(), node) == nodes.end()) nodes.push_back(node);
    }
  }
  return nodes;
}

}  // namespace wqosctl
