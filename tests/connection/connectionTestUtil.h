#pragma once
// Fixture for the connection tests: a running test server, a scratch base directory,
// settings pointed at both, the log captured and the process runner replaced.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "connection/logContexts.h"
#include "connection/openshiftConnection.h"
#include "host/debugLog.h"
#include "host/process.h"
#include "simulator/testServer.h"
#include "tests/host/hostTestUtil.h"

namespace conntest {

using OpenShiftSDKWrapper::LogLine;
using OpenShiftSDKWrapper::ProcessRequest;

const char* const kUser = "developer";
const char* const kPassword = "s3cret!pw";
const char* const kServiceAccountToken = "sa-token-1234567890";
const char* const kSendReqContext = OpenShiftSDKWrapper::ConnectionContexts::kSendReq;
const char* const kRenewTokenContext = OpenShiftSDKWrapper::ConnectionContexts::kRenewToken;
const char* const kConnectContext = OpenShiftSDKWrapper::ConnectionContexts::kConnect;
const char* const kConnectServiceAccountContext =
    OpenShiftSDKWrapper::ConnectionContexts::kConnectServiceAccount;

using NoNodes = std::map<std::string, OpenShiftSDKWrapper::SSshLoginCreds>;

class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(base_.path().empty());
    OpenShiftSDKWrapper::DebugLog::SetSink([this](const LogLine& line) { lines_.push_back(line); });
    OpenShiftSDKWrapper::WqProcess::SetRunner(
        [this](const ProcessRequest& request, std::string& out, std::string& err) {
          commands_.push_back(request);
          out = runnerOut_;
          err = runnerErr_;
          return runnerResult_;
        });
    server_.AddUser(kUser, kPassword);
    server_.AddServiceAccountToken(kServiceAccountToken);
    ASSERT_TRUE(server_.Start(serverOptions_));
  }

  void TearDown() override {
    OpenShiftSDKWrapper::WqProcess::SetRunner(nullptr);
    OpenShiftSDKWrapper::DebugLog::SetSink(nullptr);
  }

  bool LoginServiceAccount(OpenShiftSDKWrapper::WQOpenShiftConnection& connection) {
    return connection.connectServiceAccount(server_.BaseUrl(), "builder", kServiceAccountToken,
                                            NoNodes());
  }

  // Log lines whose message contains `text`, optionally only of one level.
  std::vector<LogLine> LinesWith(const std::string& text, const std::string& level = "") const {
    std::vector<LogLine> found;
    for (const LogLine& line : lines_) {
      if (line.message.find(text) != std::string::npos && (level.empty() || line.level == level)) {
        found.push_back(line);
      }
    }
    return found;
  }

  bool HasLine(const std::string& level, const std::string& context,
               const std::string& message) const {
    return std::any_of(lines_.begin(), lines_.end(), [&](const LogLine& line) {
      return line.level == level && line.context == context && line.message == message;
    });
  }

  // True when `secret` appears in no log line, neither in a message nor in a context.
  bool NeverLogged(const std::string& secret) const {
    return std::none_of(lines_.begin(), lines_.end(), [&](const LogLine& line) {
      return line.message.find(secret) != std::string::npos ||
             line.context.find(secret) != std::string::npos;
    });
  }

  static double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  hosttest::TempDir base_;
  hosttest::ScopedEnv baseEnv_{"dBASEHOME", base_.path().c_str()};
  hosttest::ScopedEnv noConfig_{"WQOSDK_PLATFORM_CONFIG", "/nonexistent/wqosdk-platform.ini"};
  hosttest::ScopedEnv noCaFile_{"WQOSDK_CA_FILE", nullptr};
  hosttest::ScopedEnv connectTimeout_{"WQOSDK_CONNECT_TIMEOUT", "5"};
  hosttest::ScopedEnv requestTimeout_{"WQOSDK_REQUEST_TIMEOUT", "20"};
  hosttest::ScopedEnv noPassword_{"OCPASSWD", nullptr};

  wqsim::ServerOptions serverOptions_;
  wqsim::TestServer server_;
  std::vector<LogLine> lines_;
  std::vector<ProcessRequest> commands_;
  int runnerResult_ = 0;
  std::string runnerOut_;
  std::string runnerErr_;
};

}  // namespace conntest
