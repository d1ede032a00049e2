// The SSH sessions kept per node while connection reuse is on, and what is remembered with
// them. Nothing runs in the background: each command first closes the sessions that have
// been idle for longer than the limit.
#include <algorithm>
#include <chrono>

#include "connection/logContexts.h"
#include "connection/openshiftConnection.h"
#include "connection/sshSession.h"
#include "host/settings.h"

namespace OpenShiftSDKWrapper {

namespace {

const char* const kIdleSetting = "WQOSDK_SSH_IDLE_SECONDS";
// docker's answer when the container named to "docker exec" does not exist (any more).
const char* const kNoSuchContainer = "No such container";

// Closes the kept sessions that have been idle for longer than `idleSeconds` at `now`.
void CloseIdleLinks(const DebugLog& log, std::map<std::string, SshSessionPool::Kept>& kept,
                    SshSessionPool::Clock::time_point now, long idleSeconds) {
  for (auto entry = kept.begin(); entry != kept.end();) {
    const auto idle = now - entry->second.lastUsed;
    if (idle <= std::chrono::seconds(idleSeconds)) {
      ++entry;
      continue;
    }
    log.DebugLvl(ConnectionContexts::kCloseSshSessionTrace, 0,
                 "SSH session to [%s] idle for %ld seconds, closed", entry->first.c_str(),
                 static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(idle).count()));
    entry = kept.erase(entry);
  }
}

}  // namespace

void SshSessionPoolDeleter::operator()(SshSessionPool* pool) const { delete pool; }

void WQOpenShiftConnection::setSshIdleSeconds(long seconds) {
  explicitIdleSeconds = seconds > 0 ? seconds : 0;
}

long WQOpenShiftConnection::sshIdleSeconds() const {
  if (explicitIdleSeconds > 0) return explicitIdleSeconds;
  const long fromEnvironment = Settings::GetInteger(kIdleSetting, 0);
  return fromEnvironment > 0 ? fromEnvironment : 0;
}

bool WQOpenShiftConnection::openNodeSession(const std::string& host) {
  if (sshIdleSeconds() <= 0) return false;
  bool reused = false;
  return keptLink(host, reused) != nullptr;
}

void WQOpenShiftConnection::closeNodeSessions() {
  if (!sshPool || sshPool->kept.empty()) return;
  for (auto& entry : sshPool->kept) {
    entry.second.link.reset();
    DebugLvl(ConnectionContexts::kCloseSshSessionTrace, 0, "SSH session to [%s] closed",
             entry.first.c_str());
  }
  sshPool->kept.clear();
}

size_t WQOpenShiftConnection::keptNodeSessions() const {
  return sshPool ? sshPool->kept.size() : 0;
}

SshLink* WQOpenShiftConnection::keptLink(const std::string& host, bool& reused) {
  reused = false;
  const long idleSeconds = sshIdleSeconds();
  if (idleSeconds <= 0) return nullptr;
  if (!sshPool) sshPool.reset(new SshSessionPool);
  auto& kept = sshPool->kept;
  const auto now = SshSessionPool::Clock::now();
  CloseIdleLinks(*this, kept, now, idleSeconds);
  const auto found = kept.find(host);
  if (found != kept.end() && !found->second.link->PeerStillOpen()) {
    dropKeptLink(host, "closed by the node");
  } else if (found != kept.end()) {
    found->second.lastUsed = now;
    reused = true;
    DebugLvl(ConnectionContexts::kOpenSshSessionTrace, 2, "SSH session to [%s] reused",
             host.c_str());
    return found->second.link.get();
  }
  std::unique_ptr<SshLink> link = openLink(host);
  if (!link) return nullptr;
  SshSessionPool::Kept& entry = kept[host];
  entry.link = std::move(link);
  entry.lastUsed = SshSessionPool::Clock::now();
  return entry.link.get();
}

void WQOpenShiftConnection::dropKeptLink(const std::string& host, const char* why) {
  if (!sshPool) return;
  const auto found = sshPool->kept.find(host);
  if (found == sshPool->kept.end()) return;
  sshPool->kept.erase(found);
  DebugLvl(ConnectionContexts::kCloseSshSessionTrace, 0, "SSH session to [%s] closed: %s",
           host.c_str(), why);
}

bool WQOpenShiftConnection::keptContainerPrefix(const std::string& host,
                                                std::string& prefix) const {
  if (!sshPool || sshIdleSeconds() <= 0) return false;
  const auto found = sshPool->kept.find(host);
  if (found == sshPool->kept.end() || !found->second.hasPrefix) return false;
  prefix = found->second.prefix;
  return true;
}

void WQOpenShiftConnection::keepContainerPrefix(const std::string& host,
                                                const std::string& prefix) {
  if (!sshPool) return;
  const auto found = sshPool->kept.find(host);
  if (found == sshPool->kept.end()) return;
  found->second.hasPrefix = true;
  found->second.prefix = prefix;
}

bool WQOpenShiftConnection::forgetGoneContainerPrefix(const std::string& host,
                                                      const std::string& err) {
  if (err.find(kNoSuchContainer) == std::string::npos || !sshPool) return false;
  const auto found = sshPool->kept.find(host);
  if (found == sshPool->kept.end() || !found->second.hasPrefix) return false;
  found->second.hasPrefix = false;
  found->second.prefix.clear();
  DebugLvl(ConnectionContexts::kExecuteRemoteCommandTrace, 2,
           "Container of [%s] is gone; looking it up again", host.c_str());
  return true;
}

}  // namespace OpenShiftSDKWrapper
