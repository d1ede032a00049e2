#pragma once
// Shared by the tests that run inside sandbox/wq-sandbox: the sandbox's nodes, users, keys
// and fault control, credentials built from them, and a connection holding those
// credentials with the log captured.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "connection/openshiftConnection.h"
#include "host/debugLog.h"
#include "host/process.h"
#include "tests/host/hostTestUtil.h"

namespace sandboxtest {

using OpenShiftSDKWrapper::LogLine;
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

inline SSshLoginCreds PasswordLogin() { return {Env("WQSANDBOX_USER"), Env("WQSANDBOX_PASSWORD"), "", ""}; }

// A key login with the key file named by the environment variable `keyVariable`.
inline SSshLoginCreds KeyLogin(const char* keyVariable, const std::string& passphrase = "") {
  return {Env("WQSANDBOX_USER"), "", hosttest::ReadFile(Env(keyVariable)), passphrase};
}

inline Credentials AllNodes(const SSshLoginCreds& creds) {
  Credentials map;
  for (const std::string& node : Nodes()) map[node] = creds;
  return map;
}

// A connection whose login stored `credentials`; the login itself reaches no cluster and
// runs no command-line client (no base directory is configured).
class SandboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!InSandbox()) GTEST_SKIP() << "runs inside sandbox/wq-sandbox only";
    OpenShiftSDKWrapper::DebugLog::SetSink([this](const LogLine& line) { lines_.push_back(line); });
  }

  void TearDown() override {
    OpenShiftSDKWrapper::DebugLog::SetSink(nullptr);
    if (InSandbox()) Fault("clear");
  }

  void Login(const Credentials& credentials) {
    ASSERT_TRUE(connection_.connectServiceAccount("https://127.0.0.1:9", "sandbox", "token",
                                                  credentials));
    lines_.clear();
  }

  bool Logged(const std::string& level, const std::string& message) const {
    return std::any_of(lines_.begin(), lines_.end(), [&](const LogLine& line) {
      return line.level == level && line.message == message;
    });
  }

  // Messages of the lines that contain `text`, in order.
  std::vector<std::string> MessagesWith(const std::string& text) const {
    std::vector<std::string> found;
    for (const LogLine& line : lines_) {
      if (line.message.find(text) != std::string::npos) found.push_back(line.message);
    }
    return found;
  }

  hosttest::ScopedEnv noBase_{"dBASEHOME", nullptr};
  hosttest::ScopedEnv noConfig_{"WQOSDK_PLATFORM_CONFIG", "/nonexistent/wqosdk-platform.ini"};
  hosttest::ScopedEnv noKnownHosts_{"WQOSDK_KNOWN_HOSTS", nullptr};
  std::vector<LogLine> lines_;
  OpenShiftSDKWrapper::WQOpenShiftConnection connection_;
};

}  // namespace sandboxtest
