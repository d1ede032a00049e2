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
#include "host/luSleep.h"
#include "host/process.h"
#include "operations/openshiftOperations.h"
#include "parser/openshiftParser.h"
#include "queries/openshiftQueries.h"
#include "simulator/testServer.h"
#include "tests/host/hostTestUtil.h"

namespace resttest {

using OpenShiftSDKWrapper::LogLine;

const char* const kToken = "rest-test-token-0123456789";

// A fixture document of tests/data/fixtures, as bytes.
inline std::string Fixture(const std::string& name) {
  return hosttest::ReadFile(std::string(WQ_FIXTURE_DIR) + "/" + name);
}

// A list object whose items are the given fixture documents, in order.
inline std::string ListOf(const std::string& kind, const std::vector<std::string>& fixtures) {
  std::string text = "{\"kind\":\"" + kind + "\",\"apiVersion\":\"v1\",\"metadata\":{},\"items\":[";
  for (size_t i = 0; i < fixtures.size(); ++i) text += (i ? "," : "") + Fixture(fixtures[i]);
  return text + "]}";
}

struct Sleep {
  unsigned long milliseconds;
  std::string sourceFile;
};

class RestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.path().empty());
    OpenShiftSDKWrapper::DebugLog::SetSink([this](const LogLine& line) { lines_.push_back(line); });
    OpenShiftSDKWrapper::SetSleepHook([this](unsigned long ms, const char* file, int) {
      sleeps_.push_back(Sleep{ms, file});
    });
    // Logins also run the command-line client; nothing here needs it to run.
    OpenShiftSDKWrapper::WqProcess::SetRunner(
        [](const OpenShiftSDKWrapper::ProcessRequest&, std::string&, std::string&) { return 0; });
    server_.AddServiceAccountToken(kToken);
    ASSERT_TRUE(server_.Start());
    // Real certificate checking against the server's own certificate.
    const std::string trust = scratch_.path() + "/trust.pem";
    ASSERT_TRUE(server_.WriteTrustPem(trust));
    caFile_ = std::make_unique<hosttest::ScopedEnv>("WQOSDK_CA_FILE", trust.c_str());
  }

  void TearDown() override {
    OpenShiftSDKWrapper::WqProcess::SetRunner(nullptr);
    OpenShiftSDKWrapper::SetSleepHook(nullptr);
    OpenShiftSDKWrapper::DebugLog::SetSink(nullptr);
  }

  // Logs in and forgets the login's own log lines and requests.
  void Login() {
    ASSERT_TRUE(connection_.connectServiceAccount(server_.BaseUrl(), "backup", kToken,
                                                  std::map<std::string, OpenShiftSDKWrapper::SSshLoginCreds>()));
    lines_.clear();
    server_.ClearRequests();
  }

  // Lines logged under `context`, as "LEVEL message".
  std::vector<std::string> LinesOf(const std::string& context) const {
    std::vector<std::string> found;
    for (const LogLine& line : lines_) {
      if (line.context == context) found.push_back(line.level + " " + line.message);
    }
    return found;
  }

  // "METHOD target" of every request the server received, in order.
  std::vector<std::string> Sent() const {
    std::vector<std::string> sent;
    for (const wqsim::RecordedRequest& request : server_.Requests()) {
      sent.push_back(request.method + " " + request.target);
    }
    return sent;
  }

  hosttest::TempDir scratch_;
  hosttest::ScopedEnv connectTimeout_{"WQOSDK_CONNECT_TIMEOUT", "5"};
  hosttest::ScopedEnv requestTimeout_{"WQOSDK_REQUEST_TIMEOUT", "20"};
  hosttest::ScopedEnv defaultPolls_{"WQOSDK_WAIT_POLLS", nullptr};
  std::unique_ptr<hosttest::ScopedEnv> caFile_;
  wqsim::TestServer server_;
  std::vector<LogLine> lines_;
  std::vector<Sleep> sleeps_;

  OpenShiftSDKWrapper::WQOpenShiftConnection connection_;
  OpenShiftSDKWrapper::WQOpenShiftParser parser_;
  OpenShiftSDKWrapper::WQOpenShiftQueries queries_{&connection_, &parser_};
  OpenShiftSDKWrapper::WQOpenShiftOperations operations_{&connection_, &parser_, &queries_};
};

}  // namespace resttest
