#pragma once
// Fixture for the query, mutation and export tests: the query and operations
// objects over a real HTTPS connection to the scripted test server, the log
// captured, and sleeping replaced by a recorder.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "connection/openshiftConnection.h"
#include "host/debugLog.h"
#include "host/process.h"
#include "operations/openshiftOperations.h"
#include "parser/openshiftParser.h"
#include "queries/openshiftQueries.h"
#include "simulator/testServer.h"
#include "tests/testing/testSupport.h"

namespace resttest {

using OpenShiftSDKWrapper::LogLine;

const char* const kToken = "rest-test-token-0123456789";

// A fixture document of tests/data/fixtures, as bytes.
inline std::string Fixture(const std::string& name) {
  return wqtest::ReadFile(std::string(WQ_FIXTURE_DIR) + "/" + name);
}

// A list object whose items are the given fixture documents, in order.
inline std::string ListOf(const std::string& kind, const std::vector<std::string>& fixtures) {
  std::string text = "{\"kind\":\"" + kind + "\",\"apiVersion\":\"v1\",\"metadata\":{},\"items\":[";
  for (size_t i = 0; i < fixtures.size(); ++i) text += (i ? "," : "") + Fixture(fixtures[i]);
  return text + "]}";
}

using wqtest::Sleep;

class RestTest : public ::testing::Test, public wqtest::LogCapture, public wqtest::SleepRecorder {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.path().empty());
    // Logins also run the command-line client; nothing here needs it to run.
    OpenShiftSDKWrapper::WqProcess::SetRunner(wqtest::SweepRunner(
        [](const OpenShiftSDKWrapper::ProcessRequest&, std::string&, std::string&) { return 0; }));
    server_.AddServiceAccountToken(kToken);
    ASSERT_TRUE(server_.Start());
    // Real certificate checking against the server's own certificate.
    const std::string trust = scratch_.path() + "/trust.pem";
    ASSERT_TRUE(server_.WriteTrustPem(trust));
    caFile_ = std::make_unique<wqtest::ScopedEnv>("WQOSDK_CA_FILE", trust.c_str());
  }

  void TearDown() override {
    OpenShiftSDKWrapper::WqProcess::SetRunner(wqtest::SweepRunner(nullptr));
  }

  // Logs in and forgets the login's own log lines and requests.
  void Login() {
    ASSERT_TRUE(connection_.connectServiceAccount(
        server_.BaseUrl(), "backup", kToken,
        std::map<std::string, OpenShiftSDKWrapper::SSshLoginCreds>()));
    lines_.clear();
    server_.ClearRequests();
  }

  // "METHOD target" of every request the server received, in order.
  std::vector<std::string> Sent() const {
    std::vector<std::string> sent;
    for (const wqsim::RecordedRequest& request : server_.Requests()) {
      sent.push_back(request.method + " " + request.target);
    }
    return sent;
  }

  wqtest::TempDir scratch_;
  wqtest::ScopedEnv connectTimeout_{"WQOSDK_CONNECT_TIMEOUT", "5"};
  wqtest::ScopedEnv requestTimeout_{"WQOSDK_REQUEST_TIMEOUT", "20"};
  wqtest::ScopedEnv defaultPolls_{"WQOSDK_WAIT_POLLS", nullptr};
  std::unique_ptr<wqtest::ScopedEnv> caFile_;
  wqsim::TestServer server_;

  OpenShiftSDKWrapper::WQOpenShiftConnection connection_;
  OpenShiftSDKWrapper::WQOpenShiftParser parser_;
  OpenShiftSDKWrapper::WQOpenShiftQueries queries_{&connection_, &parser_};
  OpenShiftSDKWrapper::WQOpenShiftOperations operations_{&connection_, &parser_, &queries_};
};

}  // namespace resttest
