#pragma once
// Fixture for the connection tests: a running test server, a scratch base directory,
// settings pointed at both, the log captured and the process runner replaced.
#include <gtest/gtest.h>

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
#include "tests/testing/testSupport.h"

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

class ConnectionTest : public ::testing::Test, public wqtest::LogCapture {
 protected:
  void SetUp() override {
    ASSERT_FALSE(base_.path().empty());
    OpenShiftSDKWrapper::WqProcess::SetRunner(wqtest::SweepRunner(
        [this](const ProcessRequest& request, std::string& out, std::string& err) {
          commands_.push_back(request);
          out = runnerOut_;
          err = runnerErr_;
          return runnerResult_;
        }));
    server_.AddUser(kUser, kPassword);
    server_.AddServiceAccountToken(kServiceAccountToken);
    ASSERT_TRUE(server_.Start(serverOptions_));
  }

  void TearDown() override {
    OpenShiftSDKWrapper::WqProcess::SetRunner(wqtest::SweepRunner(nullptr));
  }

  bool LoginServiceAccount(OpenShiftSDKWrapper::WQOpenShiftConnection& connection) {
    return connection.connectServiceAccount(server_.BaseUrl(), "builder", kServiceAccountToken,
                                            NoNodes());
  }

  static double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  wqtest::TempDir base_;
  wqtest::ScopedEnv baseEnv_{"dBASEHOME", base_.path().c_str()};
  wqtest::ScopedEnv noConfig_{"WQOSDK_PLATFORM_CONFIG", "/nonexistent/wqosdk-platform.ini"};
  wqtest::ScopedEnv noCaFile_{"WQOSDK_CA_FILE", nullptr};
  wqtest::ScopedEnv connectTimeout_{"WQOSDK_CONNECT_TIMEOUT", "5"};
  wqtest::ScopedEnv requestTimeout_{"WQOSDK_REQUEST_TIMEOUT", "20"};
  wqtest::ScopedEnv noPassword_{"OCPASSWD", nullptr};

  wqsim::ServerOptions serverOptions_;
  wqsim::TestServer server_;
  std::vector<ProcessRequest> commands_;
  int runnerResult_ = 0;
  std::string runnerOut_;
  std::string runnerErr_;
};

}  // namespace conntest
