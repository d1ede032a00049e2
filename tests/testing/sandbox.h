#pragma once
// Shared by the tests that run inside sandbox/wq-sandbox: the sandbox's nodes, users, keys
// and fault control, credentials built from them, a connection holding those credentials
// with the log captured, and the scripted HTTPS server the library trusts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "connection/openshiftConnection.h"
#include "host/debugLog.h"
#include "host/process.h"
#include "simulator/testServer.h"
#include "tests/testing/testSupport.h"

namespace wqtest {

using OpenShiftSDKWrapper::SSshLoginCreds;
using Credentials = std::map<std::string, SSshLoginCreds>;

inline std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

inline bool InSandbox() { return !Env("WQSANDBOX_NODES").empty(); }

inline std::vector<std::string> Nodes() {
  std::vector<std::string> nodes;
  std::istringstream in(Env("WQSANDBOX_NODES"));
  for (std::string node; in >> node;) nodes.push_back(node);
  return nodes;
}

// Runs a shell command line on this machine with the real runner, whatever runner a test
// has installed; the exit status.
inline int Shell(const std::string& command, std::string* out = nullptr,
                 std::string* err = nullptr) {
  std::string o;
  std::string e;
  const int rc = OpenShiftSDKWrapper::WqProcess::RunReal({command, {}}, o, e);
  if (out != nullptr) *out = o;
  if (err != nullptr) *err = e;
  return rc;
}

inline void Fault(const std::string& arguments) {
  std::string err;
  ASSERT_EQ(Shell(Env("WQSANDBOX_FAULT") + " " + arguments, nullptr, &err), 0) << arguments << err;
}

inline SSshLoginCreds PasswordLogin() {
  return {Env("WQSANDBOX_USER"), Env("WQSANDBOX_PASSWORD"), "", ""};
}

// A key login with the key file named by the environment variable `keyVariable`.
inline SSshLoginCreds KeyLogin(const char* keyVariable, const std::string& passphrase = "") {
  return {Env("WQSANDBOX_USER"), "", ReadFile(Env(keyVariable)), passphrase};
}

// Mount points of this mount namespace, in mount order.
inline std::vector<std::string> MountPoints() {
  std::vector<std::string> points;
  std::ifstream in("/proc/self/mountinfo");
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string skip, point;
    fields >> skip >> skip >> skip >> skip >> point;
    points.push_back(point);
  }
  return points;
}

inline bool IsMountPoint(const std::string& path) {
  const std::vector<std::string> points = MountPoints();
  return std::find(points.begin(), points.end(), path) != points.end();
}

inline std::vector<std::string> MountPointsBelow(const std::string& directory) {
  std::vector<std::string> below;
  for (const std::string& point : MountPoints()) {
    if (point.compare(0, directory.size() + 1, directory + "/") == 0) below.push_back(point);
  }
  return below;
}

// Unmounts what is mounted below `directory`, the latest mount first, so that a scratch
// directory can go with what it holds.
inline void UnmountBelow(const std::string& directory) {
  const std::vector<std::string> points = MountPointsBelow(directory);
  for (auto point = points.rbegin(); point != points.rend(); ++point) {
    Shell("umount -l \"" + *point + "\"");
  }
}

inline Credentials AllNodes(const SSshLoginCreds& creds) {
  Credentials map;
  for (const std::string& node : Nodes()) map[node] = creds;
  return map;
}

// A connection whose login stored `credentials`; the login itself reaches no cluster and
// runs no command-line client (no base directory is configured).
class SandboxTest : public ::testing::Test, public LogCapture {
 protected:
  void SetUp() override {
    if (!InSandbox()) GTEST_SKIP() << "runs inside sandbox/wq-sandbox only";
  }

  void TearDown() override {
    if (InSandbox()) Fault("clear");
  }

  void Login(const Credentials& credentials) {
    ASSERT_TRUE(
        connection_.connectServiceAccount("https://127.0.0.1:9", "sandbox", "token", credentials));
    lines_.clear();
  }

  bool Logged(const std::string& level, const std::string& message) const {
    return std::any_of(lines_.begin(), lines_.end(), [&](const LogLine& line) {
      return line.level == level && line.message == message;
    });
  }

  ScopedEnv noBase_{"dBASEHOME", nullptr};
  ScopedEnv noConfig_{"WQOSDK_PLATFORM_CONFIG", "/nonexistent/wqosdk-platform.ini"};
  ScopedEnv noKnownHosts_{"WQOSDK_KNOWN_HOSTS", nullptr};
  OpenShiftSDKWrapper::WQOpenShiftConnection connection_;
};

class TrustedServer {
 public:
  explicit TrustedServer(std::string token) : token_(std::move(token)) {}

  bool Start() {
    server_.AddServiceAccountToken(token_);
    const std::string trust = dir_.path() + "/trust.pem";
    if (dir_.path().empty() || !server_.Start() || !server_.WriteTrustPem(trust)) return false;
    caFile_ = std::make_unique<ScopedEnv>("WQOSDK_CA_FILE", trust.c_str());
    return true;
  }

  const std::string& token() const { return token_; }
  wqsim::TestServer* operator->() { return &server_; }

 private:
  std::string token_;
  TempDir dir_;
  std::unique_ptr<ScopedEnv> caFile_;
  wqsim::TestServer server_;
};

}  // namespace wqtest
